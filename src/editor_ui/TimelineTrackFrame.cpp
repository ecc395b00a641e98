#include "editor_ui/TimelineTrackFrame.h"

#include <QPainter>
#include <QWidget>

#include "editor_ui/TimelinePalette.h"

namespace tk {

void TimelineTrackFrame::paint(QPainter& painter, const QWidget& track, const QString& title) {
  painter.fillRect(track.rect(), TimelinePalette::controlBackground(track.palette(), 0.3));
  QFont font = track.font();
  font.setPixelSize(10);
  painter.setFont(font);
  painter.setPen(TimelinePalette::secondary(track.palette()));
  painter.drawText(QRectF(4, 0, track.width() - 4, track.height()), Qt::AlignLeft | Qt::AlignVCenter, title);
}

}  // namespace tk
