#pragma once

#include <filesystem>
#include <string>

namespace tk {

// `folder`/`stem` + `extension` when nothing exists there, otherwise the first of
// "`stem` 2`extension`", "`stem` 3`extension`", ... that is free: two recordings that start in the
// same second never share (or overwrite) a name.
std::filesystem::path firstFreePath(const std::filesystem::path& folder, const std::string& stem,
                                    const std::string& extension);

// Creates the folder `parent`/`stem` (parents as needed) under the first free name, atomically:
// a name another process takes between the check and the creation is skipped. Throws PlatformError.
std::filesystem::path createUniqueFolder(const std::filesystem::path& parent, const std::string& stem,
                                         const std::string& extension = "");

}  // namespace tk
