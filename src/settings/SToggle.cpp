#include "settings/SToggle.h"

#include <QSignalBlocker>

#include "ui/ToggleSwitch.h"

namespace tk {

SToggle::SToggle(const QString& title, SettingBinding<bool> isOn, std::optional<QString> tips,
                 QWidget* parent)
    : SItem(title, 4, nullptr, parent), binding_(std::move(isOn)) {
  addInfo(tips);
  switch_ = new ToggleSwitch(this);
  switch_->setFixedWidth(32);
  addTrailing(switch_);
  refresh();
  connect(switch_, &ToggleSwitch::toggled, this, [this](bool on) {
    binding_.set(on);
    emit toggled(on);
  });
  if (binding_.observe) binding_.observe(this, [this] { refresh(); });
}

bool SToggle::isOn() const {
  return switch_->isChecked();
}

void SToggle::refresh() {
  const QSignalBlocker quiet(switch_);
  switch_->setChecked(binding_.get());
  switch_->update();
}

}  // namespace tk
