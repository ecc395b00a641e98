#include "writing/PackageFolder.h"

#include <algorithm>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/Error.h"
#include "platform/qt/Diagnostics.h"
#include "writing/OutputNaming.h"

namespace tk {

PackageFolder::PackageFolder(std::filesystem::path folder) : current_(std::move(folder)) {}

std::optional<std::filesystem::path> PackageFolder::fallbackFor(const std::filesystem::path& lost) {
  std::string refusals;
  {
    std::lock_guard lock(mutex_);
    // Another member found it out first: it goes where that one went.
    if (std::find(earlier_.begin(), earlier_.end(), lost) != earlier_.end()) return current_;
    if (lost != current_) return std::nullopt;
    for (const std::filesystem::path& above : fallbackFolders(lost)) {
      try {
        // Under its own name unless that is taken there (as it is where the file that took the
        // folder's name lies): then the next free one, as a second package of the same second gets.
        current_ = createUniqueFolder(above, lost.stem().string(), lost.extension().string());
        earlier_.push_back(lost);
        break;
      } catch (const PlatformError& error) {
        refusals += (refusals.empty() ? "" : "; ") + error.localizedDescription();
      }
    }
  }
  const std::filesystem::path now = current();
  if (now == lost) {
    Diagnostics::line("⚠️ No folder took the package again: " + refusals);
    return std::nullopt;
  }
  Diagnostics::line("📦 The package goes on in: " + now.string());
  return now;
}

void PackageFolder::noteMemberPlace(const FilePlaceChange& change) {
  if (change.kind != FilePlaceChange::Kind::moved) return;
  const std::filesystem::path now = change.path.parent_path();
  {
    std::lock_guard lock(mutex_);
    std::error_code ignored;
    if (now == current_ || std::filesystem::is_directory(current_, ignored) ||
        !std::filesystem::is_directory(now, ignored))
      return;
    earlier_.push_back(current_);
    current_ = now;
  }
  Diagnostics::line("📦 The package was moved to: " + now.string());
}

PackageFolder::Chooser PackageFolder::chooser(const std::shared_ptr<PackageFolder>& folder) {
  return [folder](const std::filesystem::path& lost) { return folder->fallbackFor(lost); };
}

std::filesystem::path PackageFolder::current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

}  // namespace tk
