#include "editor/RecordingMetadataLookup.h"

namespace tk {

std::optional<std::filesystem::path> findRecordingMetadata(const std::filesystem::path& movie) {
  const std::filesystem::path candidates[] = {
      movie.parent_path() / ".metadata.json",
      std::filesystem::path(movie).replace_extension("metadata.json"),
  };
  for (const auto& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return std::nullopt;
}

}  // namespace tk
