#include "ui/ColorWell.h"

#include <QColorDialog>
#include <QPainter>
#include <QPointer>

namespace tk {

ColorWell::ColorWell(bool allowsOpacity, QWidget* parent)
    : QPushButton(parent), allowsOpacity_(allowsOpacity) {
  setFixedSize(44, 22);
  setCursor(Qt::PointingHandCursor);
  connect(this, &QPushButton::clicked, this, &ColorWell::openChooser);
}

void ColorWell::setColor(const QColor& color) {
  color_ = color;
  update();
}

void ColorWell::choose(const QColor& color) {
  if (!color.isValid()) return;
  setColor(color);
  emit colorChosen(color);
}

void ColorWell::openChooser() {
  // Not modal to the whole application, and gone with the well.
  auto* chooser = new QColorDialog(color_, this);
  chooser->setAttribute(Qt::WA_DeleteOnClose);
  chooser->setOption(QColorDialog::ShowAlphaChannel, allowsOpacity_);
  connect(chooser, &QColorDialog::colorSelected, this, &ColorWell::choose);
  chooser->open();
}

void ColorWell::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(QPen(palette().color(QPalette::Mid), 1));
  painter.setBrush(palette().color(QPalette::Button));
  painter.drawRoundedRect(frame, 4, 4);
  // Opacity shows over a checkerboard, as colour wells do.
  const QRectF swatch = frame.adjusted(4, 4, -4, -4);
  painter.save();
  painter.setClipRect(swatch);
  for (int y = 0; y * 5 < swatch.height(); ++y)
    for (int x = 0; x * 5 < swatch.width(); ++x)
      painter.fillRect(QRectF(swatch.left() + x * 5, swatch.top() + y * 5, 5, 5),
                       (x + y) % 2 ? QColor(200, 200, 200) : QColor(Qt::white));
  painter.restore();
  painter.fillRect(swatch, color_);
}

}  // namespace tk
