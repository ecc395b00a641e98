#include "overlays/CustomCursorView.h"

#include <QPainter>
#include <cmath>

#include "overlays/CursorShapes.h"
#include "overlays/MouseButtonColors.h"
#include "overlays/OverlayPainting.h"

namespace tk {

namespace {
QSize canvasSize(const QPainter& painter) {
  return {painter.device()->width(), painter.device()->height()};
}
}  // namespace

int CustomCursorView::side() const { return int(std::lround(2 * size)); }

void CustomCursorView::setAnimating(bool animating, double now) {
  if (animating && !isAnimating_ && enableScaleAnimation) pulseStart_ = now;
  isAnimating_ = animating;
}

double CustomCursorView::animationScale(double now) const {
  if (!pulseStart_) return 1.0;
  const double elapsed = now - *pulseStart_;
  if (elapsed < 0 || elapsed >= 2 * kPulseHalf) return 1.0;
  if (elapsed < kPulseHalf) {
    return 1.0 + (kPulseScale - 1.0) * OverlayPainting::easeOut(elapsed / kPulseHalf);
  }
  return kPulseScale -
         (kPulseScale - 1.0) * OverlayPainting::easeIn((elapsed - kPulseHalf) / kPulseHalf);
}

bool CustomCursorView::isPulsing(double now) const {
  return pulseStart_ && now - *pulseStart_ < 2 * kPulseHalf;
}

QImage CustomCursorView::render(double now) const {
  const double scale = enableScaleAnimation && isAnimating_ ? animationScale(now) : 1.0;
  const Drawn key{MouseButtonColors::buttonColor(event), MouseButtonColors::isPressed(event),
                  style, size, showMouse, scale};
  if (drawn_ == key) return picture_;
  const int length = side();
  QImage image = OverlayPainting::transparentImage(QSize(length, length));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(length / 2.0, length / 2.0);
  painter.translate(centre);
  painter.scale(scale, scale);
  painter.translate(-centre);
  if (style == CursorStyle::arrow || style == CursorStyle::pointer) {
    drawOutlineCursor(painter, centre);
  } else {
    drawCircleCursor(painter, centre);
  }
  painter.end();
  drawn_ = key;
  picture_ = image;
  return image;
}

void CustomCursorView::drawCircleCursor(QPainter& painter, QPointF centre) const {
  const QColor button = MouseButtonColors::buttonColor(event);
  const bool pressed = MouseButtonColors::isPressed(event);
  auto square = [&](double side) {
    return QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side);
  };

  QImage glow = OverlayPainting::transparentImage(canvasSize(painter));
  {
    QPainter glowPainter(&glow);
    glowPainter.setRenderHint(QPainter::Antialiasing);
    OverlayPainting::fillCircle(glowPainter, square(1.5 * size),
                                MouseButtonColors::withOpacity(button, 0.2));
  }
  OverlayPainting::drawBlurred(painter, glow, 4);
  OverlayPainting::fillCircle(painter, square(size),
                              MouseButtonColors::withOpacity(button, pressed ? 0.8 : 0.6));
  OverlayPainting::strokeCircle(painter, square(0.7 * size), 2,
                                MouseButtonColors::withOpacity(Qt::white, 0.8));
  if (!showMouse) OverlayPainting::fillCircle(painter, square(4), Qt::white);
}

void CustomCursorView::drawOutlineCursor(QPainter& painter, QPointF centre) const {
  const QColor button = MouseButtonColors::buttonColor(event);
  const bool pressed = MouseButtonColors::isPressed(event);
  const QSizeF frame(size, size);
  const QPainterPath outline = (style == CursorStyle::arrow ? ArrowShape::path(frame)
                                                            : PointerShape::path(frame))
                                   .translated(centre.x() - size / 2, centre.y() - size / 2);
  painter.setPen(Qt::NoPen);
  painter.setBrush(MouseButtonColors::withOpacity(button, pressed ? 0.9 : 0.7));
  painter.drawPath(outline);
  OverlayPainting::strokePath(painter, outline, 2, MouseButtonColors::withOpacity(Qt::white, 0.8));

  // The shadow copy is drawn last, over the cursor, one point right and one up.
  QImage shadow = OverlayPainting::transparentImage(canvasSize(painter));
  {
    QPainter shadowPainter(&shadow);
    shadowPainter.setRenderHint(QPainter::Antialiasing);
    shadowPainter.setPen(Qt::NoPen);
    shadowPainter.setBrush(MouseButtonColors::withOpacity(Qt::black, 0.3));
    shadowPainter.drawPath(outline);
  }
  OverlayPainting::drawBlurred(painter, shadow, 2, QPointF(1, -1));
}

}  // namespace tk
