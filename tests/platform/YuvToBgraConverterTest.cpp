#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/ffmpeg/YuvToBgraConverter.h"

namespace tk {
namespace {

struct Planes {
  int width, height, yStride, cStride;
  std::vector<uint8_t> y, u, v;

  Planes(int w, int h, std::mt19937& random)
      : width(w),
        height(h),
        yStride(w + 7),
        cStride((w + 1) / 2 + 3),
        y(static_cast<size_t>(yStride) * h),
        u(static_cast<size_t>(cStride) * ((h + 1) / 2)),
        v(u.size()) {
    for (auto* plane : {&y, &u, &v})
      for (auto& byte : *plane) byte = static_cast<uint8_t>(random());
  }
  uint8_t lumaAt(int x, int row) const { return y[static_cast<size_t>(row) * yStride + x]; }
  uint8_t uAt(int x, int row) const { return u[static_cast<size_t>(row / 2) * cStride + x / 2]; }
  uint8_t vAt(int x, int row) const { return v[static_cast<size_t>(row / 2) * cStride + x / 2]; }
};

// Straight from the definition: R and B from luma and their colour difference, G from the luma
// equation, each in 0..255.
void exactRgb(YuvToBgra::Matrix matrix, bool fullRange, int y, int u, int v, double rgb[3]) {
  const double kr = matrix == YuvToBgra::Matrix::bt709 ? 0.2126 : 0.299;
  const double kb = matrix == YuvToBgra::Matrix::bt709 ? 0.0722 : 0.114;
  const double luma = fullRange ? y / 255.0 : (y - 16) / 219.0;
  const double pb = (u - 128) / (fullRange ? 255.0 : 224.0), pr = (v - 128) / (fullRange ? 255.0 : 224.0);
  const double r = luma + 2 * (1 - kr) * pr, b = luma + 2 * (1 - kb) * pb;
  const double g = (luma - kr * r - kb * b) / (1 - kr - kb);
  rgb[0] = std::clamp(r * 255, 0.0, 255.0);
  rgb[1] = std::clamp(g * 255, 0.0, 255.0);
  rgb[2] = std::clamp(b * 255, 0.0, 255.0);
}

constexpr uint8_t kUntouched = 0xA5;

// Rows run thirty-two pixels at a time where the processor allows, two rows to one chroma row, and
// finish one pixel at a time: every width and height (odd ones included, where the last column or
// row has a block of its own) must give every pixel its own value within one step of the matrix,
// opaque, and leave the bytes past the row's end alone.
TEST(YuvToBgraConverterTest, EveryPixelOfEveryShapeGetsTheMatrixValueAndNothingPastTheRowIsWritten) {
  std::mt19937 random(11);
  for (const auto matrix : {YuvToBgra::Matrix::bt709, YuvToBgra::Matrix::bt601})
    for (const bool fullRange : {false, true}) {
      const YuvToBgra conversion(matrix, fullRange);
      for (const int width : {1, 2, 31, 32, 33, 62, 64, 65, 97, 130})
        for (const int height : {1, 2, 3, 6}) {
          SCOPED_TRACE(testing::Message() << (matrix == YuvToBgra::Matrix::bt709 ? "bt709" : "bt601")
                                          << (fullRange ? " full " : " limited ") << width << "x" << height);
          const Planes planes(width, height, random);
          const int stride = width * 4 + 20;
          std::vector<uint8_t> bgra(static_cast<size_t>(stride) * height, kUntouched);
          conversion.convert(planes.y.data(), planes.yStride, planes.u.data(), planes.cStride,
                             planes.v.data(), planes.cStride, width, height, bgra.data(), stride);
          int wrong = 0;
          for (int row = 0; row < height; ++row) {
            const uint8_t* line = bgra.data() + static_cast<size_t>(row) * stride;
            for (int x = 0; x < width; ++x) {
              double rgb[3];
              exactRgb(matrix, fullRange, planes.lumaAt(x, row), planes.uAt(x, row), planes.vAt(x, row), rgb);
              const uint8_t* p = line + 4 * x;
              if ((std::abs(p[2] - rgb[0]) > 1 || std::abs(p[1] - rgb[1]) > 1 ||
                   std::abs(p[0] - rgb[2]) > 1 || p[3] != 255) &&
                  ++wrong <= 3)
                ADD_FAILURE() << "(" << x << ", " << row << "): BGRA " << int(p[0]) << " " << int(p[1]) << " "
                              << int(p[2]) << " " << int(p[3]) << ", expected RGB " << rgb[0] << " " << rgb[1]
                              << " " << rgb[2];
            }
            for (int x = width * 4; x < stride; ++x)
              if (line[x] != kUntouched && ++wrong <= 3)
                ADD_FAILURE() << "row " << row << " written past its end";
          }
        }
    }
}

// Limited range puts black at 16 and white at 235 with neutral chroma; those must land on 0 and 255
// exactly in every lane of the vector loop and in the row's tail: a flat area off by one shows as a
// tint in the export.
TEST(YuvToBgraConverterTest, LimitedRangeBlackAndWhiteAreExact) {
  for (const auto matrix : {YuvToBgra::Matrix::bt709, YuvToBgra::Matrix::bt601}) {
    const YuvToBgra conversion(matrix, false);
    const int width = 70, height = 3;  // two vector steps, then a tail
    for (const uint8_t luma : {16, 235}) {
      std::vector<uint8_t> y(width * height, luma), chroma(width / 2 * 2, 128), bgra(width * 4 * height);
      conversion.convert(y.data(), width, chroma.data(), width / 2, chroma.data(), width / 2, width, height,
                         bgra.data(), width * 4);
      const uint8_t level = luma == 16 ? 0 : 255;
      for (size_t i = 0; i < bgra.size(); ++i)
        ASSERT_EQ(bgra[i], i % 4 == 3 ? 255 : level) << "luma " << int(luma) << ", byte " << i;
    }
  }
}

}  // namespace
}  // namespace tk
