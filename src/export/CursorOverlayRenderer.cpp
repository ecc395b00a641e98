#include "export/CursorOverlayRenderer.h"

#include <algorithm>
#include <cmath>

namespace tk {
namespace {

double speedFactor(CursorAnimationSpeed speed) {
  switch (speed) {
    case CursorAnimationSpeed::slow:
      return 0.2;
    case CursorAnimationSpeed::mellow:
      return 0.12;
    case CursorAnimationSpeed::quick:
      return 0.06;
    case CursorAnimationSpeed::rapid:
      return 0.02;
  }
  return 0.06;
}

template <typename T>
void sortByTime(std::vector<T>& list) {
  std::erase_if(list, [](const T& e) { return !std::isfinite(e.timestamp); });
  std::stable_sort(list.begin(), list.end(),
                   [](const T& a, const T& b) { return a.timestamp < b.timestamp; });
}

}  // namespace

CursorOverlayRenderer::CursorOverlayRenderer(const CursorOverlaySettings& settings,
                                             std::vector<CursorPosition> cursorPositions,
                                             std::vector<CursorClick> clickEvents)
    : settings_(settings),
      cursorPositions_(std::move(cursorPositions)),
      clickEvents_(std::move(clickEvents)) {
  sortByTime(cursorPositions_);
  sortByTime(clickEvents_);
}

const std::vector<CursorPosition>& CursorOverlayRenderer::path() const {
  if (!(settings_.smoothing > 0)) return cursorPositions_;
  if (!smoothedPositions_) smoothedPositions_ = buildSmoothedPositions(cursorPositions_);
  return *smoothedPositions_;
}

QPointF CursorOverlayRenderer::interpolatedPosition(const std::vector<CursorPosition>& list, double t) {
  if (list.empty()) return {0.5, 0.5};
  if (t <= list.front().timestamp) return list.front().position;
  if (t >= list.back().timestamp) return list.back().position;
  size_t lo = 0, hi = list.size() - 1;
  while (lo < hi - 1) {
    const size_t mid = (lo + hi) / 2;
    if (list[mid].timestamp <= t)
      lo = mid;
    else
      hi = mid;
  }
  const double dt = list[hi].timestamp - list[lo].timestamp;
  if (!(dt > 0.0001)) return list[lo].position;
  const double f = (t - list[lo].timestamp) / dt;
  return list[lo].position + (list[hi].position - list[lo].position) * f;
}

std::vector<CursorPosition> CursorOverlayRenderer::buildSmoothedPositions(
    const std::vector<CursorPosition>& p) const {
  const size_t n = p.size();
  if (n <= 1 || !(settings_.smoothing > 0)) return p;
  const double tau = settings_.smoothing * speedFactor(settings_.animationSpeed);
  // The click times, sorted and without duplicates; the earliest click in a sample's look-ahead
  // window sets how tightly the path follows the raw cursor.
  std::vector<double> clicks;
  clicks.reserve(clickEvents_.size());
  for (const auto& c : clickEvents_) clicks.push_back(c.timestamp);
  clicks.erase(std::unique(clicks.begin(), clicks.end()), clicks.end());

  std::vector<double> tauAt(n);
  for (size_t i = 0; i < n; ++i) {
    const double ti = p[i].timestamp;
    auto c = std::upper_bound(clicks.begin(), clicks.end(), ti);
    if (c != clicks.end() && *c <= ti + 0.1) {
      const double k = (*c - ti) / -0.1 + 1;
      tauAt[i] = tau * (1 - 0.8 * k) + 0.01 * k * 0.8;
    } else {
      tauAt[i] = tau;
    }
  }
  auto alpha = [](double dt, double halfLife) {
    const double d = dt >= 0.001 ? dt : 0.001;
    return 1 - std::exp2(-d / halfLife);
  };
  std::vector<QPointF> forward(n), backward(n);
  forward[0] = p[0].position;
  for (size_t i = 1; i < n; ++i)
    forward[i] = forward[i - 1] +
                 (p[i].position - forward[i - 1]) * alpha(p[i].timestamp - p[i - 1].timestamp, tauAt[i]);
  backward[n - 1] = p[n - 1].position;
  for (size_t i = n - 1; i-- > 0;)
    backward[i] = backward[i + 1] +
                  (p[i].position - backward[i + 1]) * alpha(p[i + 1].timestamp - p[i].timestamp, tauAt[i]);
  std::vector<CursorPosition> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out.push_back({p[i].id, p[i].timestamp, (forward[i] + backward[i]) * 0.5});
  return out;
}

QPointF CursorOverlayRenderer::velocity(double t) const {
  const auto& list = path();
  const QPointF a = interpolatedPosition(list, t - 1.0 / 60);
  const QPointF b = interpolatedPosition(list, t + 1.0 / 60);
  return (b - a) / (1.0 / 30);
}

double CursorOverlayRenderer::motionBlurAmount(QPointF v) const {
  if (!settings_.motionBlurEnabled) return 0;
  const double speed = std::hypot(v.x(), v.y());
  // A negative threshold would make the ramp below negative and its square unbounded; below zero it
  // means the same as zero: full blur for any movement.
  const double thr = std::max(settings_.motionBlurThreshold, 0.0);
  if (!(thr < speed)) return 0;
  const double a = std::clamp((speed - thr) / (thr + thr), 0.0, 1.0);
  return a * a * std::max(settings_.motionBlurIntensity, 0.0);
}

double CursorOverlayRenderer::clickScale(double t) const {
  auto after = std::upper_bound(clickEvents_.begin(), clickEvents_.end(), t,
                                [](double time, const CursorClick& c) { return time < c.timestamp; });
  if (after == clickEvents_.begin()) return 1.0;
  const double dt = t - (after - 1)->timestamp;
  if (dt < 0 || dt > 0.5) return 1.0;
  const double p = dt + dt;
  if (p <= 0 || p >= 1) return 1.0;
  double s;
  if (p < 0.3) {
    const double u = p / 0.3;
    s = u * (2 - u);
  } else {
    const double q = (p - 0.3) / 0.7;
    s = 1 - q * q;
  }
  return s * -0.25 + 1;
}

CursorState CursorOverlayRenderer::cursorState(double t) const {
  if (cursorPositions_.empty()) return {{0, 0}, 1.0, false, {0, 0}, 0};
  CursorState state;
  state.position = interpolatedPosition(path(), t);
  state.velocity = velocity(t);
  state.motionBlur = motionBlurAmount(state.velocity);
  const double x = state.position.x(), y = state.position.y();
  state.isVisible = x >= 0 && x <= 1 && y >= 0 && y <= 1;
  state.scale = clickScale(t) * settings_.scale;
  return state;
}

}  // namespace tk
