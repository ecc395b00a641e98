#include "export/CompositorZoom.h"

#include <algorithm>
#include <cmath>
#include <mutex>

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

// The samples of `all` inside [from, to], in order: found by time in a list sorted by time.
std::vector<CursorPosition> samplesWithin(const std::vector<CursorPosition>& all, double from, double to,
                                          bool sorted) {
  std::vector<CursorPosition> window;
  if (sorted) {
    auto first = std::lower_bound(all.begin(), all.end(), from,
                                  [](const CursorPosition& p, double time) { return p.timestamp < time; });
    for (auto p = first; p != all.end() && p->timestamp <= to; ++p)
      if (p->timestamp >= from) window.push_back(*p);
    return window;
  }
  for (const auto& p : all)
    if (p.timestamp >= from && p.timestamp <= to) window.push_back(p);
  return window;
}

// The path a segment's focus follows: the window's samples (smoothed); empty when the window has
// none, for every sample then stands in.
std::vector<CursorPosition> ownFocusPath(const std::vector<CursorPosition>& all, const ZoomSegment& segment,
                                         bool sorted) {
  std::vector<CursorPosition> window =
      samplesWithin(all, rampStart(segment), segment.endTime + segment.easeOut, sorted);
  if (segment.panSmoothing > 0 && window.size() >= 2) return smoothedFocusPath(window, segment);
  return window;
}

bool sortedByTime(const std::vector<CursorPosition>& list) {
  return std::is_sorted(list.begin(), list.end(), [](const CursorPosition& a, const CursorPosition& b) {
    return a.timestamp < b.timestamp;
  });
}

// One segment's zoom at t, when t lies in its ramp in, its hold or its ramp out.
template <typename Focus>
std::optional<ZoomState> segmentState(const ZoomSegment& s, double t, Focus focus) {
  const double a = rampStart(s);
  if (a <= t && t < s.startTime) {
    const double e = easeInOutQuint((t - a) / std::max(s.easeIn, kMinRamp));
    const auto f = focus();
    const QPointF at = f ? QPointF(0.5 + e * (f->x() - 0.5), 0.5 + e * (f->y() - 0.5)) : QPointF(0.5, 0.5);
    return ZoomState{1 + e * (s.zoomLevel - 1), at.x(), at.y()};
  }
  if (s.startTime <= t && t <= s.endTime) {
    const QPointF f = focus().value_or(QPointF(0.5, 0.5));
    return ZoomState{s.zoomLevel, f.x(), f.y()};
  }
  if (s.endTime < t && t <= s.endTime + s.easeOut) {
    const double e = easeInOutQuint((t - s.endTime) / std::max(s.easeOut, kMinRamp));
    const QPointF f = focus().value_or(QPointF(0.5, 0.5));
    return ZoomState{s.zoomLevel + e * (1 - s.zoomLevel), f.x() + e * (0.5 - f.x()),
                     f.y() + e * (0.5 - f.y())};
  }
  return std::nullopt;
}

// The camera bubble's size factor under one segment at t, when it acts there.
std::optional<double> segmentProgress(const ZoomSegment& s, double shrink, double t) {
  const double a = rampStart(s);
  if (a <= t && t < s.startTime && t >= 0)
    return 1 + easeInOutQuint((t - a) / std::max(s.easeIn, kMinRamp)) * (shrink - 1);
  if (s.startTime <= t && t <= s.endTime) return shrink;
  if (s.endTime < t && t <= s.endTime + s.easeOut)
    return shrink + easeInOutQuint((t - s.endTime) / std::max(s.easeOut, kMinRamp)) * (1 - shrink);
  return std::nullopt;
}

// One index for each settings object alive: an export's compositors share theirs.
std::shared_ptr<const ZoomSegmentIndex> sharedIndex(
    const std::shared_ptr<const RoundedCameraCompositorSettings>& settings) {
  struct Entry {
    std::weak_ptr<const RoundedCameraCompositorSettings> settings;
    std::weak_ptr<const ZoomSegmentIndex> index;
  };
  static std::mutex mutex;
  static std::vector<Entry> entries;
  std::lock_guard lock(mutex);
  std::erase_if(entries, [](const Entry& e) { return e.settings.expired() || e.index.expired(); });
  for (const Entry& e : entries)
    if (e.settings.lock() == settings)
      if (auto index = e.index.lock()) return index;
  auto index = std::make_shared<const ZoomSegmentIndex>(settings->zoomSegments);
  entries.push_back({settings, index});
  return index;
}

// Follow paths kept at most at once; those of segments no longer reached go first.
constexpr size_t kKeptPaths = 64;

}  // namespace

std::optional<QPointF> cursorFocusAt(const RoundedCameraCompositorSettings& settings,
                                     const ZoomSegment& segment, double t) {
  const auto& all = settings.cursorPositions;
  if (all.empty()) return std::nullopt;
  const auto own = ownFocusPath(all, segment, false);
  return focusPosition(own.empty() ? all : own, t);
}

ZoomState zoomState(const RoundedCameraCompositorSettings& settings, double t) {
  for (const auto& s : settings.zoomSegments)
    if (auto state = segmentState(s, t, [&] { return cursorFocusAt(settings, s, t); })) return *state;
  return {};
}

FollowPaths::FollowPaths(const std::shared_ptr<const RoundedCameraCompositorSettings>& settings)
    : settings_(settings),
      index_(sharedIndex(settings)),
      sortedCursors_(sortedByTime(settings->cursorPositions)) {}

const std::vector<CursorPosition>& FollowPaths::pathOf(uint32_t position) const {
  const auto& all = settings_->cursorPositions;
  auto kept = paths_.find(position);
  if (kept == paths_.end()) {
    if (paths_.size() >= kKeptPaths) {
      std::erase_if(paths_, [&](const auto& entry) {
        return !std::binary_search(found_.begin(), found_.end(), entry.first);
      });
    }
    kept =
        paths_.emplace(position, ownFocusPath(all, settings_->zoomSegments[position], sortedCursors_)).first;
  }
  return kept->second.empty() ? all : kept->second;
}

ZoomState FollowPaths::zoomState(double t) const {
  if (!settings_) return {};
  index_->segmentsAt(t, found_);
  // Earlier segments in the list win.
  for (uint32_t i : found_) {
    const auto focus = [&]() -> std::optional<QPointF> {
      if (settings_->cursorPositions.empty()) return std::nullopt;
      return focusPosition(pathOf(i), t);
    };
    if (auto state = segmentState(settings_->zoomSegments[i], t, focus)) return *state;
  }
  return {};
}

double FollowPaths::zoomProgress(double t) const {
  if (!settings_) return 1;
  index_->segmentsAt(t, found_);
  for (uint32_t i : found_)
    if (auto f = segmentProgress(settings_->zoomSegments[i], settings_->cameraSettings.shrinkFactor, t))
      return *f;
  return 1;
}

double zoomProgress(const RoundedCameraCompositorSettings& settings, double t) {
  for (const auto& s : settings.zoomSegments)
    if (auto f = segmentProgress(s, settings.cameraSettings.shrinkFactor, t)) return *f;
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
