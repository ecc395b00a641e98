#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <functional>
#include <utility>

#include "settings/SettingsKeys.h"

namespace tk {

// A two-way reference to a value owned elsewhere, usually a settings-store entry: the form's
// controls read and write their value only through one. `observe` (optional) calls back whenever
// the value changes behind the control's back, so every control bound to one key shows the last
// write. Main thread only.
template <typename T>
struct SettingBinding {
  std::function<T()> get;
  std::function<void(const T&)> set;
  std::function<void(QObject* context, std::function<void()> changed)> observe;

  // Calls `changed` on `context`'s thread after every write of `key` in the standard store.
  static std::function<void(QObject*, std::function<void()>)> observingKey(const char* key) {
    return [name = QString::fromUtf8(key)](QObject* context, std::function<void()> changed) {
      QObject::connect(&SettingsStore::standard(), &SettingsStore::changed, context,
                       [name, changed = std::move(changed)](const QString& written) {
                         if (written == name) changed();
                       });
    };
  }

  // A binding whose value is mapped on the way in and out of the stored form, as the pickers
  // show the stored text or number as one of their options.
  template <typename Shown>
  SettingBinding<Shown> mapped(std::function<Shown(const T&)> shownFrom,
                               std::function<T(const Shown&)> storedFrom) const;
};

// Bindings on settings keys, with the default the key's declaration gives.
SettingBinding<bool> bindingOf(BoolSetting setting);
SettingBinding<long long> bindingOf(IntSetting setting);
SettingBinding<double> bindingOf(DoubleSetting setting);
SettingBinding<QString> bindingOf(StringSetting setting);

// A picker's binding on a key whose stored value is itself the value of the option shown; the key's
// read makes it always one of the options.
SettingBinding<QVariant> pickerBindingOf(IntSetting setting);
SettingBinding<QVariant> pickerBindingOf(StringSetting setting);

// A binding on a plain value the view holds (view state), told of changes by the view itself.
template <typename T>
SettingBinding<T> bindingOfState(T* state) {
  return {[state] { return *state; }, [state](const T& value) { *state = value; }, nullptr};
}

template <typename T>
template <typename Shown>
SettingBinding<Shown> SettingBinding<T>::mapped(std::function<Shown(const T&)> shownFrom,
                                                std::function<T(const Shown&)> storedFrom) const {
  return {[get = get, shownFrom] { return shownFrom(get()); },
          [set = set, storedFrom](const Shown& value) { set(storedFrom(value)); }, observe};
}

}  // namespace tk
