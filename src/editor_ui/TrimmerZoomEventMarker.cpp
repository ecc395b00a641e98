#include "editor_ui/TrimmerZoomEventMarker.h"

#include <QPainter>

#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TimelineSprite.h"

namespace tk {

void TrimmerZoomEventMarker::paint(QPainter& painter, const QRectF& rect) const {
  static TimelineSprite sprites[2];
  sprites[isSelected].draw(painter, rect.topLeft(), rect.size(),
                           [this](QPainter& sprite, const QRectF& area) { paintShape(sprite, area); });
}

void TrimmerZoomEventMarker::paintShape(QPainter& painter, const QRectF& rect) const {
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, 26));  // a soft shadow 1 pt below
  painter.drawEllipse(rect.translated(0, 1).adjusted(-1, -1, 1, 1));
  painter.setBrush(TimelinePalette::blue(isSelected ? 1.0 : 0.7));
  painter.drawEllipse(rect);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 2));
  painter.drawEllipse(rect.adjusted(1, 1, -1, -1));
}

}  // namespace tk
