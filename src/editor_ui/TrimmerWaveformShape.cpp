#include "editor_ui/TrimmerWaveformShape.h"

#include <algorithm>
#include <cmath>

namespace tk {

namespace {

// A sample that is not a number, or outside 0 ... 1, draws as the nearest sound level.
double level(float sample) {
  return std::isfinite(sample) ? std::clamp(double(sample), 0.0, 1.0) : 0.0;
}

}  // namespace

std::vector<QLineF> TrimmerWaveformShape::bars(const QRectF& rect) const {
  std::vector<QLineF> lines;
  const size_t n = samples.size();
  const double w = rect.width(), h = rect.height();
  if (n == 0 || !(w > 0) || !(h > 0)) return lines;
  const double mid = rect.top() + h * 0.5;
  const double step = w / static_cast<double>(n);
  auto bar = [&](double x, double amplitude) {
    const double a = h * amplitude * 0.5;
    lines.emplace_back(rect.left() + x, mid - a, rect.left() + x, mid + a);
  };

  if (static_cast<double>(n) <= w) {
    lines.reserve(n);
    for (size_t i = 0; i < n; ++i) bar(step * static_cast<double>(i), level(samples[i]));
    return lines;
  }
  // More samples than points: one bar per point column, at the column's first sample.
  lines.reserve(static_cast<size_t>(w) + 1);
  size_t i = 0;
  while (i < n) {
    const double x = step * static_cast<double>(i);
    const double column = std::floor(x);
    double loudest = 0;
    size_t j = i;
    for (; j < n && std::floor(step * static_cast<double>(j)) == column; ++j)
      loudest = std::max(loudest, level(samples[j]));
    bar(x, loudest);
    i = j;
  }
  return lines;
}

}  // namespace tk
