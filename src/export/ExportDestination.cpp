#include "export/ExportDestination.h"

#include <mutex>

#include <set>
#include "model/RecordingPackage.h"

namespace tk::ExportDestination {
namespace {

std::mutex gMutex;
std::set<std::filesystem::path> gHeld;

}  // namespace

std::filesystem::path plainURL(const std::filesystem::path& source, const std::string& kind,
                               const std::string& extension, const QDateTime& now) {
  std::filesystem::path base = source;
  base.replace_extension();
  // A package's layers are hidden files inside its folder: its exports go beside the folder, named
  // after it, where a file manager shows them.
  const std::filesystem::path folder = source.parent_path();
  std::error_code ec;
  if (source.filename().string().starts_with(".") && !folder.filename().empty() &&
      std::filesystem::exists(folder / RecordingPackage::manifestFileName, ec))
    base = folder;
  const std::string date = now.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")).toStdString();
  return base.string() + " (" + kind + " " + date + ")." + extension;
}

Reservation reserve(const std::filesystem::path& source, const std::string& kind,
                    const std::string& extension, const QDateTime& now) {
  const std::filesystem::path plain = plainURL(source, kind, extension, now);
  std::lock_guard lock(gMutex);
  std::filesystem::path url = plain;
  std::error_code ec;
  for (int n = 2; gHeld.count(url) || std::filesystem::exists(url, ec); ++n) {
    std::string stem = plain.string();
    stem.resize(stem.size() - extension.size() - 1);
    url = stem + " " + std::to_string(n) + "." + extension;
  }
  gHeld.insert(url);
  auto token = std::shared_ptr<void>(nullptr, [url](void*) {
    std::lock_guard release(gMutex);
    gHeld.erase(url);
  });
  return {url, std::move(token)};
}

}  // namespace tk::ExportDestination
