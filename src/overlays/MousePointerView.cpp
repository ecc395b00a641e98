#include "overlays/MousePointerView.h"

#include <QPainter>

#include "overlays/MouseButtonColors.h"
#include "overlays/OverlayPainting.h"

namespace tk {

namespace {

bool isRestingEvent(std::optional<MouseEventType> event) {
  if (!event) return true;
  switch (*event) {
    case MouseEventType::leftMouseUp:
    case MouseEventType::rightMouseUp:
    case MouseEventType::mouseMoved:
    case MouseEventType::otherMouseUp:
      return true;
    default:
      return false;
  }
}

}  // namespace

QImage MousePointerView::render() const {
  QImage image = OverlayPainting::transparentImage(QSize(side, side));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF whole(0, 0, side, side);
  const bool pressed = MouseButtonColors::isPressed(event);
  const QColor button = MouseButtonColors::buttonColor(event);

  if (isRestingEvent(event)) {
    OverlayPainting::strokeCircle(painter, whole.adjusted(4, 4, -4, -4), 4,
                                  MouseButtonColors::withOpacity(Qt::black, 0.3));
  }
  OverlayPainting::strokeCircle(painter, whole.adjusted(8, 8, -8, -8), 4,
                                MouseButtonColors::withOpacity(button, pressed ? 0.8 : 0.3));
  if (pressed) {
    OverlayPainting::strokeCircle(painter, whole.adjusted(10, 10, -10, -10), 1,
                                  MouseButtonColors::withOpacity(MouseButtonColors::gray(), 0.3));
  }
  if (!showMouse) {
    OverlayPainting::fillCircle(painter, QRectF(side / 2.0 - 4, side / 2.0 - 4, 8, 8),
                                MouseButtonColors::withOpacity(button, pressed ? 0.8 : 0.3));
  }
  return image;
}

}  // namespace tk
