#pragma once

#include <QRect>
#include <QWidget>

namespace tk {

class AreaOverlayView;
class AreaSelectionStorage;

// The borderless window titled "Area Selector" that covers one display and holds the area
// overlay's view. It stays above other windows, never takes the focus, and carries the
// never-capture marker. With a compositing manager it is translucent; without one it is opaque
// and its view shows the display's picture (its backdrop). Main thread only.
class AreaOverlayWindow : public QWidget {
  Q_OBJECT
 public:
  // `frame` is the display's frame in root coordinates.
  AreaOverlayWindow(QRect frame, QSize initialSize, AreaSelectionStorage& storage, bool translucent);

  AreaOverlayView* overlayView() const { return overlayView_; }
  bool isTranslucent() const { return translucent_; }
  // Marks the window as never captured and shows it over the display's frame.
  void present();

 private:
  AreaOverlayView* overlayView_ = nullptr;
  QRect frame_;
  bool translucent_ = false;
};

}  // namespace tk
