#include "export/PixelCompositing.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "export/CoverageMask.h"
#include "platform/media/ProcessorFeatures.h"

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

// The taps of a row's output columns, each field in its own array so that eight load at once. The
// weight sits in both halves of its word: one per 16-bit lane of a pixel split in two.
struct ColumnTaps {
  std::vector<int32_t> i0, i1;
  std::vector<uint32_t> w;
  int sourceWidth = 0;

  void resize(size_t n) {
    i0.resize(n);
    i1.resize(n);
    w.resize(n);
  }
  void set(size_t i, const Tap& t) {
    i0[i] = t.i0;
    i1[i] = t.i1;
    w[i] = t.w | t.w << 16;
  }
};

// One source row resampled across: out[i] = lerp(in[i0], in[i1], w) for each column. Returns the
// alpha bits every output pixel has (0xff000000 when the row is opaque).
uint32_t resampleAcrossPlain(const uint32_t* in, const ColumnTaps& c, uint32_t* out, int count) {
  uint32_t alpha = 0xff000000u;
  for (int i = 0; i < count; ++i) {
    out[i] = lerp(in[c.i0[i]], in[c.i1[i]], c.w[i] & 0x1ffu);
    alpha &= out[i];
  }
  return alpha;
}

#if defined(__x86_64__)
constexpr int kPrefetchBytes = 2048;

// The same with AVX2, eight columns at a time. Their source pixels are picked out of the sixteen that
// start at the first one's (two loads and a shuffle each way) whenever they lie among them, as they
// do unless the picture shrinks to less than half; else they are gathered. Each pixel's channels are
// weighed in 16-bit lanes (red and blue, then alpha and green), which gives the plain loop's result
// exactly.
__attribute__((target("avx2"))) uint32_t resampleAcrossAvx2(const uint32_t* in, const ColumnTaps& c,
                                                            uint32_t* out, int count) {
  const auto* base = reinterpret_cast<const int*>(in);
  const __m256i low = _mm256_set1_epi32(0x00ff00ff), high = _mm256_set1_epi32(static_cast<int>(0xff00ff00u));
  const __m256i whole = _mm256_set1_epi16(256), seven = _mm256_set1_epi32(7);
  __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xff000000u));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i i0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&c.i0[i]));
    const __m256i i1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&c.i1[i]));
    const int first = c.i0[i];
    // Source frames come from a decoder thread, out of every cache by the time they are drawn; the
    // processor's own prefetch falls behind a row read at this pace (a third of the resample's time).
    prefetchAhead(in + first, kPrefetchBytes);
    __m256i a, b;
    if (first + 16 <= c.sourceWidth && c.i1[i + 7] - first < 16) {
      const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + first));
      const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + first + 8));
      const __m256i from = _mm256_set1_epi32(first);
      const __m256i d0 = _mm256_sub_epi32(i0, from), d1 = _mm256_sub_epi32(i1, from);
      a = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, d0), _mm256_permutevar8x32_epi32(hi, d0),
                             _mm256_cmpgt_epi32(d0, seven));
      b = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, d1), _mm256_permutevar8x32_epi32(hi, d1),
                             _mm256_cmpgt_epi32(d1, seven));
    } else {
      a = _mm256_i32gather_epi32(base, i0, 4);
      b = _mm256_i32gather_epi32(base, i1, 4);
    }
    const __m256i wb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&c.w[i]));
    const __m256i wa = _mm256_sub_epi16(whole, wb);
    const __m256i rb = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(a, low), wa),
                                                          _mm256_mullo_epi16(_mm256_and_si256(b, low), wb)),
                                         8);
    const __m256i ag = _mm256_and_si256(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(a, 8), wa),
                                                         _mm256_mullo_epi16(_mm256_srli_epi16(b, 8), wb)),
                                        high);
    const __m256i pixels = _mm256_or_si256(rb, ag);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), pixels);
    alpha = _mm256_and_si256(alpha, pixels);
  }
  alpha = _mm256_and_si256(alpha, _mm256_permute2x128_si256(alpha, alpha, 1));
  alpha = _mm256_and_si256(alpha, _mm256_shuffle_epi32(alpha, 0x4e));
  alpha = _mm256_and_si256(alpha, _mm256_shuffle_epi32(alpha, 0xb1));
  uint32_t rest = static_cast<uint32_t>(_mm256_cvtsi256_si32(alpha)) | 0x00ffffffu;
  for (; i < count; ++i) {
    out[i] = lerp(in[c.i0[i]], in[c.i1[i]], c.w[i] & 0x1ffu);
    rest &= out[i];
  }
  return rest & 0xff000000u;
}
#endif

using ResampleAcross = uint32_t (*)(const uint32_t*, const ColumnTaps&, uint32_t*, int);
// Picked once: the per-frame resample of the screen is the compositor's largest cost, and its
// column lookups are what the compiler does not vectorise by itself.
ResampleAcross pickResampleAcross() {
#if defined(__x86_64__)
  if (hasAvx2()) return resampleAcrossAvx2;
#endif
  return resampleAcrossPlain;
}
const ResampleAcross resampleAcross = pickResampleAcross();

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

void copyAround(PixelBuffer& dst, const PixelBuffer& backdrop, const CoverageMask& mask) {
  const int width = std::min(dst.width(), backdrop.width()),
            height = std::min(dst.height(), backdrop.height());
  auto next = mask.rows().begin();
  const auto end = mask.rows().end();
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const uint32_t*>(backdrop.row(y));
    auto* out = reinterpret_cast<uint32_t*>(dst.row(y));
    while (next != end && next->y < y) ++next;
    if (next == end || next->y != y) {
      std::copy_n(in, width, out);
      continue;
    }
    const int full0 = std::clamp(next->full0, 0, width), full1 = std::clamp(next->full1, full0, width);
    std::copy(in, in + full0, out);
    std::copy(in + full1, in + width, out + full1);
  }
}

namespace {

// The backdrop under each fully covered run, for drawImage's callers that left those runs undrawn.
void fillFullRuns(PixelBuffer& dst, const PixelBuffer& backdrop, const CoverageMask& mask) {
  const int width = std::min(dst.width(), backdrop.width()),
            height = std::min(dst.height(), backdrop.height());
  for (const auto& row : mask.rows()) {
    if (row.y >= height) continue;
    const int full0 = std::clamp(row.full0, 0, width), full1 = std::clamp(row.full1, full0, width);
    const auto* in = reinterpret_cast<const uint32_t*>(backdrop.row(row.y));
    std::copy(in + full0, in + full1, reinterpret_cast<uint32_t*>(dst.row(row.y)) + full0);
  }
}

}  // namespace

// Twice as wide where the processor has AVX2 (picked once, at load): the per-frame resample of the
// screen is the compositor's largest cost.
__attribute__((target_clones("avx2", "default"))) void drawImage(PixelBuffer& dst, const PixelBuffer& source,
                                                                 const Placement& p, const CoverageMask& mask,
                                                                 const PixelBuffer* backdrop) {
  const int sw = source.width(), sh = source.height();
  if (mask.isEmpty() || !(p.scaleX > 0) || !(p.scaleY > 0) || sw <= 0 || sh <= 0) {
    if (backdrop) fillFullRuns(dst, *backdrop, mask);
    return;
  }
  // Separable: each source row is resampled across once into a small ring of two rows, then each
  // output row is a blend of two such rows with one weight, a loop the compiler vectorises.
  thread_local ColumnTaps columns;
  thread_local std::vector<uint32_t> ring;
  int minX = dst.width(), maxX = 0;
  for (const auto& row : mask.rows()) {
    minX = std::min(minX, row.x0);
    maxX = std::max(maxX, row.x1);
  }
  if (minX >= maxX) return;
  const int span = maxX - minX;
  columns.resize(static_cast<size_t>(span));
  columns.sourceWidth = sw;
  for (int x = minX; x < maxX; ++x) columns.set(x - minX, tap(x + 0.5, p.originX, p.scaleX, sw));
  ring.resize(static_cast<size_t>(span) * 2);
  uint32_t* rowBuffers[2] = {ring.data(), ring.data() + span};
  int slotRow[2] = {-1, -1};
  bool slotOpaque[2] = {false, false};
  auto across = [&](int sourceRow, int slot) {
    const auto* in = reinterpret_cast<const uint32_t*>(source.row(sourceRow));
    slotRow[slot] = sourceRow;
    slotOpaque[slot] = resampleAcross(in, columns, rowBuffers[slot], span) == 0xff000000u;
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
      // Opaque: the run is the image alone, whatever lay (or was left undrawn) under it.
      blendRows(reinterpret_cast<uint8_t*>(out + row.full0),
                reinterpret_cast<const uint8_t*>(top + row.full0),
                reinterpret_cast<const uint8_t*>(bottom + row.full0), (row.full1 - row.full0) * 4, w);
    } else {
      if (backdrop && row.y < backdrop->height()) {
        const auto* under = reinterpret_cast<const uint32_t*>(backdrop->row(row.y));
        std::copy(under + row.full0, under + std::max(std::min(row.full1, backdrop->width()), row.full0),
                  out + row.full0);
      }
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
