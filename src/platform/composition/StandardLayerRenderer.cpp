#include "platform/composition/StandardLayerRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tk {

void StandardLayerRenderer::draw(PixelBuffer& canvas, const PixelBuffer& source, const AffineTransform& t) {
  if (t.b == 0 && t.c == 0 && t.a > 0 && t.d > 0)
    drawScaled(canvas, source, t);
  else
    drawGeneral(canvas, source, t);
}

void StandardLayerRenderer::drawScaled(PixelBuffer& canvas, const PixelBuffer& source,
                                       const AffineTransform& t) {
  const int W = canvas.width(), H = canvas.height(), sw = source.width(), sh = source.height();
  // The canvas pixels whose centres fall on the transformed source.
  const int x0 = std::clamp(static_cast<int>(std::ceil(t.tx - 0.5)), 0, W);
  const int x1 = std::clamp(static_cast<int>(std::ceil(t.tx + sw * t.a - 0.5)), 0, W);
  const int y0 = std::clamp(static_cast<int>(std::ceil(t.ty - 0.5)), 0, H);
  const int y1 = std::clamp(static_cast<int>(std::ceil(t.ty + sh * t.d - 0.5)), 0, H);
  if (x0 >= x1 || y0 >= y1) return;

  if (t.a == 1 && t.d == 1 && t.tx == std::floor(t.tx) && t.ty == std::floor(t.ty)) {
    const int dx = static_cast<int>(t.tx), dy = static_cast<int>(t.ty);
    for (int y = y0; y < y1; ++y)
      std::memcpy(canvas.row(y) + x0 * 4, source.row(y - dy) + (x0 - dx) * 4,
                  static_cast<size_t>(x1 - x0) * 4);
    return;
  }

  // Horizontal taps once per frame: left source column and the weight of the right one (of 256).
  x0_.resize(static_cast<size_t>(W));
  wx_.resize(static_cast<size_t>(W));
  for (int x = x0; x < x1; ++x) {
    const double u = std::clamp((x + 0.5 - t.tx) / t.a - 0.5, 0.0, sw - 1.0);
    const int left = std::min(static_cast<int>(u), sw - 1);
    x0_[x] = left;
    wx_[x] = left + 1 < sw ? static_cast<uint16_t>(std::lround((u - left) * 256)) : 0;
  }
  for (int y = y0; y < y1; ++y) {
    const double v = std::clamp((y + 0.5 - t.ty) / t.d - 0.5, 0.0, sh - 1.0);
    const int top = std::min(static_cast<int>(v), sh - 1);
    const int bottom = std::min(top + 1, sh - 1);
    const uint32_t wy = static_cast<uint32_t>(std::lround((v - top) * 256));
    const uint8_t* r0 = source.row(top);
    const uint8_t* r1 = source.row(bottom);
    uint8_t* out = canvas.row(y);
    for (int x = x0; x < x1; ++x) {
      const int l = x0_[x] * 4, r = std::min(x0_[x] + 1, sw - 1) * 4;
      const uint32_t w = wx_[x];
      for (int c = 0; c < 4; ++c) {
        const uint32_t top2 = r0[l + c] * (256 - w) + r0[r + c] * w;
        const uint32_t bot2 = r1[l + c] * (256 - w) + r1[r + c] * w;
        out[x * 4 + c] = static_cast<uint8_t>((top2 * (256 - wy) + bot2 * wy + 32768) >> 16);
      }
    }
  }
}

void StandardLayerRenderer::drawGeneral(PixelBuffer& canvas, const PixelBuffer& source,
                                        const AffineTransform& t) {
  const double det = t.a * t.d - t.b * t.c;
  if (det == 0 || !std::isfinite(det)) return;
  // Inverse of x' = a·x + c·y + tx, y' = b·x + d·y + ty.
  const double ia = t.d / det, ic = -t.c / det, ib = -t.b / det, id = t.a / det;
  const int W = canvas.width(), H = canvas.height(), sw = source.width(), sh = source.height();
  for (int y = 0; y < H; ++y) {
    auto* out = reinterpret_cast<uint32_t*>(canvas.row(y));
    for (int x = 0; x < W; ++x) {
      const double px = x + 0.5 - t.tx, py = y + 0.5 - t.ty;
      const double u = ia * px + ic * py, v = ib * px + id * py;
      if (u < 0 || v < 0 || u >= sw || v >= sh) continue;
      out[x] = reinterpret_cast<const uint32_t*>(source.row(static_cast<int>(v)))[static_cast<int>(u)];
    }
  }
}

}  // namespace tk
