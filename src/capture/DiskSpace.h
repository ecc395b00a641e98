#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tk {

// Bytes an unprivileged user may still write on the volume that holds `path`. A folder that does
// not exist yet is measured on its nearest existing parent (where it would be created). Nothing
// when no part of the path can be examined.
std::optional<int64_t> availableDiskSpace(const std::filesystem::path& path);

}  // namespace tk
