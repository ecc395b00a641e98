#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "platform/media/ShareableContent.h"
#include "selection/ScreenThumbnail.h"

class QScreen;

namespace tk {

class CaptureSnapshot;

// One picture per display, taken through the capture layer, with the display's name. The area
// overlay uses a display's picture as its backdrop when the desktop has no compositing manager.
// Our own windows are never in the pictures. Main thread only.
class ScreenSelectorViewModel : public QObject {
  Q_OBJECT
 public:
  explicit ScreenSelectorViewModel(QObject* parent = nullptr);
  // Cancels the pictures still being taken.
  ~ScreenSelectorViewModel() override;

  const std::vector<std::shared_ptr<const ScreenThumbnail>>& screenThumbnails() const {
    return screenThumbnails_;
  }
  std::shared_ptr<const ScreenThumbnail> thumbnailFor(const CaptureDisplay& display) const;

  // Takes one full-size picture of each display not yet pictured; a display keeps its first.
  QCoro::Task<void> refreshScreens(std::vector<CaptureDisplayRef> displays);
  void cancel();

  // The desktop's screen that shows the display (same frame), if any.
  static QScreen* screenOf(const CaptureDisplay& display);
  // The screen's name, or "Display " and the display's id when no screen shows it.
  static QString screenName(const CaptureDisplay& display);

 signals:
  void screenThumbnailsChanged();

 private:
  std::vector<std::shared_ptr<const ScreenThumbnail>> screenThumbnails_;
  std::vector<std::shared_ptr<CaptureSnapshot>> snapshots_;
};

}  // namespace tk
