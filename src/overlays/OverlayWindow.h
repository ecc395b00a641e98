#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <cstdint>

namespace tk {

// A frameless, always-on-top window that shows one drawn picture and lets every click through to
// what lies beneath. It is never focused and never managed by the window manager. With a
// compositing manager it is truly translucent; without one its shape is cut to the pixels the
// picture covers and those are shown opaque, so nothing else of the screen is hidden.
// Made once and reused: each event only redraws and moves it. Main thread.
class OverlayWindow : public QWidget {
  Q_OBJECT
 public:
  // Pixels at or above this opacity are kept when the window cannot be translucent.
  static constexpr int kOpaqueThreshold = 32;

  // `opaque`: every picture covers the whole window, so it needs no shaping.
  explicit OverlayWindow(const QString& title, bool opaque = false);
  ~OverlayWindow() override;

  // Shows `picture` over `frame` (root coordinates, the picture's size) and raises the window.
  void present(const QImage& picture, const QRect& frame);
  // Hides the window; it keeps its picture.
  void orderOut();
  void raiseAbove() { raise(); }

  bool isTranslucent() const { return translucent_; }
  bool isOrderedIn() const { return isVisible(); }
  const QImage& picture() const { return picture_; }
  uint32_t windowId() { return uint32_t(winId()); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void applyShape();

  bool translucent_ = false;
  bool opaque_ = false;
  QImage picture_;
  QImage shown_;  // the picture as painted: itself, or its opaque cut-out
  QRegion shape_;
  bool shapeApplied_ = false;
};

}  // namespace tk
