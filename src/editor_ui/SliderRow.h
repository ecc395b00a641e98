#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QSlider;

namespace tk {

// One numeric setting: a label of fixed width, a slider over a closed range and the value's text.
// The slider is continuous (a thousand positions, or more when fine steps are asked for) unless a
// step is given; whatever it reports lies inside the range. A move calls onChange with the new value; the
// host stores it and shows the stored value back with setValue, which never calls onChange. Main thread only.
class SliderRow : public QWidget {
  Q_OBJECT

 public:
  using Format = std::function<QString(double)>;

  // `step` 0 makes the slider continuous.
  SliderRow(const QString& label, int labelWidth, double lower, double upper, double step, Format format,
            int valueWidth, QWidget* parent = nullptr);

  std::function<void(double)> onChange;

  // Shows `value` (clamped into the range on the slider; the text shows it as it is).
  void setValue(double value);
  // A new range; the shown value stays.
  void setRange(double lower, double upper);
  // For a continuous row over a long range: positions no more than `finest` apart (however long the
  // range), the arrow keys moving by `key` and Page Up and Down by `page`.
  void setFineSteps(double finest, double key, double page);
  // A time in seconds: every 0.01 s reachable (every frame up to 100 per second) on a movie of any
  // length, the arrow keys stepping by 0.05 s and Page Up and Down by a second.
  void setTimeSteps() { setFineSteps(0.01, 0.05, 1.0); }
  double lower() const { return lower_; }
  double upper() const { return upper_; }
  // The value the slider's position stands for.
  double sliderValue() const;

  QLabel* label() const { return label_; }
  QSlider* slider() const { return slider_; }
  QLabel* valueText() const { return valueText_; }

  // The shared value texts: "%.0f%%" of value x 100, and the value truncated toward zero.
  static QString percent(double value);
  static QString integer(double value);
  static Format decimals(int places, const QString& suffix = QString());
  // "%.*f" of the value; a huge or non-finite one in three significant digits ("1e+308").
  static QString number(double value, int places);

 private:
  int ticks() const;
  void place(double value);

  QLabel* label_;
  QSlider* slider_;
  QLabel* valueText_;
  double lower_;
  double upper_;
  double step_;
  double finest_ = 0, keyStep_ = 0, pageStep_ = 0;
  double value_ = 0;
  Format format_;
};

}  // namespace tk
