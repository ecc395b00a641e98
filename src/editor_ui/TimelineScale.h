#pragma once

namespace tk {

// The one mapping between time and x that the timeline's ruler, tracks, markers and playhead share,
// so that a time lands on the same column in every row. Time runs across the width less an inset of
// 20 pt at each end, which keeps the ruler's end labels and the markers at the ends whole.
//
// A duration that is zero, negative or not finite has no scale: the timeline then places items as
// if it were a thousandth of a second long (an item at 0 stays at the leading end, later items fall
// beyond the trailing end), puts the playhead at the leading end and seeks every tap to 0. No
// position it returns is ever NaN or infinite. Pure value; any thread.
struct TimelineScale {
  static constexpr double kInset = 20;
  // A press that travels less than this before its release is a tap (select, seek, toggle); one
  // that travels this far is a drag.
  static constexpr double kTapDistance = 3;
  static bool isTap(double dx, double dy);

  double width = 0;     // of the row, in points
  double duration = 0;  // seconds

  // The width time runs across: width less both insets, never negative.
  double usableWidth() const;
  // A positive, finite duration.
  bool hasDuration() const;
  // x of a time, from the row's leading edge.
  double x(double time) const;
  // Width of a span of time (0 without a duration).
  double spanWidth(double seconds) const;
  // Where the playhead's line stands: x of the time limited to the scale, the leading end without a
  // duration or for a time that is not finite.
  double playheadX(double time) const;
  // The time under x, limited to 0 ... duration; 0 without a duration or usable width.
  double time(double x) const;
  // Seconds per point moved, for drags (0 without a duration or usable width).
  double secondsPerPoint() const;
};

}  // namespace tk
