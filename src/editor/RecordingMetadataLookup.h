#pragma once

#include <filesystem>
#include <optional>

namespace tk {

// Where a movie's metadata document is: ".metadata.json" in the movie's folder (a recording
// package), else the movie's path with its extension replaced by "metadata.json" (the name the
// recording coordinator saves beside a movie). None when neither exists as a file. Any thread.
std::optional<std::filesystem::path> findRecordingMetadata(const std::filesystem::path& movie);

}  // namespace tk
