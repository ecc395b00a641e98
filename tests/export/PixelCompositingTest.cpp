#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "export/PixelCompositing.h"

namespace tk {
namespace {

// The blur works in place, down the columns with a ring of the rows it has overwritten: a point
// must spread evenly both ways and keep its weight, whatever the radius against the plane's height.
TEST(PixelCompositingTest, GaussianBlurSpreadsAPointEvenlyAndKeepsItsWeight) {
  std::vector<float> scratch;
  for (double sigma : {1.5, 6.0}) {
    const int width = 61, height = 41, cx = 30, cy = 20;
    std::vector<float> plane(static_cast<size_t>(width) * height, 0.0f);
    plane[static_cast<size_t>(cy) * width + cx] = 1.0f;
    PixelCompositing::gaussianBlur(plane.data(), width, height, sigma, scratch);
    const auto at = [&](int x, int y) { return plane[static_cast<size_t>(y) * width + x]; };
    EXPECT_NEAR(std::accumulate(plane.begin(), plane.end(), 0.0), 1.0, 1e-3) << sigma;
    for (int d = 1; d <= 8; ++d) {
      EXPECT_NEAR(at(cx - d, cy), at(cx + d, cy), 1e-6) << sigma << " across, " << d;
      EXPECT_NEAR(at(cx, cy - d), at(cx, cy + d), 1e-6) << sigma << " down, " << d;
      EXPECT_NEAR(at(cx, cy + d), at(cx + d, cy), 1e-6) << sigma << " both ways alike, " << d;
      EXPECT_LE(at(cx, cy + d), at(cx, cy + d - 1) + 1e-6) << sigma;
    }
    // About the Gaussian's own share at the centre.
    EXPECT_NEAR(at(cx, cy), 1 / (2 * M_PI * sigma * sigma), 0.25 / (2 * M_PI * sigma * sigma)) << sigma;
  }
  // A plane shorter than the blur's reach: every value stays a share of the whole.
  std::vector<float> flat(40 * 3, 1.0f);
  PixelCompositing::gaussianBlur(flat.data(), 40, 3, 8.0, scratch);
  for (float v : flat) {
    EXPECT_TRUE(std::isfinite(v));
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 1.0f + 1e-5f);
  }
}

}  // namespace
}  // namespace tk
