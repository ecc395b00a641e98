#include "selection/RecordActionButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>

#include "ui/RecordButton.h"

namespace tk {

namespace {

constexpr int kDot = 24;
constexpr int kSpacing = 8;

QFont labelFont() {
  QFont font;
  font.setPixelSize(14);
  font.setWeight(QFont::DemiBold);
  return font;
}

QString label() {
  return RecordActionButton::tr("Record");
}

}  // namespace

RecordActionButton::RecordActionButton(QSize padding, QWidget* parent)
    : QAbstractButton(parent), padding_(padding) {
  setText(label());
  setCursor(Qt::PointingHandCursor);
  animation_.setDuration(120);
  animation_.setEasingCurve(QEasingCurve::OutCubic);
  connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
    scale_ = value.toDouble();
    update();
  });
}

QSize RecordActionButton::sizeHint() const {
  const QFontMetrics metrics(labelFont());
  const int width = kDot + kSpacing + metrics.horizontalAdvance(label()) + 2 * padding_.width();
  const int height = std::max(kDot, metrics.height()) + 2 * padding_.height();
  // Room for the grown button.
  return {int(width * kHoverScale) + 2, int(height * kHoverScale) + 2};
}

double RecordActionButton::targetScale() const {
  return hovering_ && isEnabled() ? kHoverScale : 1.0;
}

void RecordActionButton::setHovering(bool hovering) {
  hovering_ = hovering;
  animation_.stop();
  animation_.setStartValue(scale_);
  animation_.setEndValue(targetScale());
  animation_.start();
}

void RecordActionButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  setHovering(true);
}

void RecordActionButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  setHovering(false);
}

void RecordActionButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) {
    animation_.stop();
    scale_ = targetScale();
    update();
  }
}

void RecordActionButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics metrics(labelFont());
  const QSizeF content(kDot + kSpacing + metrics.horizontalAdvance(label()) + 2 * padding_.width(),
                       std::max(kDot, metrics.height()) + 2 * padding_.height());
  painter.translate(rect().center());
  painter.scale(scale_, scale_);
  const QRectF box(-content.width() / 2, -content.height() / 2, content.width(), content.height());

  QColor background = RecordButton::fillColor();
  background.setAlphaF(0.2f);
  if (!isEnabled()) background = QColor::fromRgbF(0.56f, 0.56f, 0.58f, 0.3f);
  painter.setPen(Qt::NoPen);
  painter.setBrush(background);
  painter.drawRoundedRect(box, 8, 8);

  const QRectF dot(box.left() + padding_.width(), -kDot / 2.0, kDot, kDot);
  painter.setBrush(RecordButton::fillColor());
  painter.drawEllipse(dot);

  painter.setFont(labelFont());
  painter.setPen(Qt::white);
  painter.drawText(
      QRectF(dot.right() + kSpacing, box.top(), metrics.horizontalAdvance(label()) + 2, box.height()),
      Qt::AlignVCenter | Qt::AlignLeft, label());
}

}  // namespace tk
