#include "settings/SettingBinding.h"

namespace tk {

SettingBinding<bool> bindingOf(BoolSetting setting) {
  return {[setting] { return setting.read(); }, [setting](const bool& value) { setting.write(value); },
          SettingBinding<bool>::observingKey(setting.key)};
}

SettingBinding<long long> bindingOf(IntSetting setting) {
  return {[setting] { return setting.read(); }, [setting](const long long& value) { setting.write(value); },
          SettingBinding<long long>::observingKey(setting.key)};
}

SettingBinding<double> bindingOf(DoubleSetting setting) {
  return {[setting] { return setting.read(); }, [setting](const double& value) { setting.write(value); },
          SettingBinding<double>::observingKey(setting.key)};
}

SettingBinding<QString> bindingOf(StringSetting setting) {
  return {[setting] { return setting.read(); }, [setting](const QString& value) { setting.write(value); },
          SettingBinding<QString>::observingKey(setting.key)};
}

}  // namespace tk
