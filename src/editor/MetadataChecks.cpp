#include "editor/MetadataChecks.h"

#include <algorithm>
#include <cmath>

namespace tk {
namespace {

constexpr double kMinLevel = 1, kMaxLevel = 3, kMinEase = 0.05, kMaxEase = 2;

bool finite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool finitePoint(QPointF p) {
  return finite({p.x(), p.y()});
}

QPointF unitPoint(QPointF p) {
  return {std::clamp(p.x(), 0.0, 1.0), std::clamp(p.y(), 0.0, 1.0)};
}

template <typename T, typename Keep>
void keepIf(std::vector<T>& items, Keep keep) {
  items.erase(std::remove_if(items.begin(), items.end(), [&](T& item) { return !keep(item); }), items.end());
}

}  // namespace

RecordingMetadata checkedRecordingMetadata(RecordingMetadata m, double duration) {
  const double own = std::isfinite(m.duration) && m.duration > 0 ? m.duration : 0;
  const double end = std::isfinite(duration) && duration > 0 ? duration : own;
  m.duration = own;
  const auto time = [end](double t) { return std::clamp(t, 0.0, std::max(end, 0.0)); };
  const auto ease = [](double e) { return std::clamp(e, kMinEase, kMaxEase); };

  keepIf(m.zoomEvents, [&](ZoomEvent& e) {
    if (!finite({e.timestamp, e.level, e.duration}) || !finitePoint(e.position)) return false;
    e.timestamp = time(e.timestamp);
    e.level = std::clamp(e.level, kMinLevel, kMaxLevel);
    e.duration = std::clamp(e.duration, 0.0, kMaxEase);
    e.position = unitPoint(e.position);
    return true;
  });
  keepIf(m.zoomKeyframes, [&](ZoomKeyframe& k) {
    if (!finite({k.time, k.level, k.easeIn, k.easeOut}) || !finitePoint(k.center)) return false;
    k.time = time(k.time);
    k.level = std::clamp(k.level, kMinLevel, kMaxLevel);
    k.easeIn = ease(k.easeIn);
    k.easeOut = ease(k.easeOut);
    k.center = unitPoint(k.center);
    return true;
  });
  keepIf(m.zoomSegments.edit(), [&](ZoomSegment& s) {
    if (!finite({s.startTime, s.endTime, s.zoomLevel, s.easeIn, s.easeOut, s.panSmoothing, s.deadZone}))
      return false;
    s.startTime = time(s.startTime);
    s.endTime = time(s.endTime);
    s.zoomLevel = std::clamp(s.zoomLevel, kMinLevel, kMaxLevel);
    s.easeIn = ease(s.easeIn);
    s.easeOut = ease(s.easeOut);
    s.panSmoothing = std::clamp(s.panSmoothing, 0.0, 1.0);
    s.deadZone = std::clamp(s.deadZone, 0.0, 0.3);
    return s.endTime > s.startTime;
  });
  keepIf(m.cameraPositions, [&](CameraKeyframe& c) {
    if (!finite({c.timestamp, c.frame.x(), c.frame.y(), c.frame.width(), c.frame.height()})) return false;
    c.timestamp = time(c.timestamp);
    return true;
  });
  keepIf(m.cursorClicks, [&](CursorClick& c) {
    if (!std::isfinite(c.timestamp) || !finitePoint(c.position)) return false;
    c.timestamp = time(c.timestamp);
    return true;
  });
  keepIf(m.cursorPositions, [&](CursorPosition& p) {
    if (!std::isfinite(p.timestamp) || !finitePoint(p.position)) return false;
    p.timestamp = time(p.timestamp);
    return true;
  });
  return m;
}

}  // namespace tk
