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

SettingBinding<QVariant> pickerBindingOf(IntSetting setting) {
  return bindingOf(setting).mapped<QVariant>([](const long long& v) { return QVariant(int(v)); },
                                             [](const QVariant& v) { return (long long)v.toInt(); });
}

SettingBinding<QVariant> pickerBindingOf(StringSetting setting) {
  return bindingOf(setting).mapped<QVariant>([](const QString& v) { return QVariant(v); },
                                             [](const QVariant& v) { return v.toString(); });
}

}  // namespace tk
