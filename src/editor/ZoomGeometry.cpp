#include "editor/ZoomGeometry.h"

#include <algorithm>
#include <cmath>

namespace tk::ZoomGeometry {
namespace {

constexpr double kMinRamp = 0.0001;

double unitClamp(double v) {
  if (!(v >= 0)) return 0;  // also not-a-number
  return v > 1 ? 1 : v;
}

double halfLifeAlpha(double dt, double halfLife) {
  if (halfLife <= 0) return 1;
  return std::clamp(1 - std::exp2(-dt / halfLife), 0.0, 1.0);
}

std::optional<QPointF> rawCursorPosition(const std::vector<CursorPosition>& s, double t) {
  if (s.empty()) return std::nullopt;
  auto after = std::upper_bound(s.begin(), s.end(), t,
                                [](double time, const CursorPosition& p) { return time < p.timestamp; });
  if (after == s.begin()) return s.front().position;
  const auto& found = *(after - 1);
  if (after != s.end()) {
    const double gap = after->timestamp - found.timestamp;
    if (gap > 0.001) {
      const double f = (t - found.timestamp) / gap;
      return found.position + (after->position - found.position) * f;
    }
  }
  return found.position;
}

using Ease = double (*)(double);

ZoomState keyframeState(const std::vector<ZoomKeyframe>& k, const std::vector<CursorPosition>* cursors,
                        double t, Ease ease) {
  if (k.empty()) return {};
  const auto& first = k.front();
  if (t <= first.time) {
    const double start = std::max(first.time - first.easeIn, 0.0);
    const double e = ease((t - start) / std::max(first.easeIn, kMinRamp));
    const QPointF focus = optionalCursorPosition(cursors, first.time).value_or(first.center);
    return {e * (first.level - 1) + 1, e * (focus.x() - 0.5) + 0.5, e * (focus.y() - 0.5) + 0.5};
  }
  size_t i = 1;
  while (i < k.size() && !(k[i].time > t)) ++i;
  const auto& prev = k[std::max<size_t>(i, 1) - 1];
  const auto cursor = optionalCursorPosition(cursors, t);
  if (i == k.size()) {
    const QPointF c = cursor.value_or(prev.center);
    return {prev.level, c.x(), c.y()};
  }
  const auto& next = k[i];
  const double e = ease((t - prev.time) / std::max(next.time - prev.time, kMinRamp));
  const QPointF c = cursor.value_or(prev.center + (next.center - prev.center) * e);
  return {prev.level + e * (next.level - prev.level), c.x(), c.y()};
}

}  // namespace

double easeInOutQuint(double p) {
  if (p >= 1) return 1;
  if (!(p >= 0)) return 0;
  if (p < 0.5) return p * (p * (p * (p * (p * 16))));
  return std::pow(2 - (p + p), 5) * -0.5 + 1;
}

double easeInOutCubic(double p) {
  if (p >= 1) return 1;
  if (!(p >= 0)) return 0;
  if (p < 0.5) return 4 * p * p * p;
  return 1 - std::pow(2 - 2 * p, 3) / 2;
}

AffineTransform zoomTransform(double cx, double cy, double level, double w, double h) {
  if (!(level > 1.001) || !std::isfinite(level) || !(w > 0) || !(h > 0) || !std::isfinite(w) ||
      !std::isfinite(h))
    return AffineTransform::identity();
  const double hx = ((w / level) * 0.5) / w;
  const double hy = ((h / level) * 0.5) / h;
  cx = unitClamp(std::max(std::min(unitClamp(cx), 1 - hx), hx));
  cy = unitClamp(std::max(std::min(unitClamp(cy), 1 - hy), hy));
  return AffineTransform::scale(level, level)
      .then(AffineTransform::translation(w * 0.5 - cx * w * level, h * 0.5 - cy * h * level));
}

std::optional<QPointF> cursorPosition(const std::vector<CursorPosition>& positions, double t) {
  auto p = rawCursorPosition(positions, t);
  if (!p) return std::nullopt;
  return QPointF(unitClamp(p->x()), unitClamp(p->y()));
}

std::optional<QPointF> optionalCursorPosition(const std::vector<CursorPosition>* positions, double t) {
  if (!positions) return std::nullopt;
  return cursorPosition(*positions, t);
}

std::vector<CursorPosition> smoothCursorPositions(const std::vector<CursorPosition>& in, double halfLife) {
  if (in.size() < 3) return in;
  std::vector<CursorPosition> out;
  out.reserve(in.size());
  out.push_back(in.front());
  QPointF state = in.front().position;
  double previous = in.front().timestamp;
  for (size_t i = 1; i < in.size(); ++i) {
    const auto& s = in[i];
    const double alpha = halfLifeAlpha(std::max(s.timestamp - previous, 0.001), halfLife);
    state += (s.position - state) * alpha;
    out.push_back({s.id, s.timestamp, state});
    previous = s.timestamp;
  }
  return out;
}

std::vector<CursorPosition> cursorFollowPath(const std::vector<CursorPosition>& in,
                                             const ZoomSegment& segment) {
  if (in.size() < 2 || !(segment.panSmoothing > 0)) return in;
  const double h = segment.panSmoothing * 0.23 + 0.02;
  const double deadZone = segment.deadZone;
  QPointF camera = in.front().position;
  QPointF anchor = camera;
  double previous = in.front().timestamp;
  double ramp = 1;
  std::vector<CursorPosition> out;
  out.reserve(in.size());
  out.push_back(in.front());
  for (size_t i = 1; i < in.size(); ++i) {
    const auto& s = in[i];
    const double dt = std::max(s.timestamp - previous, 0.001);
    previous = s.timestamp;
    const QPointF d = s.position - camera;
    const double dist = std::hypot(d.x(), d.y());
    if (dist < deadZone) {
      camera += (anchor - camera) * halfLifeAlpha(dt, 2 * h);
      ramp = 0;
    } else {
      const double k = std::min((dist / dt) * 0.3 + 0.5, 1.0);
      double alpha = halfLifeAlpha(dt, h * ((1 - k) + 1));
      ramp = std::min(ramp + dt * 6, 1.0);
      alpha *= 1 - (1 - ramp) * (1 - ramp);
      camera += d * alpha;
      anchor = s.position;
    }
    out.push_back({s.id, s.timestamp, camera});
  }
  if (segment.panSmoothing > 0.5) return smoothCursorPositions(out, h * 0.3);
  return out;
}

ZoomState zoomStateAtTime(const std::vector<ZoomSegment>& unsorted,
                          const std::vector<CursorPosition>* cursors, double t,
                          const ZoomSegmentIndex* index) {
  if (unsorted.empty()) return {};
  if (!index) {
    const ZoomSegmentIndex own(unsorted);
    return zoomStateAtTime(unsorted, cursors, t, &own);
  }
  // Those that reach t, by start (list order among equal starts).
  std::vector<const ZoomSegment*> segments;
  for (uint32_t i : index->segmentsAt(t)) segments.push_back(&unsorted[i]);
  std::stable_sort(segments.begin(), segments.end(),
                   [](const ZoomSegment* a, const ZoomSegment* b) { return a->startTime < b->startTime; });

  struct Contribution {
    ZoomState state;
    double weight;
  };
  std::vector<Contribution> parts;
  std::vector<CursorPosition> window;
  for (const ZoomSegment* seg : segments) {
    const double start = std::max(seg->startTime - seg->easeIn, 0.0);
    const double end = seg->endTime + seg->easeOut;
    if (!(start <= t && t <= end)) continue;
    QPointF focus(0.5, 0.5);
    if (cursors && !cursors->empty()) {
      window.clear();
      auto p = std::lower_bound(cursors->begin(), cursors->end(), start,
                                [](const CursorPosition& c, double time) { return c.timestamp < time; });
      for (; p != cursors->end() && p->timestamp <= end; ++p) window.push_back(*p);
      std::optional<QPointF> at;
      if (seg->panSmoothing > 0 && window.size() >= 2)
        at = cursorPosition(cursorFollowPath(window, *seg), t);
      else if (window.empty())
        at = cursorPosition(*cursors, t);
      else
        at = cursorPosition(window, t);
      if (at) focus = *at;
    }
    Contribution c;
    if (t < seg->startTime) {
      const double e = easeInOutQuint((t - start) / std::max(seg->easeIn, kMinRamp));
      c = {{e * (seg->zoomLevel - 1) + 1, e * (focus.x() - 0.5) + 0.5, e * (focus.y() - 0.5) + 0.5}, e};
    } else if (t <= seg->endTime) {
      c = {{seg->zoomLevel, focus.x(), focus.y()}, 1};
    } else {
      const double e = easeInOutQuint((t - seg->endTime) / std::max(seg->easeOut, kMinRamp));
      c = {{seg->zoomLevel + e * (1 - seg->zoomLevel), focus.x() + e * (0.5 - focus.x()),
            focus.y() + e * (0.5 - focus.y())},
           1 - e};
    }
    parts.push_back(c);
  }
  if (parts.empty()) return {};
  if (parts.size() == 1) return parts.front().state;
  double sum = 0;
  for (const auto& p : parts) sum += p.weight * p.weight;
  if (sum > 0.001) {
    ZoomState blended{0, 0, 0};
    for (const auto& p : parts) {
      const double w2 = p.weight * p.weight;
      blended.level += p.state.level * w2;
      blended.centerX += p.state.centerX * w2;
      blended.centerY += p.state.centerY * w2;
    }
    return {blended.level / sum, blended.centerX / sum, blended.centerY / sum};
  }
  const Contribution* best = &parts.front();
  for (const auto& p : parts)
    if (p.weight > best->weight) best = &p;
  return best->state;
}

ZoomState zoomStateFromKeyframes(const std::vector<ZoomKeyframe>& keyframes,
                                 const std::vector<CursorPosition>* cursors, double t) {
  return keyframeState(keyframes, cursors, t, easeInOutQuint);
}

ZoomState zoomStateFromKeyframesForExport(const std::vector<ZoomKeyframe>& keyframes,
                                          const std::vector<CursorPosition>* cursors, double t) {
  return keyframeState(keyframes, cursors, t, easeInOutCubic);
}

}  // namespace tk::ZoomGeometry
