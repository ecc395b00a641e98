#pragma once

#include "settings/SItem.h"
#include "settings/SettingBinding.h"

namespace tk {

class ToggleSwitch;

// A switch row bound to a flag. Main thread only.
class SToggle : public SItem {
  Q_OBJECT
 public:
  SToggle(const QString& title, SettingBinding<bool> isOn, std::optional<QString> tips = std::nullopt,
          QWidget* parent = nullptr);

  bool isOn() const;
  // Shows the bound value again (after the value changed without notice).
  void refresh();
  ToggleSwitch* control() const { return switch_; }

 signals:
  // After the user switched and the binding was written.
  void toggled(bool on);

 private:
  SettingBinding<bool> binding_;
  ToggleSwitch* switch_ = nullptr;
};

}  // namespace tk
