#pragma once

#include <QString>
#include <QWidget>
#include <vector>

namespace tk {

// The time scale across the top of the timeline: major ticks with labels and unlabelled minor ticks,
// at an interval chosen so that labels never crowd, placed by the timeline's one time-to-x mapping.
// Pure drawing: it holds its three values and calls nothing. Main thread.
class TrimmerTimeRulerView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 28;

  struct Intervals {
    double major = 0;
    double minor = 0;  // 0: no minor ticks
  };
  struct Label {
    QString text;
    double centreX = 0;  // the label is centred on (centreX, 4)
  };
  // Everything the ruler draws for a duration and a width.
  struct Ticks {
    Intervals intervals;
    std::vector<double> minorX;
    std::vector<double> majorX;
    std::vector<Label> labels;  // one per major tick
  };

  // The major interval is the first of 1 s ... 10 h whose ticks fit one per 50 pt of usable width
  // (the last when none does); the minor one divides it.
  static Intervals intervals(double duration, double usableWidth);
  // "45s", "1:30", "1:05:00" and the like: a time's label under a major interval.
  static QString label(double time, double majorInterval);
  // The ticks and labels of a ruler; none without a positive, finite duration, and never more ticks
  // than the width has points, whatever the duration claims.
  static Ticks ticks(double duration, double width);

  explicit TrimmerTimeRulerView(QWidget* parent = nullptr);

  void setValues(double duration, double currentTime, double zoom);
  double duration() const { return duration_; }
  double currentTime() const { return currentTime_; }
  double zoom() const { return zoom_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double duration_ = 0;
  double currentTime_ = 0;
  double zoom_ = 1.0;
};

}  // namespace tk
