#include "platform/ffmpeg/Bt709Converter.h"

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

}  // namespace

// Vectorised at every build type, twice as wide where the processor has AVX2 (picked once, at load):
// this loop is the writer's per-frame cost.
__attribute__((optimize("O3"), target_clones("avx2", "default"))) void convertBgraToYuv420Bt709(
    const uint8_t* bgra, int bgraStride, int width, int height, uint8_t* y, int yStride, uint8_t* u,
    int uStride, uint8_t* v, int vStride) {
  for (int row = 0; row < height; row += 2) {
    const uint8_t* top = bgra + static_cast<std::ptrdiff_t>(row) * bgraStride;
    const uint8_t* bottom = top + bgraStride;
    uint8_t* yTop = y + static_cast<std::ptrdiff_t>(row) * yStride;
    uint8_t* yBottom = yTop + yStride;
    for (int x = 0; x < width; ++x) {
      yTop[x] = lumaOf(top + 4 * x);
      yBottom[x] = lumaOf(bottom + 4 * x);
    }
    uint8_t* uRow = u + static_cast<std::ptrdiff_t>(row / 2) * uStride;
    uint8_t* vRow = v + static_cast<std::ptrdiff_t>(row / 2) * vStride;
    for (int x = 0; x < width / 2; ++x) {
      const uint8_t* a = top + 8 * x;
      const uint8_t* b = bottom + 8 * x;
      const int32_t blue = a[0] + a[4] + b[0] + b[4];
      const int32_t green = a[1] + a[5] + b[1] + b[5];
      const int32_t red = a[2] + a[6] + b[2] + b[6];
      uRow[x] = static_cast<uint8_t>((kUR * red + kUG * green + kUB * blue + kCOffset) >> (kShift + 2));
      vRow[x] = static_cast<uint8_t>((kVR * red + kVG * green + kVB * blue + kCOffset) >> (kShift + 2));
    }
  }
}

}  // namespace tk
