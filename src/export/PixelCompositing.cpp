#include "export/PixelCompositing.h"

#include <algorithm>
#include <cmath>

#include "export/CoverageMask.h"

namespace tk::PixelCompositing {
namespace {

// Linear blend of two pixels, w from 0 (a) to 256 (b), all four channels at once.
inline uint32_t lerp(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t rb = (((a & 0x00ff00ffu) * iw + (b & 0x00ff00ffu) * w) >> 8) & 0x00ff00ffu;
  const uint32_t ag = (((a >> 8) & 0x00ff00ffu) * iw + ((b >> 8) & 0x00ff00ffu) * w) & 0xff00ff00u;
  return rb | ag;
}

// a + (b − a)·w/256 byte by byte: written on bytes with 16-bit products so that it vectorises
// with plain SSE2.
__attribute__((target_clones("avx2", "default"))) void blendRows(uint8_t* __restrict out,
                                                                 const uint8_t* __restrict a,
                                                                 const uint8_t* __restrict b, int count,
                                                                 uint32_t w) {
  const auto wb = static_cast<uint16_t>(w), wa = static_cast<uint16_t>(256 - w);
  for (int i = 0; i < count; ++i)
    out[i] = static_cast<uint8_t>((static_cast<uint16_t>(a[i] * wa) + static_cast<uint16_t>(b[i] * wb)) >> 8);
}

struct Tap {
  int i0, i1;
  uint32_t w;
};

// Source column (or row) and weight for each destination pixel centre.
inline Tap tap(double dstCenter, double origin, double k, int size) {
  double u = (dstCenter - origin) / k - 0.5;
  if (!(u > 0)) u = 0;
  const double last = size - 1;
  if (u > last) u = last;
  const int i0 = static_cast<int>(u);
  const int i1 = std::min(i0 + 1, size - 1);
  return {i0, i1, static_cast<uint32_t>((u - i0) * 256 + 0.5)};
}

void boxPass(float* plane, int width, int height, int radius, bool horizontal, std::vector<float>& scratch) {
  if (radius <= 0) return;
  const float norm = 1.0f / static_cast<float>(2 * radius + 1);
  if (horizontal) {
    scratch.resize(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
      float* row = plane + static_cast<size_t>(y) * width;
      std::copy(row, row + width, scratch.begin());
      float sum = 0;
      for (int x = 0; x < std::min(radius, width); ++x) sum += scratch[x];
      for (int x = 0; x < width; ++x) {
        if (x + radius < width) sum += scratch[x + radius];
        if (x - radius - 1 >= 0) sum -= scratch[x - radius - 1];
        row[x] = sum * norm;
      }
    }
    return;
  }
  // Down the columns a row at a time, in place, keeping a running sum per column and, in a ring, the
  // last rows as they were before being overwritten (the sum still has to take them off).
  const auto w = static_cast<size_t>(width);
  const int ringRows = radius + 1;
  scratch.resize(w * static_cast<size_t>(ringRows + 1));
  float* sum = scratch.data() + w * ringRows;
  std::fill(sum, sum + width, 0.0f);
  for (int y = 0; y < std::min(radius, height); ++y) {
    const float* in = plane + static_cast<size_t>(y) * w;
    for (int x = 0; x < width; ++x) sum[x] += in[x];
  }
  for (int y = 0; y < height; ++y) {
    if (y + radius < height) {
      const float* add = plane + static_cast<size_t>(y + radius) * w;
      for (int x = 0; x < width; ++x) sum[x] += add[x];
    }
    float* kept = scratch.data() + static_cast<size_t>(y % ringRows) * w;
    if (y - radius - 1 >= 0)  // the row that leaves the window lies in the slot row y takes next
      for (int x = 0; x < width; ++x) sum[x] -= kept[x];
    float* out = plane + static_cast<size_t>(y) * w;
    std::copy(out, out + width, kept);
    for (int x = 0; x < width; ++x) out[x] = sum[x] * norm;
  }
}

}  // namespace

// Twice as wide where the processor has AVX2 (picked once, at load): the per-frame resample of the
// screen is the compositor's largest cost.
__attribute__((target_clones("avx2", "default"))) void drawImage(PixelBuffer& dst, const PixelBuffer& source,
                                                                 const Placement& p,
                                                                 const CoverageMask& mask) {
  if (mask.isEmpty() || !(p.scaleX > 0) || !(p.scaleY > 0)) return;
  const int sw = source.width(), sh = source.height();
  // Separable: each source row is resampled across once into a small ring of two rows, then each
  // output row is a blend of two such rows with one weight, a loop the compiler vectorises.
  thread_local std::vector<Tap> columns;
  thread_local std::vector<uint32_t> ring;
  int minX = dst.width(), maxX = 0;
  for (const auto& row : mask.rows()) {
    minX = std::min(minX, row.x0);
    maxX = std::max(maxX, row.x1);
  }
  if (minX >= maxX) return;
  const int span = maxX - minX;
  columns.resize(static_cast<size_t>(span));
  for (int x = minX; x < maxX; ++x) columns[x - minX] = tap(x + 0.5, p.originX, p.scaleX, sw);
  ring.resize(static_cast<size_t>(span) * 2);
  uint32_t* rowBuffers[2] = {ring.data(), ring.data() + span};
  int slotRow[2] = {-1, -1};
  bool slotOpaque[2] = {false, false};
  auto across = [&](int sourceRow, int slot) {
    const auto* in = reinterpret_cast<const uint32_t*>(source.row(sourceRow));
    uint32_t* out = rowBuffers[slot];
    uint32_t alpha = 0xff000000u;
    for (int i = 0; i < span; ++i) {
      const Tap& c = columns[i];
      out[i] = lerp(in[c.i0], in[c.i1], c.w);
      alpha &= out[i];
    }
    slotRow[slot] = sourceRow;
    slotOpaque[slot] = alpha == 0xff000000u;
  };
  // The slot holding `sourceRow`, filling one (never `keep`) when neither does.
  auto slotFor = [&](int sourceRow, int keep) {
    if (slotRow[0] == sourceRow) return 0;
    if (slotRow[1] == sourceRow) return 1;
    const int slot = keep == 0 ? 1 : 0;
    across(sourceRow, slot);
    return slot;
  };
  const uint8_t* partials = mask.partials();

  for (const auto& row : mask.rows()) {
    const Tap ty = tap(row.y + 0.5, p.originY, p.scaleY, sh);
    const int a = slotFor(ty.i0, -1);
    const int b = slotFor(ty.i1, a);
    const uint32_t* top = rowBuffers[a] - minX;
    const uint32_t* bottom = rowBuffers[b] - minX;
    const uint32_t w = ty.w;
    auto* out = reinterpret_cast<uint32_t*>(dst.row(row.y));
    const uint8_t* cov = partials + row.partial;
    for (int x = row.x0; x < row.full0; ++x) out[x] = over(scale(lerp(top[x], bottom[x], w), *cov++), out[x]);
    if (slotOpaque[a] && slotOpaque[b]) {
      blendRows(reinterpret_cast<uint8_t*>(out + row.full0),
                reinterpret_cast<const uint8_t*>(top + row.full0),
                reinterpret_cast<const uint8_t*>(bottom + row.full0), (row.full1 - row.full0) * 4, w);
    } else {
      for (int x = row.full0; x < row.full1; ++x) out[x] = over(lerp(top[x], bottom[x], w), out[x]);
    }
    for (int x = row.full1; x < row.x1; ++x) out[x] = over(scale(lerp(top[x], bottom[x], w), *cov++), out[x]);
  }
}

void drawSprite(PixelBuffer& dst, const uint32_t* sprite, int width, int height, int x, int y) {
  const int xa = std::max(x, 0), xb = std::min(x + width, dst.width());
  const int ya = std::max(y, 0), yb = std::min(y + height, dst.height());
  for (int row = ya; row < yb; ++row) {
    const uint32_t* in = sprite + static_cast<size_t>(row - y) * width - x;
    auto* out = reinterpret_cast<uint32_t*>(dst.row(row));
    for (int col = xa; col < xb; ++col)
      if (in[col]) out[col] = over(in[col], out[col]);
  }
}

void darken(PixelBuffer& dst, const uint8_t* plane, int width, int height, int stride, int x, int y) {
  const int xa = std::max(x, 0), xb = std::min(x + width, dst.width());
  const int ya = std::max(y, 0), yb = std::min(y + height, dst.height());
  for (int row = ya; row < yb; ++row) {
    const uint8_t* in = plane + static_cast<size_t>(row - y) * stride - x;
    auto* out = reinterpret_cast<uint32_t*>(dst.row(row));
    for (int col = xa; col < xb; ++col)
      if (in[col]) out[col] = scale(out[col], 255 - in[col]);
  }
}

void gaussianBlur(float* plane, int width, int height, double sigma, std::vector<float>& scratch) {
  if (!(sigma > 0.2) || width <= 0 || height <= 0) return;
  // Three box passes whose sizes add up to the Gaussian's variance.
  constexpr int n = 3;
  const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
  int wl = static_cast<int>(std::floor(ideal));
  if (wl % 2 == 0) --wl;
  const int wu = wl + 2;
  const double mIdeal = (12 * sigma * sigma - n * wl * wl - 4.0 * n * wl - 3.0 * n) / (-4.0 * wl - 4);
  const int m = static_cast<int>(std::lround(mIdeal));
  for (int i = 0; i < n; ++i) {
    const int radius = ((i < m ? wl : wu) - 1) / 2;
    boxPass(plane, width, height, radius, true, scratch);
    boxPass(plane, width, height, radius, false, scratch);
  }
}

}  // namespace tk::PixelCompositing
