#include "platform/ffmpeg/Bt709Converter.h"

#include <cstddef>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/media/ProcessorFeatures.h"

namespace tk {

namespace {

// Coefficients scaled by 2^16: Y = 16 + 219/255 (0.2126 R + 0.7152 G + 0.0722 B),
// Cb = 128 + 224/255 (B - Y) / 1.8556, Cr = 128 + 224/255 (R - Y) / 1.5748.
constexpr int32_t kShift = 16;
constexpr int32_t kYR = 11966, kYG = 40254, kYB = 4064;
constexpr int32_t kUR = -6596, kUG = -22189, kUB = 28784;
constexpr int32_t kVR = 28784, kVG = -26145, kVB = -2639;
constexpr int32_t kRound = 1 << (kShift - 1);
constexpr int32_t kYOffset = (16 << kShift) + kRound;
// Chroma sums four pixels: two more bits to shift, and the rounding scaled alike.
constexpr int32_t kCOffset = (128 << (kShift + 2)) + (1 << (kShift + 1));

inline uint8_t lumaOf(const uint8_t* p) {
  return static_cast<uint8_t>((kYR * p[2] + kYG * p[1] + kYB * p[0] + kYOffset) >> kShift);
}

// Two rows of pixels from column `from` on into their luma rows and one row of each chroma plane.
// Vectorised by the compiler at every build type.
__attribute__((optimize("O3"))) void convertRowPairPlain(const uint8_t* top, const uint8_t* bottom, int from,
                                                         int width, uint8_t* yTop, uint8_t* yBottom,
                                                         uint8_t* uRow, uint8_t* vRow) {
  for (int x = from; x < width; ++x) {
    yTop[x] = lumaOf(top + 4 * x);
    yBottom[x] = lumaOf(bottom + 4 * x);
  }
  for (int x = from / 2; x < width / 2; ++x) {
    const uint8_t* a = top + 8 * x;
    const uint8_t* b = bottom + 8 * x;
    const int32_t blue = a[0] + a[4] + b[0] + b[4];
    const int32_t green = a[1] + a[5] + b[1] + b[5];
    const int32_t red = a[2] + a[6] + b[2] + b[6];
    uRow[x] = static_cast<uint8_t>((kUR * red + kUG * green + kUB * blue + kCOffset) >> (kShift + 2));
    vRow[x] = static_cast<uint8_t>((kVR * red + kVG * green + kVB * blue + kCOffset) >> (kShift + 2));
  }
}

#if defined(__x86_64__)
// Luma of eight BGRA pixels as eight 32-bit words. The green coefficient does not fit a signed 16-bit
// multiplier, so green is taken twice at half of it: each pixel becomes the lanes (B, G, R, G), and
// one multiply-add of pairs then one add of neighbours give the plain loop's sum exactly.
__attribute__((target("avx2"))) inline __m256i lumaWords(__m256i pixels) {
  const __m256i first = _mm256_setr_epi8(0, -1, 1, -1, 2, -1, 1, -1, 4, -1, 5, -1, 6, -1, 5, -1, 0, -1, 1, -1,
                                         2, -1, 1, -1, 4, -1, 5, -1, 6, -1, 5, -1);
  const __m256i second = _mm256_setr_epi8(8, -1, 9, -1, 10, -1, 9, -1, 12, -1, 13, -1, 14, -1, 13, -1, 8, -1,
                                          9, -1, 10, -1, 9, -1, 12, -1, 13, -1, 14, -1, 13, -1);
  const __m256i weights = _mm256_setr_epi16(kYB, kYG / 2, kYR, kYG / 2, kYB, kYG / 2, kYR, kYG / 2, kYB,
                                            kYG / 2, kYR, kYG / 2, kYB, kYG / 2, kYR, kYG / 2);
  const __m256i sums = _mm256_hadd_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(pixels, first), weights),
                                         _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, second), weights));
  return _mm256_srli_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kYOffset)), kShift);
}

// Sixteen luma bytes, in order, from the words of pixels 0-7 and 8-15.
__attribute__((target("avx2"))) inline void storeLuma(uint8_t* out, __m256i a, __m256i b) {
  // Packing works per 128-bit half: the words come out as pixels 0-3, 8-11, 4-7, 12-15.
  const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xd8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
}

// The channel sums of the four 2x2 blocks of eight pixels of two rows, as (b, g, r, a) 16-bit lanes:
// blocks 0 and 1 in the low half, 2 and 3 in the high half.
__attribute__((target("avx2"))) inline __m256i blockSums(__m256i top, __m256i bottom) {
  const __m256i zero = _mm256_setzero_si256();
  // Per half: pixels 0 and 1 (then 4 and 5) in the low unpack, 2 and 3 (6 and 7) in the high one.
  const __m256i low = _mm256_add_epi16(_mm256_unpacklo_epi8(top, zero), _mm256_unpacklo_epi8(bottom, zero));
  const __m256i high = _mm256_add_epi16(_mm256_unpackhi_epi8(top, zero), _mm256_unpackhi_epi8(bottom, zero));
  return _mm256_unpacklo_epi64(_mm256_add_epi16(low, _mm256_srli_si256(low, 8)),
                               _mm256_add_epi16(high, _mm256_srli_si256(high, 8)));
}

// One chroma plane's eight values from the block sums of pixels 0-7 and 8-15, as 32-bit words in the
// order blocks 0, 1, 4, 5 | 2, 3, 6, 7.
__attribute__((target("avx2"))) inline __m256i chromaWords(__m256i a, __m256i b, __m256i weights) {
  const __m256i sums = _mm256_hadd_epi32(_mm256_madd_epi16(a, weights), _mm256_madd_epi16(b, weights));
  return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kCOffset)), kShift + 2);
}

__attribute__((target("avx2"))) inline __m256i eightPixels(const uint8_t* row, int at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 4 * at));
}

constexpr int kPrefetchBytes = 2048;

// Sixteen pixels of each row per step; the plain loop takes the rest.
__attribute__((target("avx2"))) void convertRowPairAvx2(const uint8_t* top, const uint8_t* bottom, int from,
                                                        int width, uint8_t* yTop, uint8_t* yBottom,
                                                        uint8_t* uRow, uint8_t* vRow) {
  const __m256i uWeights =
      _mm256_setr_epi16(kUB, kUG, kUR, 0, kUB, kUG, kUR, 0, kUB, kUG, kUR, 0, kUB, kUG, kUR, 0);
  const __m256i vWeights =
      _mm256_setr_epi16(kVB, kVG, kVR, 0, kVB, kVG, kVR, 0, kVB, kVG, kVR, 0, kVB, kVG, kVR, 0);
  // From blocks 0, 1, 4, 5, (V alike), 2, 3, 6, 7, (V alike) to U 0-7 then V 0-7.
  const __m128i order = _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
  int x = from;
  for (; x + 16 <= width; x += 16) {
    // The frame comes from a compositor on another core, long out of every cache, and two rows are
    // read at once a frame's width apart: the processor's own prefetch falls behind, and a hint half
    // a kilopixel ahead takes a third off the conversion's time.
    prefetchAhead(top + 4 * x, kPrefetchBytes);
    prefetchAhead(bottom + 4 * x, kPrefetchBytes);
    const __m256i t0 = eightPixels(top, x), t1 = eightPixels(top, x + 8);
    const __m256i b0 = eightPixels(bottom, x), b1 = eightPixels(bottom, x + 8);
    storeLuma(yTop + x, lumaWords(t0), lumaWords(t1));
    storeLuma(yBottom + x, lumaWords(b0), lumaWords(b1));
    const __m256i s0 = blockSums(t0, b0), s1 = blockSums(t1, b1);
    const __m256i words = _mm256_packs_epi32(chromaWords(s0, s1, uWeights), chromaWords(s0, s1, vWeights));
    const __m128i bytes = _mm_shuffle_epi8(
        _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)), order);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(uRow + x / 2), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(vRow + x / 2), _mm_srli_si128(bytes, 8));
  }
  convertRowPairPlain(top, bottom, x, width, yTop, yBottom, uRow, vRow);
}
#endif

using ConvertRowPair = void (*)(const uint8_t*, const uint8_t*, int, int, uint8_t*, uint8_t*, uint8_t*,
                                uint8_t*);

// Picked once: this conversion is the writer's per-frame cost.
ConvertRowPair pickConvertRowPair() {
#if defined(__x86_64__)
  if (hasAvx2()) return convertRowPairAvx2;
#endif
  return convertRowPairPlain;
}
const ConvertRowPair convertRowPair = pickConvertRowPair();

}  // namespace

void convertBgraToYuv420Bt709(const uint8_t* bgra, int bgraStride, int width, int height, uint8_t* y,
                              int yStride, uint8_t* u, int uStride, uint8_t* v, int vStride) {
  for (int row = 0; row < height; row += 2) {
    const uint8_t* top = bgra + static_cast<std::ptrdiff_t>(row) * bgraStride;
    uint8_t* yTop = y + static_cast<std::ptrdiff_t>(row) * yStride;
    convertRowPair(top, top + bgraStride, 0, width, yTop, yTop + yStride,
                   u + static_cast<std::ptrdiff_t>(row / 2) * uStride,
                   v + static_cast<std::ptrdiff_t>(row / 2) * vStride);
  }
}

}  // namespace tk
