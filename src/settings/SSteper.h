#pragma once

#include "settings/SItem.h"
#include "settings/SettingBinding.h"

class QLineEdit;
class QToolButton;

namespace tk {

// A number row: a field and a stepper bound to one integer kept within min...max. Every change
// (typed, stepped, or written elsewhere) is clamped by us and the clamped value written back, so
// a typed 150 with a maximum of 99 stores 99. Text that is no number puts the field back to the
// bound value. Main thread only.
class SSteper : public SItem {
  Q_OBJECT
 public:
  SSteper(const QString& title, SettingBinding<long long> value, long long min, long long max, int width,
          std::optional<QString> tips = std::nullopt, QWidget* parent = nullptr);

  long long value() const;
  long long minimum() const { return min_; }
  long long maximum() const { return max_; }
  // The user's actions: typing a text and committing it, and one step up or down.
  void enter(const QString& text);
  void stepUp();
  void stepDown();
  void refresh();
  QLineEdit* field() const { return field_; }

 private:
  void apply(long long value);

  SettingBinding<long long> binding_;
  long long min_;
  long long max_;
  QLineEdit* field_ = nullptr;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
};

}  // namespace tk
