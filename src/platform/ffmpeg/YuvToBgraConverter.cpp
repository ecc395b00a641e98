#include "platform/ffmpeg/YuvToBgraConverter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/media/ProcessorFeatures.h"

namespace tk {

namespace {

// Rounding of the final 1/64 steps, folded into each chroma term.
constexpr int kRound = 32;

struct Rows {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  uint8_t* out;
};

inline int mulhrs(int c, int weight) {
  return (c * weight + (1 << 14)) >> 15;
}

inline uint8_t clampStep(int value) {
  return static_cast<uint8_t>(std::clamp(value >> 6, 0, 255));
}

// One row from column `from` on. The same products as the vector loop, so both give the same bytes.
void convertRowPlain(const YuvToBgra& m, const Rows& row, int from, int width) {
  for (int x = from; x < width; ++x) {
    const int luma = (row.y[x] << 8) * m.lumaGain >> 16;
    const int u = (row.u[x / 2] - 128) << 8, v = (row.v[x / 2] - 128) << 8;
    const int base = luma - m.lumaOffset + kRound;
    uint8_t* p = row.out + 4 * static_cast<std::ptrdiff_t>(x);
    p[0] = clampStep(base + mulhrs(u, m.blueFromU));
    p[1] = clampStep(base + mulhrs(u, m.greenFromU) + mulhrs(v, m.greenFromV));
    p[2] = clampStep(base + mulhrs(v, m.redFromV));
    p[3] = 255;
  }
}

void convertRowPairPlain(const YuvToBgra& m, const Rows& top, const Rows* bottom, int width) {
  convertRowPlain(m, top, 0, width);
  if (bottom) convertRowPlain(m, *bottom, 0, width);
}

#if defined(__x86_64__)
// Sixteen chroma terms, each taken twice (one per pixel of its block): pixels 0-15 in `first`, 16-31
// in `second`.
struct Doubled {
  __m256i first, second;
};

__attribute__((target("avx2"))) inline Doubled doubled(__m256i terms) {
  // Unpacking works per 128-bit half: terms 0-3 | 8-11 and 4-7 | 12-15.
  const __m256i low = _mm256_unpacklo_epi16(terms, terms), high = _mm256_unpackhi_epi16(terms, terms);
  return {_mm256_permute2x128_si256(low, high, 0x20), _mm256_permute2x128_si256(low, high, 0x31)};
}

// Sixteen pixels from 16-bit luma terms and chroma terms (1/64 steps) into BGRA.
__attribute__((target("avx2"))) inline void storeSixteen(uint8_t* out, __m256i luma, __m256i blue,
                                                         __m256i green, __m256i red) {
  const __m256i b = _mm256_srai_epi16(_mm256_adds_epi16(luma, blue), 6);
  const __m256i g = _mm256_srai_epi16(_mm256_adds_epi16(luma, green), 6);
  const __m256i r = _mm256_srai_epi16(_mm256_adds_epi16(luma, red), 6);
  // Saturating to bytes clamps; packing pairs blue with green and red with opaque alpha, per half.
  const __m256i bg = _mm256_packus_epi16(b, g);  // b0-7 g0-7 | b8-15 g8-15
  const __m256i ra = _mm256_packus_epi16(r, _mm256_set1_epi16(255));
  const __m256i bgPairs = _mm256_unpacklo_epi8(bg, _mm256_srli_si256(bg, 8));  // b0 g0 b1 g1 ... | 8-15
  const __m256i raPairs = _mm256_unpacklo_epi8(ra, _mm256_srli_si256(ra, 8));
  const __m256i low = _mm256_unpacklo_epi16(bgPairs, raPairs);   // pixels 0-3 | 8-11
  const __m256i high = _mm256_unpackhi_epi16(bgPairs, raPairs);  // pixels 4-7 | 12-15
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(low, high, 0x31));
}

__attribute__((target("avx2"))) inline void convertThirtyTwo(const uint8_t* y, uint8_t* out, __m256i gain,
                                                             const Doubled& blue, const Doubled& green,
                                                             const Doubled& red) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
  const __m256i first = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes));
  const __m256i second = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1));
  storeSixteen(out, _mm256_mulhi_epu16(_mm256_slli_epi16(first, 8), gain), blue.first, green.first,
               red.first);
  storeSixteen(out + 64, _mm256_mulhi_epu16(_mm256_slli_epi16(second, 8), gain), blue.second, green.second,
               red.second);
}

// Thirty-two pixels of both rows per step; the plain loop takes the rest.
__attribute__((target("avx2"))) void convertRowPairAvx2(const YuvToBgra& m, const Rows& top,
                                                        const Rows* bottom, int width) {
  const __m256i gain = _mm256_set1_epi16(static_cast<int16_t>(m.lumaGain));
  const __m256i offset = _mm256_set1_epi16(static_cast<int16_t>(kRound - m.lumaOffset));
  const __m256i half = _mm256_set1_epi16(128);
  const __m256i redV = _mm256_set1_epi16(m.redFromV), greenU = _mm256_set1_epi16(m.greenFromU),
                greenV = _mm256_set1_epi16(m.greenFromV), blueU = _mm256_set1_epi16(m.blueFromU);
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    const __m256i u = _mm256_slli_epi16(
        _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top.u + x / 2))), half),
        8);
    const __m256i v = _mm256_slli_epi16(
        _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top.v + x / 2))), half),
        8);
    const Doubled blue = doubled(_mm256_add_epi16(_mm256_mulhrs_epi16(u, blueU), offset));
    const Doubled green = doubled(_mm256_add_epi16(
        _mm256_add_epi16(_mm256_mulhrs_epi16(u, greenU), _mm256_mulhrs_epi16(v, greenV)), offset));
    const Doubled red = doubled(_mm256_add_epi16(_mm256_mulhrs_epi16(v, redV), offset));
    convertThirtyTwo(top.y + x, top.out + 4 * static_cast<std::ptrdiff_t>(x), gain, blue, green, red);
    if (bottom)
      convertThirtyTwo(bottom->y + x, bottom->out + 4 * static_cast<std::ptrdiff_t>(x), gain, blue, green,
                       red);
  }
  convertRowPlain(m, top, x, width);
  if (bottom) convertRowPlain(m, *bottom, x, width);
}
#endif

using ConvertRowPair = void (*)(const YuvToBgra&, const Rows&, const Rows*, int);

// Picked once: this conversion is every decoded frame's cost.
#if defined(__x86_64__)
const ConvertRowPair convertRowPair = hasAvx2() ? convertRowPairAvx2 : convertRowPairPlain;
#else
const ConvertRowPair convertRowPair = convertRowPairPlain;
#endif

int16_t fixed(double value, double scale) {
  return static_cast<int16_t>(std::lround(value * scale));
}

}  // namespace

YuvToBgra::YuvToBgra(Matrix matrix, bool fullRange) {
  const double kr = matrix == Matrix::bt709 ? 0.2126 : 0.299;
  const double kb = matrix == Matrix::bt709 ? 0.0722 : 0.114;
  const double kg = 1 - kr - kb;
  const double lumaScale = fullRange ? 1.0 : 255.0 / 219;
  const double chromaScale = (fullRange ? 1.0 : 255.0 / 224) * 8192;
  lumaGain = static_cast<uint16_t>(std::lround(lumaScale * 16384));
  // The offset as the luma product of 16 itself, so black lands on zero exactly.
  lumaOffset = fullRange ? 0 : static_cast<int16_t>((16 << 8) * lumaGain >> 16);
  redFromV = fixed(2 * (1 - kr), chromaScale);
  blueFromU = fixed(2 * (1 - kb), chromaScale);
  greenFromU = fixed(-2 * kb * (1 - kb) / kg, chromaScale);
  greenFromV = fixed(-2 * kr * (1 - kr) / kg, chromaScale);
}

void YuvToBgra::convert(const uint8_t* y, int yStride, const uint8_t* u, int uStride, const uint8_t* v,
                        int vStride, int width, int height, uint8_t* bgra, int bgraStride) const {
  const auto at = [](auto* base, int stride, int row) {
    return base + static_cast<std::ptrdiff_t>(row) * stride;
  };
  for (int row = 0; row < height; row += 2) {
    const Rows top{at(y, yStride, row), at(u, uStride, row / 2), at(v, vStride, row / 2),
                   at(bgra, bgraStride, row)};
    const Rows bottom{at(y, yStride, row + 1), top.u, top.v, at(bgra, bgraStride, row + 1)};
    convertRowPair(*this, top, row + 1 < height ? &bottom : nullptr, width);
  }
}

}  // namespace tk
