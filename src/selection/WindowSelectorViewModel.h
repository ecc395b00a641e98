#pragma once

#include <QCoroTask>
#include <QObject>
#include <QSize>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/x11/X11ShareableContent.h"
#include "selection/WindowThumbnail.h"

namespace tk {

class CaptureSnapshot;
class ShareableContentSource;

// The window picker's model: lists the windows of other applications that can be recorded,
// files each under every display it touches, and takes one still picture of each through the
// capture layer. Every window is listed at once with a placeholder; its picture replaces it when
// it arrives (thumbnailChanged, the list itself stays). Pictures are taken a few at a time, each
// on its own short-lived X connection, so a desktop of hundreds of windows never nears the X
// server's client limit; the windows the picker shows are taken first (prioritize). The pictures
// of a refresh are cancelled by the next refresh and when the model goes, and each gives up after
// a few seconds; a window whose picture cannot be taken leaves the list. Main thread only.
class WindowSelectorViewModel : public QObject {
  Q_OBJECT
 public:
  using DisplayWindows = std::pair<CaptureDisplayRef, std::vector<std::shared_ptr<const WindowThumbnail>>>;
  // How many pictures are taken at once (each holds one X connection while it runs).
  static constexpr int kConcurrentSnapshots = 6;
  static constexpr MediaTime kSnapshotFrameInterval{1, 30};

  explicit WindowSelectorViewModel(ShareableContentSource* content, QObject* parent = nullptr);
  ~WindowSelectorViewModel() override;

  // The displays with their windows, in the order the displays were first given a window.
  const std::vector<DisplayWindows>& windowsByDisplay() const { return windowsByDisplay_; }
  // The thumbnails of one display (empty when it has none).
  std::vector<std::shared_ptr<const WindowThumbnail>> windowsOf(const CaptureDisplay& display) const;
  bool isReady() const { return isReady_; }
  const std::vector<CaptureWindowRef>& allWindows() const { return allWindows_; }

  // Lists the windows again, each with a placeholder, and starts taking their pictures; resumes
  // once the list is published, before the pictures arrive. With `placeholder`, no picture is
  // taken.
  QCoro::Task<void> refreshWindows(bool placeholder = false);
  // Takes the pictures of these windows next (the ones the picker shows).
  void prioritize(const std::vector<uint32_t>& windowIDs);
  // Cancels the pictures still being taken or waiting.
  void cancelSnapshots();
  // Pictures being taken or waiting their turn.
  int pendingSnapshots() const { return int(snapshots_.size() + queue_.size()); }
  int runningSnapshots() const { return int(snapshots_.size()); }

  // The windows a person may pick: of another application, at least 51 points on each side.
  static std::vector<CaptureWindowRef> selectableWindows(const ShareableContent& content,
                                                         const std::string& ownApplicationId);
  // A picture's size: the window's own below 200 points on both sides, else half of it.
  static QSize thumbnailSize(QSizeF windowSize);

 signals:
  // The list changed (windows listed, a window left); the grid lays its cards out again.
  void windowsByDisplayChanged();
  // A window's picture arrived: only that window's card changes.
  void thumbnailChanged(std::shared_ptr<const WindowThumbnail> thumbnail);
  void isReadyChanged(bool ready);
  // Every picture of the last refresh has been taken or given up.
  void snapshotsFinished();

 private:
  void startQueuedSnapshots();
  QCoro::Task<void> snapshotWindow(CaptureWindowRef window, uint64_t generation);
  void file(const std::shared_ptr<const WindowThumbnail>& thumbnail,
            const std::vector<CaptureDisplayRef>& displays);
  void replace(const std::shared_ptr<const WindowThumbnail>& thumbnail);
  void unlist(uint32_t windowID);
  void setReady(bool ready);

  ShareableContentSource* content_;
  std::vector<DisplayWindows> windowsByDisplay_;
  bool isReady_ = false;
  std::vector<CaptureWindowRef> allWindows_;
  std::vector<std::shared_ptr<CaptureSnapshot>> snapshots_;
  std::deque<CaptureWindowRef> queue_;
  uint64_t generation_ = 0;
};

}  // namespace tk
