#include "settings/ClickToZoomSettingsSection.h"

#include <QVBoxLayout>

#include "settings/SToggle.h"
#include "settings/SettingsSlider.h"

namespace tk {

namespace {

QString oneDecimal(double value, const char* unit) {
  return QString::number(value, 'f', 1) + unit;
}

}  // namespace

ClickToZoomSettingsSection::ClickToZoomSettingsSection(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  toggle_ = new SToggle(QStringLiteral("Enable Click-to-Zoom"), bindingOf(settings::enableClickToZoom),
                        tr("Zoom in when you click during recording"), this);
  layout->addWidget(toggle_);

  options_ = new QWidget(this);
  auto* rows = new QVBoxLayout(options_);
  rows->setContentsMargins(20, 0, 0, 0);
  zoomLevel_ = new SettingsSlider(
      QStringLiteral("Zoom Level:"), bindingOf(settings::zoomLevel), settings::zoomLevel.minimum,
      settings::zoomLevel.maximum, 0.1, [](double v) { return oneDecimal(v, "x"); }, false, options_);
  duration_ = new SettingsSlider(
      QStringLiteral("Duration:"), bindingOf(settings::zoomDuration), settings::zoomDuration.minimum,
      settings::zoomDuration.maximum, 0.1, [](double v) { return oneDecimal(v, "s"); }, false, options_);
  clickThreshold_ = new SettingsSlider(
      QStringLiteral("Click Threshold:"), bindingOf(settings::clickThreshold),
      settings::clickThreshold.minimum, settings::clickThreshold.maximum, 0.1,
      [](double v) { return oneDecimal(v, "s"); }, false, options_);
  for (SettingsSlider* slider : {zoomLevel_, duration_, clickThreshold_}) rows->addWidget(slider);
  layout->addWidget(options_);

  const auto update = [this] { options_->setHidden(!toggle_->isOn()); };
  connect(toggle_, &SToggle::toggled, this, update);
  bindingOf(settings::enableClickToZoom).observe(this, update);
  update();
}

}  // namespace tk
