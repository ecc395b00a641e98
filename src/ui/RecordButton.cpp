#include "ui/RecordButton.h"

#include <QPainter>
#include <cmath>

namespace tk {

RecordButton::RecordButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
  setAccessibleName(QStringLiteral("Record"));
  setFixedSize(sizeHint());
  animation_.setDuration(120);
  animation_.setEasingCurve(QEasingCurve::OutCubic);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    scale_ = value.toDouble();
    update();
  });
}

QSize RecordButton::sizeHint() const {
  // Room for the grown circle, so hovering never clips it.
  const int side = static_cast<int>(std::ceil(kDiameter * kHoverScale)) + 2;
  return {side, side};
}

void RecordButton::enterEvent(QEnterEvent* event) {
  setHovering(true);
  QAbstractButton::enterEvent(event);
}

void RecordButton::leaveEvent(QEvent* event) {
  setHovering(false);
  QAbstractButton::leaveEvent(event);
}

void RecordButton::setHovering(bool hovering) {
  if (hovering_ == hovering) return;
  hovering_ = hovering;
  animation_.stop();
  animation_.setStartValue(scale_);
  animation_.setEndValue(hovering ? kHoverScale : 1.0);
  animation_.start();
}

void RecordButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(isEnabled() ? fillColor() : fillColor().darker(160));
  const double radius = kDiameter * scale_ / 2;
  painter.drawEllipse(QRectF(rect()).center(), radius, radius);
}

}  // namespace tk
