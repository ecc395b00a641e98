#include "settings/SettingsSlider.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <cmath>

#include "ui/WheelGuard.h"

namespace tk {

SettingsSlider::SettingsSlider(const QString& label, SettingBinding<double> value, double min, double max,
                               double step, std::function<QString(double)> valueText, bool captionLabel,
                               QWidget* parent)
    : QWidget(parent),
      binding_(std::move(value)),
      min_(min),
      max_(max),
      step_(step),
      format_(std::move(valueText)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  label_ = new QLabel(label, this);
  label_->setTextFormat(Qt::PlainText);
  label_->setFixedWidth(kLabelColumn);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setRange(0, int(std::lround((max - min) / step)));
  slider_->setSingleStep(1);
  slider_->setPageStep(1);
  WheelGuard::install(slider_);
  text_ = new QLabel(this);
  text_->setFixedWidth(35);
  text_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (captionLabel) {
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    label_->setFont(caption);
    text_->setFont(caption);
  }
  layout->addWidget(label_);
  layout->addWidget(slider_, 1);
  layout->addWidget(text_);

  connect(slider_, &QSlider::valueChanged, this, [this](int position) {
    binding_.set(valueAt(position));
    text_->setText(format_(valueAt(position)));
  });
  if (binding_.observe) binding_.observe(this, [this] { refresh(); });
  refresh();
}

double SettingsSlider::valueAt(int position) const {
  // Rounded to the step's decimals, so the stored number is the one the text shows.
  const double raw = min_ + position * step_;
  const double scale = std::pow(10.0, std::max(0.0, std::ceil(-std::log10(step_))));
  return std::round(raw * scale) / scale;
}

QString SettingsSlider::valueText() const {
  return text_->text();
}

QString SettingsSlider::label() const {
  return label_->text();
}

void SettingsSlider::refresh() {
  const double stored = binding_.get();
  const double shown = std::isfinite(stored) ? std::clamp(stored, min_, max_) : min_;
  const QSignalBlocker quiet(slider_);
  slider_->setValue(int(std::lround((shown - min_) / step_)));
  text_->setText(format_(shown));
}

}  // namespace tk
