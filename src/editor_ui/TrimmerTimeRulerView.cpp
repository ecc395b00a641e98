#include "editor_ui/TrimmerTimeRulerView.h"

#include <QPainter>
#include <array>
#include <cmath>

#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TimelineScale.h"

namespace tk {

namespace {

constexpr std::array<double, 16> kIntervals{1,   2,   5,   10,   15,   30,   60,    120,
                                            300, 600, 900, 1800, 3600, 7200, 18000, 36000};
constexpr double kPointsPerMajorTick = 50;
constexpr double kLabelCentreY = 4;

// At most one tick per point of width: a bogus duration cannot make the loops run away.
size_t tickLimit(double width) {
  return static_cast<size_t>(std::max(width, 0.0)) + 2;
}

}  // namespace

TrimmerTimeRulerView::Intervals TrimmerTimeRulerView::intervals(double duration, double usableWidth) {
  const double maxTicks = std::floor(usableWidth / kPointsPerMajorTick);
  double major = kIntervals.back();
  for (double interval : kIntervals) {
    if (std::floor(duration / interval) + 1 <= maxTicks) {
      major = interval;
      break;
    }
  }
  double minor = 0;
  if (major >= 3600)
    minor = major / 4;
  else if (major >= 60)
    minor = major / 6;
  else if (major >= 10)
    minor = major / 5;
  else if (major >= 5)
    minor = 1;
  return {major, minor};
}

QString TrimmerTimeRulerView::label(double time, double majorInterval) {
  const long long s = std::isfinite(time) ? static_cast<long long>(time) : 0;
  const long long hours = s / 3600;
  const long long minutes = (s - 3600 * hours) / 60;
  const long long seconds = s % 60;
  if (majorInterval >= 3600) return QString::asprintf("%lld:%02lld:00", hours, minutes);
  if (s >= 3600) return QString::asprintf("%lld:%02lld:%02lld", hours, minutes, seconds);
  if (majorInterval < 60 && s < 60) return QString::asprintf("%llds", seconds);
  return QString::asprintf("%lld:%02lld", minutes, seconds);
}

TrimmerTimeRulerView::Ticks TrimmerTimeRulerView::ticks(double duration, double width) {
  const TimelineScale scale{width, duration};
  Ticks result;
  result.intervals = intervals(duration, scale.usableWidth());
  if (!scale.hasDuration()) return result;
  const double major = result.intervals.major;
  const double minor = result.intervals.minor;
  const size_t limit = tickLimit(width);

  // Times are multiples of the interval rather than running sums, so they never stall or drift.
  if (minor > 0) {
    for (size_t i = 0; i < limit; ++i) {
      const double t = static_cast<double>(i) * minor;
      if (t > duration) break;
      if (std::fmod(t, major) < 0.001) continue;  // a major tick stands there
      result.minorX.push_back(scale.x(t));
    }
  }
  const double n = std::floor(duration / major);
  for (size_t i = 0; i < limit; ++i) {
    const double t = static_cast<double>(i) * major;
    if (t > duration) break;
    const double x = scale.x(t);
    const bool last = t + major > duration || static_cast<double>(i) == n;
    const double centreX = last ? x - 20 : (i == 0 ? x : x + 4);
    result.majorX.push_back(x);
    result.labels.push_back({label(t, major), centreX});
  }
  return result;
}

TrimmerTimeRulerView::TrimmerTimeRulerView(QWidget* parent) : QWidget(parent) {
  setFixedHeight(kHeight);
}

void TrimmerTimeRulerView::setValues(double duration, double currentTime, double zoom) {
  if (duration == duration_ && currentTime == currentTime_ && zoom == zoom_) return;
  const bool redraw = duration != duration_;
  duration_ = duration;
  currentTime_ = currentTime;
  zoom_ = zoom;
  if (redraw) update();  // only the duration changes the drawing
}

void TrimmerTimeRulerView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const double w = width(), h = height();
  painter.fillRect(rect(), TimelinePalette::controlBackground(palette(), 0.5));
  painter.setRenderHint(QPainter::Antialiasing);

  const Ticks layout = ticks(duration_, w);
  painter.setPen(QPen(TimelinePalette::secondary(palette(), 0.5), 1));
  for (double x : layout.minorX) painter.drawLine(QPointF(x, h - 4), QPointF(x, h));
  const QColor secondary = TimelinePalette::secondary(palette());
  painter.setPen(QPen(secondary, 1));
  for (double x : layout.majorX) painter.drawLine(QPointF(x, h - 8), QPointF(x, h));

  QFont font = this->font();
  font.setPixelSize(10);
  painter.setFont(font);
  const QFontMetricsF metrics(font);
  for (const Label& label : layout.labels) {
    const double textWidth = metrics.horizontalAdvance(label.text);
    // Centred on its point, but never cut off by the ruler's top edge.
    const double top = std::max(0.0, kLabelCentreY - metrics.height() / 2);
    painter.drawText(QRectF(label.centreX - textWidth / 2, top, textWidth, metrics.height()), Qt::AlignCenter,
                     label.text);
  }
}

}  // namespace tk
