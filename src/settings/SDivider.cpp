#include "settings/SDivider.h"

#include <QPainter>

namespace tk {

SDivider::SDivider(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SDivider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QColor line = palette().color(QPalette::Mid);
  line.setAlphaF(0.5);
  painter.fillRect(rect(), line);
}

}  // namespace tk
