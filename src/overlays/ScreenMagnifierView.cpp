#include "overlays/ScreenMagnifierView.h"

#include <QPainter>

#include "overlays/MouseButtonColors.h"
#include "overlays/OverlayPainting.h"

namespace tk {

QImage ScreenMagnifierView::render(const QImage& screenshot) {
  const QSize frame = screenshot.isNull() ? kSide : screenshot.size() * kZoom;
  QImage image = OverlayPainting::transparentImage(frame);
  QPainter painter(&image);
  if (!screenshot.isNull()) {
    // Nearest-neighbour: each screen pixel becomes a sharp 3x3 block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(QPoint(0, 0), frame), screenshot);
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(MouseButtonColors::withOpacity(MouseButtonColors::blue(), 0.5), 2,
                      Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(QPointF(0, 0), QSizeF(frame)).adjusted(1, 1, -1, -1));
  return image;
}

}  // namespace tk
