#include "editor_ui/TrimmerPlayheadView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "editor_ui/TimelinePalette.h"

namespace tk {

TrimmerPlayheadView::TrimmerPlayheadView(QWidget* parent) : QWidget(parent) {
  setFixedWidth(kWidth);
  setCursor(Qt::SizeHorCursor);
}

void TrimmerPlayheadView::placeLine(double x) {
  move(static_cast<int>(std::lround(x - kWidth / 2.0)), y());
}

void TrimmerPlayheadView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor red = TimelinePalette::red();
  QPainterPath handle;
  handle.addRoundedRect(QRectF(0, 0, kWidth, kHandleHeight), 3, 3);
  painter.fillPath(handle, red);
  painter.fillRect(QRectF(kWidth / 2.0 - 1, kHandleHeight, 2, height() - kHandleHeight), red);
}

void TrimmerPlayheadView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return event->ignore();
  if (onScrub) onScrub(mapToParent(event->position()).x());
}

void TrimmerPlayheadView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return event->ignore();
  if (onScrub) onScrub(mapToParent(event->position()).x());
}

void TrimmerPlayheadView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return event->ignore();
  if (onScrubEnd) onScrubEnd();
}

}  // namespace tk
