#pragma once

#include <QObject>
#include <QWidget>
#include <filesystem>
#include <map>
#include <memory>

#include "recording/RecordingShell.h"

namespace tk {

// The editor window registry: one editor window per movie, each holding a VideoTrimmerView. The
// shared instance is also the editor a finished recording opens in. Main thread only.
class VideoTrimmerManager : public RecordingShell::Editor {
 public:
  static VideoTrimmerManager& shared();

  VideoTrimmerManager();
  ~VideoTrimmerManager() override;

  // Brings the movie's window forward when it is open; otherwise opens one, unless the file is
  // missing or not a movie this system reads, which is printed and opens nothing.
  void openTrimmer(const std::filesystem::path& url) override;

  // Closes every editor window, those that ask the person first before the others; false once one
  // keeps its window open to ask, with the rest left open. Asked before any other window closes,
  // so that edits kept leave the person's other windows as they were.
  bool closeAll();

  QWidget* openTrimmerWindow(const std::filesystem::path& url) const;
  size_t openTrimmerCount() const { return openTrimmers_.size(); }

 private:
  QObject context_;
  std::map<std::filesystem::path, std::unique_ptr<QWidget>> openTrimmers_;
};

}  // namespace tk
