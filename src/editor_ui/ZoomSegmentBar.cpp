#include "editor_ui/ZoomSegmentBar.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "editor_ui/SliderRow.h"
#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TimelineSprite.h"

namespace tk {

double ZoomSegmentBar::drawnWidth() const {
  return std::max(width, kMinimumWidth);
}

QRectF ZoomSegmentBar::rect(QPointF centre) const {
  const double w = drawnWidth();
  return QRectF(centre.x() - w / 2, centre.y() - kHeight / 2, w, kHeight);
}

void ZoomSegmentBar::paint(QPainter& painter, QPointF centre) const {
  if (!isSelected && !showsLabel() && drawnWidth() == kMinimumWidth) {
    static TimelineSprite narrow;
    const QRectF bar = rect(centre);
    narrow.draw(painter, bar.topLeft(), bar.size(),
                [this](QPainter& sprite, const QRectF& area) { paintShape(sprite, area.center()); });
    return;
  }
  paintShape(painter, centre);
}

void ZoomSegmentBar::paintShape(QPainter& painter, QPointF centre) const {
  const QRectF bar = rect(centre);
  QPainterPath shape;
  shape.addRoundedRect(bar, 4, 4);
  // A soft shadow 1 pt below.
  QPainterPath shadow;
  shadow.addRoundedRect(bar.translated(0, 1).adjusted(-1, -1, 1, 1), 5, 5);
  painter.fillPath(shadow, QColor(0, 0, 0, 26));
  painter.fillPath(shape, TimelinePalette::blue(isSelected ? 1.0 : 0.6));

  if (showsLabel()) {
    QFont font = painter.font();
    font.setPixelSize(9);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(bar, Qt::AlignCenter, SliderRow::number(segment.zoomLevel, 1) + QLatin1Char('x'));
  }
  if (isSelected) {
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    if (showsHandles()) {
      const double top = centre.y() - 7;
      for (double left : {bar.left() + 2, bar.right() - 2 - 4}) {
        QPainterPath handle;
        handle.addRoundedRect(QRectF(left, top, 4, 14), 2, 2);
        painter.fillPath(handle, Qt::white);
      }
    }
  }
}

}  // namespace tk
