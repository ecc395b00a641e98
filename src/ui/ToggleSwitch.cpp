#include "ui/ToggleSwitch.h"

#include <QPainter>

namespace tk {

ToggleSwitch::ToggleSwitch(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
}

QSize ToggleSwitch::sizeHint() const {
  return {32, 18};
}

bool ToggleSwitch::hitButton(const QPoint& position) const {
  return rect().contains(position);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
  const double radius = track.height() / 2;
  QColor fill = isChecked() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Mid);
  if (!isEnabled()) fill.setAlphaF(0.4);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(track, radius, radius);
  const double knob = track.height() - 4;
  const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
  painter.setBrush(isEnabled() ? QColor(Qt::white) : QColor(235, 235, 235));
  painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), radius, radius);
  }
}

}  // namespace tk
