#include "export/CoverageMask.h"

#include <algorithm>
#include <cmath>

namespace tk {
namespace {

struct RoundedRect {
  double cx, cy, hx, hy, r;

  // Signed distance from a point to the outline: negative inside.
  double distance(double px, double py) const {
    const double qx = std::abs(px - cx) - (hx - r);
    const double qy = std::abs(py - cy) - (hy - r);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - r;
  }
  // Half the width of the shape grown by `grow` on row centre `py`; negative when the row misses it.
  double halfWidthAt(double py, double grow) const {
    const double rr = std::max(r + grow, 0.0);
    const double straight = hx - r;  // half-length of the flat top and bottom
    const double dy = std::abs(py - cy) - (hy - r);
    if (dy <= 0) return straight + rr;
    if (dy >= rr) return -1;
    return straight + std::sqrt(rr * rr - dy * dy);
  }
};

uint8_t coverage(double signedDistance) {
  const double c = std::clamp(0.5 - signedDistance, 0.0, 1.0);
  return static_cast<uint8_t>(c * 255 + 0.5);
}

}  // namespace

void CoverageMask::clear() {
  rows_.clear();
  partials_.clear();
}

void CoverageMask::build(const QRectF& rect, double radius, const QRectF& clip, int W, int H) {
  clear();
  const double w = rect.width(), h = rect.height();
  if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h) || !std::isfinite(rect.x()) ||
      !std::isfinite(rect.y()))
    return;
  const double r = std::clamp(std::isfinite(radius) ? radius : 0.0, 0.0, std::min(w, h) / 2);
  const RoundedRect shape{rect.x() + w / 2, rect.y() + h / 2, w / 2, h / 2, r};
  const QRectF area = rect.adjusted(-1, -1, 1, 1).intersected(clip).intersected(QRectF(0, 0, W, H));
  if (area.isEmpty()) return;
  const int clipX0 = static_cast<int>(std::floor(std::max(clip.left(), 0.0)));
  const int clipX1 = static_cast<int>(std::ceil(std::min(clip.right(), static_cast<double>(W))));
  const int yStart = static_cast<int>(std::floor(area.top()));
  const int yEnd = std::min(static_cast<int>(std::ceil(area.bottom())), H);
  // A pixel is full when its centre lies in the shape shrunk by half a pixel, empty beyond the
  // shape grown by half a pixel; between, its coverage comes from the distance to the outline.
  for (int y = yStart; y < yEnd; ++y) {
    const double py = y + 0.5;
    const double outer = shape.halfWidthAt(py, 0.5);
    if (outer < 0 && shape.distance(shape.cx, py) >= 0.5) continue;
    const double outerHalf = std::max(outer, 0.0);
    Row row;
    row.y = y;
    row.x0 = std::max(static_cast<int>(std::floor(shape.cx - outerHalf - 0.5)), clipX0);
    row.x1 = std::min(static_cast<int>(std::ceil(shape.cx + outerHalf + 0.5)), clipX1);
    if (row.x0 >= row.x1) continue;
    // Fully covered run: pixel centres inside the inset shape, vertically too.
    int full0 = row.x0, full1 = row.x0;
    const double inner = std::abs(py - shape.cy) <= shape.hy - 0.5 ? shape.halfWidthAt(py, -0.5) : -1;
    if (inner >= 0) {
      full0 = std::clamp(static_cast<int>(std::ceil(shape.cx - inner - 0.5)), row.x0, row.x1);
      full1 = std::clamp(static_cast<int>(std::floor(shape.cx + inner - 0.5)) + 1, full0, row.x1);
      // Trust the distance test at the run's ends: the analytic bound may be off by rounding.
      while (full0 < full1 && shape.distance(full0 + 0.5, py) > -0.5) ++full0;
      while (full1 > full0 && shape.distance(full1 - 0.5, py) > -0.5) --full1;
    }
    if (full0 == full1) full0 = full1 = row.x1;  // nothing full: the whole row is partial
    row.full0 = full0;
    row.full1 = full1;
    row.partial = static_cast<uint32_t>(partials_.size());
    for (int x = row.x0; x < full0; ++x) partials_.push_back(coverage(shape.distance(x + 0.5, py)));
    for (int x = full1; x < row.x1; ++x) partials_.push_back(coverage(shape.distance(x + 0.5, py)));
    rows_.push_back(row);
  }
}

int CoverageMask::coverageAt(int x, int y) const {
  auto it = std::lower_bound(rows_.begin(), rows_.end(), y, [](const Row& r, int v) { return r.y < v; });
  if (it == rows_.end() || it->y != y || x < it->x0 || x >= it->x1) return 0;
  if (x >= it->full0 && x < it->full1) return 255;
  const uint8_t* p = partials_.data() + it->partial;
  if (x < it->full0) return p[x - it->x0];
  return p[(it->full0 - it->x0) + (x - it->full1)];
}

}  // namespace tk
