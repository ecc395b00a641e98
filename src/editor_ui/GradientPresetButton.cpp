#include "editor_ui/GradientPresetButton.h"

#include <QPainter>
#include <QPainterPath>

#include "editor_ui/GradientBackgroundView.h"

namespace tk {

namespace {
constexpr double kSwatchWidth = 48, kSwatchHeight = 32, kSpacing = 4;
}

GradientPresetButton::GradientPresetButton(GradientPreset preset, QWidget* parent)
    : QAbstractButton(parent), preset_(preset) {
  QFont small = font();
  small.setPointSizeF(std::max(7.0, small.pointSizeF() - 2));
  setFont(small);
  setText(caption(preset));
  setCursor(Qt::PointingHandCursor);
}

QString GradientPresetButton::caption(GradientPreset preset) {
  switch (preset) {
    case GradientPreset::sunset:
      return QStringLiteral("Sunset");
    case GradientPreset::ocean:
      return QStringLiteral("Ocean");
    case GradientPreset::forest:
      return QStringLiteral("Forest");
    case GradientPreset::purple:
      return QStringLiteral("Purple");
    case GradientPreset::midnight:
      return QStringLiteral("Midnight");
    case GradientPreset::aurora:
      return QStringLiteral("Aurora");
    case GradientPreset::custom:
      return QStringLiteral("Custom");
  }
  return {};
}

void GradientPresetButton::setSelected(bool selected) {
  if (isSelected_ == selected) return;
  isSelected_ = selected;
  update();
}

QSize GradientPresetButton::sizeHint() const {
  const QFontMetrics metrics(font());
  const int width = std::max(static_cast<int>(kSwatchWidth) + 4, metrics.horizontalAdvance(text()));
  return QSize(width, static_cast<int>(kSwatchHeight + kSpacing) + metrics.height() + 4);
}

void GradientPresetButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF swatch((width() - kSwatchWidth) / 2, 2, kSwatchWidth, kSwatchHeight);
  QPainterPath rounded;
  rounded.addRoundedRect(swatch, 6, 6);
  painter.save();
  painter.setClipPath(rounded);
  GradientBackgroundView::paint(painter, swatch, gradientSettings(preset_));
  painter.restore();
  const QColor accent = palette().color(QPalette::Highlight);
  if (isSelected_) painter.strokePath(rounded, QPen(accent, 2));
  painter.setPen(isSelected_ ? accent : palette().color(QPalette::PlaceholderText));
  painter.drawText(QRectF(0, swatch.bottom() + kSpacing, width(), height() - swatch.bottom() - kSpacing),
                   Qt::AlignHCenter | Qt::AlignTop, text());
}

}  // namespace tk
