#include "export/CompositorZoom.h"

#include <algorithm>
#include <cmath>

namespace tk::CompositorZoom {
namespace {

constexpr double kMinRamp = 0.0001;
using ZoomGeometry::easeInOutQuint;

double rampStart(const ZoomSegment& s) {
  return std::max(s.startTime - s.easeIn, 0.0);
}

}  // namespace

std::optional<QPointF> focusPosition(const std::vector<CursorPosition>& list, double t) {
  if (list.empty() || t < list.front().timestamp) return std::nullopt;
  auto after = std::upper_bound(list.begin(), list.end(), t,
                                [](double time, const CursorPosition& p) { return time < p.timestamp; });
  const auto& found = *(after - 1);
  if (after != list.end() && after->timestamp - found.timestamp > 0.001) {
    const double u = (t - found.timestamp) / (after->timestamp - found.timestamp);
    return found.position + (after->position - found.position) * u;
  }
  return found.position;
}

std::vector<CursorPosition> smoothedFocusPath(const std::vector<CursorPosition>& positions,
                                              const ZoomSegment& segment) {
  if (positions.size() < 2 || !(segment.panSmoothing > 0)) return positions;
  const double h = segment.panSmoothing * 0.27 + 0.03;
  const double deadZone = segment.deadZone;
  QPointF camera = positions.front().position, target = camera;
  std::vector<CursorPosition> out = positions;  // ids and times stay; positions follow the camera
  for (size_t i = 1; i < positions.size(); ++i) {
    const auto& p = positions[i];
    const QPointF delta = p.position - target;
    const double d = std::hypot(delta.x(), delta.y());
    if (d > deadZone) target += delta * ((d - 0.8 * deadZone) / d);
    const double dt = std::max(p.timestamp - positions[i - 1].timestamp, 0.001);
    const double alpha = 1 - std::exp2(-dt / h);
    camera += (target - camera) * alpha;
    out[i].position = camera;
  }
  return out;
}

namespace {

// The path a segment's focus follows: the window's samples (smoothed), or every sample when the
// window has none.
std::vector<CursorPosition> focusPath(const RoundedCameraCompositorSettings& settings,
                                      const ZoomSegment& segment) {
  const auto& all = settings.cursorPositions;
  const double from = rampStart(segment), to = segment.endTime + segment.easeOut;
  std::vector<CursorPosition> window;
  for (const auto& p : all)
    if (p.timestamp >= from && p.timestamp <= to) window.push_back(p);
  if (window.empty()) return all;
  if (segment.panSmoothing > 0 && window.size() >= 2) return smoothedFocusPath(window, segment);
  return window;
}

template <typename Focus>
ZoomState stateAt(const std::vector<ZoomSegment>& segments, double t, Focus focusOf) {
  for (size_t i = 0; i < segments.size(); ++i) {
    const auto& s = segments[i];
    const double a = rampStart(s);
    if (a <= t && t < s.startTime) {
      const double e = easeInOutQuint((t - a) / std::max(s.easeIn, kMinRamp));
      const auto f = focusOf(i, t);
      const QPointF focus =
          f ? QPointF(0.5 + e * (f->x() - 0.5), 0.5 + e * (f->y() - 0.5)) : QPointF(0.5, 0.5);
      return {1 + e * (s.zoomLevel - 1), focus.x(), focus.y()};
    }
    if (s.startTime <= t && t <= s.endTime) {
      const QPointF f = focusOf(i, t).value_or(QPointF(0.5, 0.5));
      return {s.zoomLevel, f.x(), f.y()};
    }
    if (s.endTime < t && t <= s.endTime + s.easeOut) {
      const double e = easeInOutQuint((t - s.endTime) / std::max(s.easeOut, kMinRamp));
      const QPointF f = focusOf(i, t).value_or(QPointF(0.5, 0.5));
      return {s.zoomLevel + e * (1 - s.zoomLevel), f.x() + e * (0.5 - f.x()), f.y() + e * (0.5 - f.y())};
    }
  }
  return {};
}

}  // namespace

std::optional<QPointF> cursorFocusAt(const RoundedCameraCompositorSettings& settings,
                                     const ZoomSegment& segment, double t) {
  if (settings.cursorPositions.empty()) return std::nullopt;
  return focusPosition(focusPath(settings, segment), t);
}

ZoomState zoomState(const RoundedCameraCompositorSettings& settings, double t) {
  return stateAt(settings.zoomSegments, t, [&](size_t i, double time) {
    return cursorFocusAt(settings, settings.zoomSegments[i], time);
  });
}

FollowPaths::FollowPaths(const RoundedCameraCompositorSettings& settings) : segments_(settings.zoomSegments) {
  if (settings.cursorPositions.empty()) return;
  paths_.reserve(segments_.size());
  for (const auto& s : segments_) paths_.push_back(focusPath(settings, s));
}

ZoomState FollowPaths::zoomState(double t) const {
  return stateAt(segments_, t, [&](size_t i, double time) -> std::optional<QPointF> {
    if (paths_.empty()) return std::nullopt;
    return focusPosition(paths_[i], time);
  });
}

double zoomProgress(const RoundedCameraCompositorSettings& settings, double t) {
  const double shrink = settings.cameraSettings.shrinkFactor;
  for (const auto& s : settings.zoomSegments) {
    const double a = rampStart(s);
    if (a <= t && t < s.startTime && t >= 0)
      return 1 + easeInOutQuint((t - a) / std::max(s.easeIn, kMinRamp)) * (shrink - 1);
    if (s.startTime <= t && t <= s.endTime) return shrink;
    if (s.endTime < t && t <= s.endTime + s.easeOut)
      return shrink + easeInOutQuint((t - s.endTime) / std::max(s.easeOut, kMinRamp)) * (1 - shrink);
  }
  return 1;
}

bool isZoomed(const ZoomState& zoom) {
  return zoom.level > 1.001 && std::isfinite(zoom.level);
}

QPointF clampedFocus(const ZoomState& z) {
  const double lo = 0.5 / z.level, hi = 1 - 0.5 / z.level;
  auto clamp = [&](double v) { return std::min(std::max(std::isnan(v) ? 0.5 : v, lo), hi); };
  return {clamp(z.centerX), clamp(z.centerY)};
}

QPointF mapPoint(const ZoomState& zoom, QPointF p, double W, double H) {
  if (!isZoomed(zoom)) return p;
  const QPointF c = clampedFocus(zoom);
  return {W / 2 + zoom.level * (p.x() - c.x() * W), H / 2 + zoom.level * (p.y() - (1 - c.y()) * H)};
}

}  // namespace tk::CompositorZoom
