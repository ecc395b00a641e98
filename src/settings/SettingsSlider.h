#pragma once

#include <QWidget>
#include <functional>

#include "settings/SettingBinding.h"

class QLabel;
class QSlider;

namespace tk {

// A slider row of the studio sections: the label in one column, the slider over min...max
// in whole steps, and the value's text in a 35-wide column. Moving the slider stores the step's
// value rounded to the step, so one step up from 2.0 stores 2.1, not 2.1000000000000001. A stored
// value outside the range shows, slider and text alike, at the nearer end (one that is no number at
// the minimum; the studio keys read such a value as their default) and is not rewritten. Main
// thread only.
class SettingsSlider : public QWidget {
  Q_OBJECT
 public:
  // The labels' column: wide enough for "Click Threshold:" in the desktop's usual font.
  static constexpr int kLabelColumn = 110;

  SettingsSlider(const QString& label, SettingBinding<double> value, double min, double max, double step,
                 std::function<QString(double)> valueText, bool captionLabel, QWidget* parent = nullptr);

  double value() const { return binding_.get(); }
  QString valueText() const;
  QString label() const;
  double minimum() const { return min_; }
  double maximum() const { return max_; }
  double step() const { return step_; }
  QSlider* slider() const { return slider_; }
  void refresh();

 private:
  double valueAt(int position) const;

  SettingBinding<double> binding_;
  double min_, max_, step_;
  std::function<QString(double)> format_;
  QLabel* label_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* text_ = nullptr;
};

}  // namespace tk
