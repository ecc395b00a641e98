#include "editor_ui/SliderRow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <cmath>

namespace tk {

namespace {
constexpr int kContinuousTicks = 1000;
constexpr int kMostTicks = 100'000'000;  // far inside the slider's int range
}  // namespace

SliderRow::SliderRow(const QString& label, int labelWidth, double lower, double upper, double step,
                     Format format, int valueWidth, QWidget* parent)
    : QWidget(parent), lower_(lower), upper_(upper), step_(step), format_(std::move(format)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  QFont caption = font();
  caption.setPointSizeF(std::max(7.0, caption.pointSizeF() - 2));

  label_ = new QLabel(label, this);
  label_->setFont(caption);
  label_->setForegroundRole(QPalette::PlaceholderText);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  if (labelWidth > 0) label_->setFixedWidth(labelWidth);
  row->addWidget(label_);

  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setMinimumWidth(40);
  slider_->setRange(0, ticks());
  row->addWidget(slider_, 1);

  valueText_ = new QLabel(this);
  QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  digits.setPointSizeF(caption.pointSizeF());
  valueText_->setFont(digits);
  valueText_->setAlignment(Qt::AlignCenter);
  if (valueWidth > 0) valueText_->setMinimumWidth(valueWidth);
  row->addWidget(valueText_);

  connect(slider_, &QSlider::valueChanged, this, [this] {
    const double value = sliderValue();
    if (onChange) onChange(value);
  });
  setValue(lower);
}

int SliderRow::ticks() const {
  if (step_ <= 0) {
    const double span = upper_ - lower_;
    if (finest_ <= 0 || !(span > 0) || !std::isfinite(span)) return kContinuousTicks;
    return static_cast<int>(
        std::clamp(std::ceil(span / finest_), double(kContinuousTicks), double(kMostTicks)));
  }
  return std::max(1, static_cast<int>(std::lround((upper_ - lower_) / step_)));
}

double SliderRow::sliderValue() const {
  const int n = ticks();
  const int tick = std::clamp(slider_->value(), 0, n);
  if (tick == n) return upper_;  // exactly the upper end, whatever the rounding
  const double value = step_ > 0 ? lower_ + tick * step_ : lower_ + (upper_ - lower_) * tick / n;
  return std::clamp(value, lower_, upper_);
}

void SliderRow::place(double value) {
  const QSignalBlocker quiet(slider_);
  slider_->setRange(0, ticks());
  const double span = upper_ - lower_;
  if (finest_ > 0 && span > 0) {
    const double tick = span / ticks();
    slider_->setSingleStep(std::max(1, static_cast<int>(std::lround(keyStep_ / tick))));
    slider_->setPageStep(std::max(1, static_cast<int>(std::lround(pageStep_ / tick))));
  }
  const double fraction =
      span > 0 && std::isfinite(value) ? std::clamp((value - lower_) / span, 0.0, 1.0) : 0.0;
  slider_->setValue(static_cast<int>(std::lround(fraction * ticks())));
}

void SliderRow::setValue(double value) {
  value_ = value;
  place(value);
  valueText_->setText(format_ ? format_(value) : QString::number(value));
}

void SliderRow::setRange(double lower, double upper) {
  if (lower == lower_ && upper == upper_) return;
  lower_ = lower;
  upper_ = std::max(lower, upper);
  place(value_);
}

void SliderRow::setFineSteps(double finest, double key, double page) {
  finest_ = finest;
  keyStep_ = key;
  pageStep_ = page;
  place(value_);
}

QString SliderRow::percent(double value) {
  return number(value * 100, 0) + QStringLiteral("%");
}

QString SliderRow::integer(double value) {
  if (std::isfinite(value) && std::abs(value) >= 1e6) return number(value, 0);  // no cast out of range
  return QString::asprintf("%lld", std::isfinite(value) ? static_cast<long long>(value) : 0LL);
}

QString SliderRow::number(double value, int places) {
  // A value far outside any slider's range (a damaged recording's, say) stays short to read.
  if (!std::isfinite(value) || std::abs(value) >= 1e6) return QString::asprintf("%.3g", value);
  return QString::asprintf("%.*f", places, value);
}

SliderRow::Format SliderRow::decimals(int places, const QString& suffix) {
  return [places, suffix](double value) { return number(value, places) + suffix; };
}

}  // namespace tk
