#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/ffmpeg/Bt709Converter.h"

namespace tk {
namespace {

// BT.709 in limited range from full-range R, G, B in 0..1.
struct Yuv {
  double y, u, v;
};
Yuv bt709(double r, double g, double b) {
  const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
  return {16 + 219 * y, 128 + 224 * (b - y) / 1.8556, 128 + 224 * (r - y) / 1.5748};
}

// The conversion runs sixteen pixels at a time where the processor allows and finishes a row one
// by one: every pixel of every width must land on its own luma sample, and each 2x2 block on its
// own chroma samples, within one step of the exact matrix.
TEST(Bt709ConverterTest, EveryPixelAndBlockGetsTheBt709ValuesWhateverTheRowWidth) {
  std::mt19937 random(7);
  for (const int width : {2, 14, 16, 18, 46, 64, 206}) {
    SCOPED_TRACE(width);
    const int height = 6, stride = width * 4 + 12;
    std::vector<uint8_t> bgra(static_cast<size_t>(stride) * height);
    for (auto& byte : bgra) byte = static_cast<uint8_t>(random());
    const int yStride = width + 3, cStride = width / 2 + 5;
    std::vector<uint8_t> y(static_cast<size_t>(yStride) * height),
        u(static_cast<size_t>(cStride) * height / 2), v(u.size());
    convertBgraToYuv420Bt709(bgra.data(), stride, width, height, y.data(), yStride, u.data(), cStride,
                             v.data(), cStride);
    const auto channel = [&](int x, int row, int c) {
      return bgra[static_cast<size_t>(row) * stride + 4 * x + c] / 255.0;
    };
    int wrong = 0;
    for (int row = 0; row < height; ++row)
      for (int x = 0; x < width; ++x) {
        const Yuv expected = bt709(channel(x, row, 2), channel(x, row, 1), channel(x, row, 0));
        const int got = y[static_cast<size_t>(row) * yStride + x];
        if (std::abs(got - expected.y) > 1 && ++wrong <= 3)
          ADD_FAILURE() << "Y at (" << x << ", " << row << "): " << got << ", expected " << expected.y;
      }
    for (int row = 0; row < height / 2; ++row)
      for (int x = 0; x < width / 2; ++x) {
        double r = 0, g = 0, b = 0;
        for (int dy = 0; dy < 2; ++dy)
          for (int dx = 0; dx < 2; ++dx) {
            r += channel(2 * x + dx, 2 * row + dy, 2) / 4;
            g += channel(2 * x + dx, 2 * row + dy, 1) / 4;
            b += channel(2 * x + dx, 2 * row + dy, 0) / 4;
          }
        const Yuv expected = bt709(r, g, b);
        const int gotU = u[static_cast<size_t>(row) * cStride + x],
                  gotV = v[static_cast<size_t>(row) * cStride + x];
        if ((std::abs(gotU - expected.u) > 1 || std::abs(gotV - expected.v) > 1) && ++wrong <= 3)
          ADD_FAILURE() << "chroma at (" << x << ", " << row << "): " << gotU << ", " << gotV << ", expected "
                        << expected.u << ", " << expected.v;
      }
  }
}

}  // namespace
}  // namespace tk
