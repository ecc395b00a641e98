#include "editor_ui/TimelineScale.h"

#include <algorithm>
#include <cmath>

namespace tk {

namespace {

// Beyond this a position is off every screen; limiting it keeps a painter's numbers finite.
constexpr double kFarAway = 1e6;
// The stand-in length of a timeline without a duration.
constexpr double kNoDuration = 0.001;

double limited(double x) {
  return std::clamp(x, -kFarAway, kFarAway);
}

}  // namespace

double TimelineScale::usableWidth() const {
  const double usable = width - 2 * kInset;
  return std::isfinite(usable) && usable > 0 ? usable : 0;
}

bool TimelineScale::isTap(double dx, double dy) {
  return std::hypot(dx, dy) < kTapDistance;
}

bool TimelineScale::hasDuration() const {
  return std::isfinite(duration) && duration > 0;
}

double TimelineScale::x(double time) const {
  if (!std::isfinite(time)) return kInset;
  const double span = hasDuration() ? duration : kNoDuration;
  const double offset = time / span * usableWidth();
  return kInset + (std::isfinite(offset) ? limited(offset) : (offset > 0 ? kFarAway : -kFarAway));
}

double TimelineScale::spanWidth(double seconds) const {
  if (!hasDuration() || !std::isfinite(seconds)) return 0;
  return limited(seconds / duration * usableWidth());
}

double TimelineScale::playheadX(double time) const {
  if (!hasDuration() || !std::isfinite(time)) return kInset;
  return std::clamp(x(time), kInset, kInset + usableWidth());
}

double TimelineScale::time(double x) const {
  const double usable = usableWidth();
  if (usable <= 0 || !hasDuration() || !std::isfinite(x)) return 0;
  return std::clamp((x - kInset) / usable, 0.0, 1.0) * duration;
}

double TimelineScale::secondsPerPoint() const {
  const double usable = usableWidth();
  if (usable <= 0 || !hasDuration()) return 0;
  return duration / usable;
}

}  // namespace tk
