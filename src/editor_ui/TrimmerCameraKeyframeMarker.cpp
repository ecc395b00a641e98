#include "editor_ui/TrimmerCameraKeyframeMarker.h"

#include <QPainter>
#include <QPainterPath>

#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TimelineSprite.h"
#include "ui/Symbols.h"

namespace tk {

void TrimmerCameraKeyframeMarker::paint(QPainter& painter, const QRectF& rect) const {
  static TimelineSprite sprites[2];
  sprites[isSelected].draw(painter, rect.topLeft(), rect.size(),
                           [this](QPainter& sprite, const QRectF& area) { paintShape(sprite, area); });
}

void TrimmerCameraKeyframeMarker::paintShape(QPainter& painter, const QRectF& rect) const {
  const QColor purple = TimelinePalette::purple();
  QPainterPath square;
  square.addRoundedRect(rect, 4, 4);
  if (isSelected) painter.fillPath(square, purple);
  const QRectF symbol(rect.center().x() - 7, rect.center().y() - 7, 14, 14);
  paintSymbol(painter, Symbol::videoFill, symbol, isSelected ? QColor(Qt::white) : purple);
  painter.setBrush(Qt::NoBrush);
  const double line = isSelected ? 2 : 1;
  painter.setPen(QPen(purple, line));
  painter.drawPath(square);
}

}  // namespace tk
