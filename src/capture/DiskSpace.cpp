#include "capture/DiskSpace.h"

#include <sys/statvfs.h>

namespace tk {

std::optional<int64_t> availableDiskSpace(const std::filesystem::path& path) {
  if (path.empty()) return std::nullopt;
  std::error_code error;
  std::filesystem::path probe = std::filesystem::absolute(path, error);
  if (error) return std::nullopt;
  while (!std::filesystem::exists(probe, error)) {
    if (!probe.has_parent_path() || probe.parent_path() == probe) return std::nullopt;
    probe = probe.parent_path();
  }
  struct statvfs info {};
  if (statvfs(probe.c_str(), &info) != 0) return std::nullopt;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

}  // namespace tk
