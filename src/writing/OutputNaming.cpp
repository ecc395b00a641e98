#include "writing/OutputNaming.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/media/Error.h"

namespace tk {

namespace {

std::filesystem::path candidate(const std::filesystem::path& folder, const std::string& stem,
                                const std::string& extension, int number) {
  return folder / (number == 1 ? stem + extension : stem + " " + std::to_string(number) + extension);
}

}  // namespace

std::filesystem::path firstFreePath(const std::filesystem::path& folder, const std::string& stem,
                                    const std::string& extension) {
  std::error_code ignored;
  for (int number = 1;; ++number) {
    auto path = candidate(folder, stem, extension, number);
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) return path;
  }
}

std::filesystem::path createUniqueFolder(const std::filesystem::path& parent, const std::string& stem,
                                         const std::string& extension) {
  std::error_code error;
  std::filesystem::create_directories(parent, error);
  if (error)
    throw PlatformError("POSIX", error.value(), "Creating " + parent.string() + ": " + error.message());
  for (int number = 1; number < 10000; ++number) {
    auto path = candidate(parent, stem, extension, number);
    if (::mkdir(path.c_str(), 0755) == 0) return path;
    if (errno != EEXIST)
      throw PlatformError("POSIX", errno, "Creating " + path.string() + ": " + std::strerror(errno));
  }
  throw PlatformError("POSIX", EEXIST, "Creating " + (parent / stem).string() + ": every name is taken");
}

}  // namespace tk
