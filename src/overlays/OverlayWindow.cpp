#include "overlays/OverlayWindow.h"

#include <QPainter>

#include "overlays/OverlayPainting.h"
#include "platform/x11/OverlayWindowShape.h"

namespace tk {

namespace {

// The covered pixels at full opacity, in their own colour: a bare X server cannot blend.
QImage opaqueCutOut(const QImage& picture, int threshold) {
  QImage result = picture.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < result.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x) {
      row[x] = qAlpha(row[x]) >= threshold ? (row[x] | 0xff000000u) : 0u;
    }
  }
  return result;
}

}  // namespace

OverlayWindow::OverlayWindow(const QString& title, bool opaque)
    : QWidget(nullptr, Qt::Window | Qt::Tool | Qt::FramelessWindowHint |
                           Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
  setWindowTitle(title);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  opaque_ = opaque;
  translucent_ = !opaque && OverlayWindowShape::compositingManagerRunning();
  if (translucent_) setAttribute(Qt::WA_TranslucentBackground);
}

OverlayWindow::~OverlayWindow() = default;

void OverlayWindow::present(const QImage& picture, const QRect& frame) {
  if (picture != picture_ || shown_.isNull()) {
    picture_ = picture;
    if (translucent_ || opaque_) {
      shown_ = picture_;
    } else {
      shown_ = opaqueCutOut(picture_, kOpaqueThreshold);
      shape_ = OverlayPainting::coveredRegion(picture_, kOpaqueThreshold);
      shapeApplied_ = false;
    }
    update();
  }
  if (geometry() != frame) setGeometry(frame);
  if (!isVisible()) {
    show();
    // The input shape is emptied again once the window exists on the server, whatever the
    // toolkit did with its own flag.
    OverlayWindowShape::makeClickThrough(windowId());
  }
  applyShape();
  raise();
}

void OverlayWindow::orderOut() {
  if (isVisible()) hide();
}

void OverlayWindow::applyShape() {
  if (translucent_ || opaque_ || shapeApplied_) return;
  OverlayWindowShape::setVisibleShape(windowId(), shape_);
  shapeApplied_ = true;
}

void OverlayWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect(), Qt::transparent);
  if (!shown_.isNull()) painter.drawImage(QPoint(0, 0), shown_);
}

}  // namespace tk
