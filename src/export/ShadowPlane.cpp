#include "export/ShadowPlane.h"

#include <algorithm>
#include <cmath>

#include "export/CoverageMask.h"
#include "export/PixelCompositing.h"

namespace tk {
namespace {

// Writes a mask's coverage × `weight` into a float plane whose top-left pixel is (x0, y0).
void addCoverage(const CoverageMask& mask, float weight, float* plane, int x0, int y0, int width) {
  mask.forEachCovered([&](int x, int y, uint8_t c) {
    plane[static_cast<size_t>(y - y0) * width + (x - x0)] = weight * static_cast<float>(c) / 255.0f;
  });
}

}  // namespace

void ShadowPlane::clear() {
  width_ = height_ = 0;
  plane_.clear();
}

void ShadowPlane::allocate(const QRectF& bounds, int W, int H) {
  const QRectF box = bounds.intersected(QRectF(0, 0, W, H));
  x0_ = static_cast<int>(std::floor(box.left()));
  y0_ = static_cast<int>(std::floor(box.top()));
  width_ = box.isEmpty() ? 0 : static_cast<int>(std::ceil(box.right())) - x0_;
  height_ = box.isEmpty() ? 0 : static_cast<int>(std::ceil(box.bottom())) - y0_;
  work_.assign(static_cast<size_t>(std::max(width_, 0)) * std::max(height_, 0), 0.0f);
}

bool ShadowPlane::blurShape(const QRectF& rect, double radius, double offsetY, double blur, float weight,
                            int W, int H) {
  const double sigma = std::max(blur, 0.0) / 2;
  const QRectF moved = rect.translated(0, offsetY);
  const double margin = std::ceil(3 * sigma) + 2;
  allocate(moved.adjusted(-margin, -margin, margin, margin), W, H);
  if (isEmpty()) return false;
  shape_.build(moved, radius, QRectF(x0_, y0_, width_, height_), W, H);
  addCoverage(shape_, weight, work_.data(), x0_, y0_, width_);
  PixelCompositing::gaussianBlur(work_.data(), width_, height_, sigma, scratch_);
  return true;
}

void ShadowPlane::store() {
  // Bordered with zeros, one row above and two below, one column each side: the zoomed draw samples a
  // pixel and its right and lower neighbours, from one pixel before the plane to its last, with no
  // bounds test and no copy.
  const size_t stride = static_cast<size_t>(width_) + 2;
  plane_.assign(stride * (static_cast<size_t>(height_) + 3), 0);
  for (int r = 0; r < height_; ++r)
    for (int c = 0; c < width_; ++c)
      plane_[(r + 1) * stride + c + 1] = static_cast<uint8_t>(
          std::clamp(work_[static_cast<size_t>(r) * width_ + c], 0.0f, 1.0f) * 255 + 0.5f);
  // A plane is built once per layout: its float work (four bytes a pixel, twice) goes at once.
  std::vector<float>().swap(work_);
  std::vector<float>().swap(scratch_);
}

void ShadowPlane::buildScreenShadow(const QRectF& rect, double radius, double offsetY, double blur,
                                    double opacity, int W, int H) {
  clear();
  if (!(opacity > 0) || rect.isEmpty()) return;
  if (!blurShape(rect, radius, offsetY, blur, static_cast<float>(std::min(opacity, 1.0)), W, H)) return;
  // Cut the rectangle itself out.
  shape_.build(rect, radius, QRectF(x0_, y0_, width_, height_), W, H);
  shape_.forEachCovered([&](int x, int y, uint8_t c) {
    work_[static_cast<size_t>(y - y0_) * width_ + (x - x0_)] *= 1.0f - static_cast<float>(c) / 255.0f;
  });
  store();
}

void ShadowPlane::buildCameraShadow(const QRectF& rect, double radius, double offsetY, double blur,
                                    double opacity, int W, int H) {
  clear();
  if (!(opacity > 0) || rect.isEmpty()) return;
  opacity = std::min(opacity, 1.0);
  // The fill casts its own shadow (its opacity times the shadow's), and lies over it.
  if (!blurShape(rect, radius, offsetY, blur, static_cast<float>(opacity * opacity), W, H)) return;
  shape_.forEachCovered([&](int x, int y, uint8_t c) {
    float& out = work_[static_cast<size_t>(y - y0_) * width_ + (x - x0_)];
    const float fill = static_cast<float>(opacity) * static_cast<float>(c) / 255.0f;
    out = fill + out * (1 - fill);
  });
  store();
}

void ShadowPlane::drawOver(PixelBuffer& frame, const CoverageMask* opaqueOnTop) const {
  if (isEmpty()) return;
  const int stride = width_ + 2;
  if (!opaqueOnTop) return PixelCompositing::darken(frame, row(0), width_, height_, stride, x0_, y0_);
  // Row by row, around each row's fully covered run.
  const auto& rows = opaqueOnTop->rows();
  auto next = rows.begin();
  for (int r = 0; r < height_; ++r) {
    const int y = y0_ + r;
    const uint8_t* row = this->row(r);
    while (next != rows.end() && next->y < y) ++next;
    if (next == rows.end() || next->y != y) {
      PixelCompositing::darken(frame, row, width_, 1, stride, x0_, y);
      continue;
    }
    const int skip0 = std::clamp(next->full0, x0_, x0_ + width_);
    const int skip1 = std::clamp(next->full1, skip0, x0_ + width_);
    PixelCompositing::darken(frame, row, skip0 - x0_, 1, stride, x0_, y);
    PixelCompositing::darken(frame, row + (skip1 - x0_), x0_ + width_ - skip1, 1, stride, skip1, y);
  }
}

void ShadowPlane::drawZoomedOver(PixelBuffer& frame, double L, double ox, double oy,
                                 const CoverageMask* opaqueOnTop) const {
  if (isEmpty() || !(L > 0)) return;
  const int ya = std::max(0, static_cast<int>(std::floor(oy + L * y0_)));
  const int yb = std::min(frame.height(), static_cast<int>(std::ceil(oy + L * (y0_ + height_))));
  const int xa = std::max(0, static_cast<int>(std::floor(ox + L * x0_)));
  const int xb = std::min(frame.width(), static_cast<int>(std::ceil(ox + L * (x0_ + width_))));
  if (xa >= xb) return;
  // Every row samples the same columns: their plane column (-1 before the plane) and weight, once.
  struct Column {
    int c0;
    uint32_t fx;  // 0..256
  };
  thread_local std::vector<Column> columns;
  columns.resize(static_cast<size_t>(xb - xa));
  for (int x = xa; x < xb; ++x) {
    const double u = (x + 0.5 - ox) / L - 0.5 - x0_;
    const int c0 = static_cast<int>(std::floor(u));
    columns[x - xa] = {c0, static_cast<uint32_t>((u - c0) * 256 + 0.5)};
  }
  const auto* rows = opaqueOnTop ? &opaqueOnTop->rows() : nullptr;
  size_t next = 0;
  for (int y = ya; y < yb; ++y) {
    const double v = (y + 0.5 - oy) / L - 0.5 - y0_;
    if (v < -1 || v > height_) continue;
    const int r0 = static_cast<int>(std::floor(v));
    const auto fy = static_cast<uint32_t>((v - r0) * 256 + 0.5);
    const uint8_t* p0 = row(r0);  // r0 from -1 to height_: within the border
    const uint8_t* p1 = row(r0 + 1);
    int skip0 = xb, skip1 = xb;
    if (rows) {
      while (next < rows->size() && (*rows)[next].y < y) ++next;
      if (next < rows->size() && (*rows)[next].y == y) {
        skip0 = std::clamp((*rows)[next].full0, xa, xb);
        skip1 = std::clamp((*rows)[next].full1, skip0, xb);
      }
    }
    auto* out = reinterpret_cast<uint32_t*>(frame.row(y));
    const auto span = [&](int from, int to) {
      for (int x = from; x < to; ++x) {
        const Column& c = columns[x - xa];
        if (c.c0 < -1 || c.c0 >= width_) continue;
        const uint32_t a00 = p0[c.c0], a01 = p0[c.c0 + 1], a10 = p1[c.c0], a11 = p1[c.c0 + 1];
        if ((a00 | a01 | a10 | a11) == 0) continue;
        const uint32_t top = a00 * (256 - c.fx) + a01 * c.fx;
        const uint32_t bottom = a10 * (256 - c.fx) + a11 * c.fx;
        const uint32_t a = std::min((top * (256 - fy) + bottom * fy + (1u << 15)) >> 16, 255u);
        if (a) out[x] = PixelCompositing::scale(out[x], 255 - a);
      }
    };
    span(xa, skip0);
    span(skip1, xb);
  }
}

}  // namespace tk
