#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tk {

// The folder of a package whose members are each written by a writer of their own (a recording
// package's layers, an audio package's tracks). Where the folder cannot be made again while they
// are written (a file took its name), the first member to find it out makes a package folder of the
// same name where a movie would go on (fallbackFolders: the nearest folder above that takes one,
// or the home folder), and every member goes on there under its own name, so that the package
// stays whole. A package folder moved while its members are written is followed too.
//
// Threads: any; the writers' sync threads and finishing threads ask for the fallback, the owner
// reads where the package is.
struct FilePlaceChange;

class PackageFolder {
 public:
  using Chooser = std::function<std::optional<std::filesystem::path>(const std::filesystem::path&)>;

  explicit PackageFolder(std::filesystem::path folder);

  // For AssetWriter::setFallbackFolder: given the folder a member could not make again, the
  // package's folder now: made on the first call for the package's current folder, the same for an
  // earlier one. Nothing for a folder of no package of this, or when no folder takes one.
  std::optional<std::filesystem::path> fallbackFor(const std::filesystem::path& lost);
  // The same, as a chooser each member's writer holds (it keeps this object alive).
  static Chooser chooser(const std::shared_ptr<PackageFolder>& folder);

  // Told what became of a member's place (AssetWriter::setPlaceHandler): a member that moved to
  // another folder while the package's folder is gone from where it was moved with it (the folder,
  // or one above it, was moved or renamed), and the package is there now. A member moved out of a
  // folder that is still there went alone.
  void noteMemberPlace(const FilePlaceChange& change);

  // Where the package is now: the folder it was made as, the one it was moved to, or the one made
  // in its place.
  std::filesystem::path current() const;

 private:
  mutable std::mutex mutex_;
  std::filesystem::path current_;
  std::vector<std::filesystem::path> earlier_;  // the folders it left, the first it was made as
};

}  // namespace tk
