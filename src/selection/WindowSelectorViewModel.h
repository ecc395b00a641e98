#pragma once

#include <QCoroTask>
#include <QObject>
#include <QSize>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/x11/X11ShareableContent.h"
#include "selection/WindowThumbnail.h"

namespace tk {

class CaptureSnapshot;
class ShareableContentSource;

// The window picker's model: lists the windows of other applications that can be recorded,
// files each under every display it touches, and takes one still picture of each through the
// capture layer. The pictures of a refresh are cancelled by the next refresh and when the model
// goes, and each gives up after a few seconds; a window without a picture is not listed.
// Main thread only.
class WindowSelectorViewModel : public QObject {
  Q_OBJECT
 public:
  using DisplayWindows = std::pair<CaptureDisplayRef, std::vector<std::shared_ptr<const WindowThumbnail>>>;

  explicit WindowSelectorViewModel(ShareableContentSource* content, QObject* parent = nullptr);
  ~WindowSelectorViewModel() override;

  // The displays with their windows, in the order the displays were first given a window.
  const std::vector<DisplayWindows>& windowsByDisplay() const { return windowsByDisplay_; }
  // The thumbnails of one display (empty when it has none).
  std::vector<std::shared_ptr<const WindowThumbnail>> windowsOf(const CaptureDisplay& display) const;
  bool isReady() const { return isReady_; }
  const std::vector<CaptureWindowRef>& allWindows() const { return allWindows_; }

  // Lists the windows again and starts their pictures; resumes when every picture has been asked
  // for, before they arrive. With `placeholder`, every window gets one placeholder picture and no
  // picture is taken.
  QCoro::Task<void> refreshWindows(bool placeholder = false);
  // Cancels the pictures still being taken.
  void cancelSnapshots();
  int pendingSnapshots() const { return int(snapshots_.size()); }

  // The windows a person may pick: of another application, at least 51 points on each side.
  static std::vector<CaptureWindowRef> selectableWindows(const ShareableContent& content,
                                                         const std::string& ownApplicationId);
  // A picture's size: the window's own below 200 points on both sides, else half of it.
  static QSize thumbnailSize(QSizeF windowSize);

 signals:
  void windowsByDisplayChanged();
  void isReadyChanged(bool ready);

 private:
  QCoro::Task<void> snapshotWindow(CaptureWindowRef window, std::vector<CaptureDisplayRef> displays,
                                   uint64_t generation);
  void file(const std::shared_ptr<const WindowThumbnail>& thumbnail,
            const std::vector<CaptureDisplayRef>& displays);
  void setReady(bool ready);
  size_t rankOf(const CaptureWindowRef& window) const;

  ShareableContentSource* content_;
  std::vector<DisplayWindows> windowsByDisplay_;
  bool isReady_ = false;
  std::vector<CaptureWindowRef> allWindows_;
  std::vector<std::shared_ptr<CaptureSnapshot>> snapshots_;
  uint64_t generation_ = 0;
};

}  // namespace tk
