#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "export/CoverageMask.h"
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

// Premultiplied pixels that differ in every channel from column to column and row to row, with the
// alpha `alpha` (255: opaque).
std::shared_ptr<PixelBuffer> patterned(int width, int height, uint32_t alpha = 255) {
  auto image = PixelBuffer::create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const auto channel = [&](uint32_t v) { return (v % 256) * alpha / 255; };
      image->setPixel(x, y,
                      alpha << 24 | channel(x * 37 + y * 11) << 16 | channel(x * 5 + y * 73) << 8 |
                          channel(x * 151 + y * 29 + 7));
    }
  return image;
}

int differingPixels(const PixelBuffer& a, const PixelBuffer& b) {
  int count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
  return count;
}

// Bilinear sampling as drawImage documents it: source position (dst + 0.5 - origin) / k - 0.5,
// clamped to the picture, weights in 256ths, each channel rounded down.
uint32_t sampled(const PixelBuffer& source, const PixelCompositing::Placement& p, int x, int y) {
  const auto position = [](double centre, double origin, double k, int size, int& i0, int& i1) {
    const double u = std::clamp((centre - origin) / k - 0.5, 0.0, size - 1.0);
    i0 = static_cast<int>(u);
    i1 = std::min(i0 + 1, size - 1);
    return static_cast<uint32_t>((u - i0) * 256 + 0.5);
  };
  int x0, x1, y0, y1;
  const uint32_t wx = position(x + 0.5, p.originX, p.scaleX, source.width(), x0, x1);
  const uint32_t wy = position(y + 0.5, p.originY, p.scaleY, source.height(), y0, y1);
  const auto mix = [](uint32_t a, uint32_t b, uint32_t w) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8)
      result |= ((((a >> shift) & 255) * (256 - w) + ((b >> shift) & 255) * w) >> 8) << shift;
    return result;
  };
  return mix(mix(source.pixel(x0, y0), source.pixel(x1, y0), wx),
             mix(source.pixel(x0, y1), source.pixel(x1, y1), wx), wy);
}

// The resample picks each row's source pixels out of a short window when they lie close together
// and looks them up one by one when they do not: at every scale, at both ends of a row and on rows
// whose width is no multiple of the window, each pixel must be the plain bilinear sample.
TEST(PixelCompositingTest, ResampleIsPlainBilinearSamplingAtEveryScaleAndAtTheRowEnds) {
  const auto source = patterned(203, 61);
  for (const double k : {0.31, 0.5, 0.62, 0.778, 1.0, 1.37, 2.0, 3.3}) {
    for (const double originX : {0.0, -17.25, 5.5}) {
      const int width = 181, height = 47;
      auto canvas = PixelBuffer::create(width, height);
      canvas->fill(0xff000000u);
      CoverageMask whole;
      whole.build(QRectF(0, 0, width, height), 0, QRectF(0, 0, width, height), width, height);
      const PixelCompositing::Placement placement{originX, 3.25, k, k * 0.9};
      PixelCompositing::drawImage(*canvas, *source, placement, whole);
      int wrong = 0;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          if (canvas->pixel(x, y) != sampled(*source, placement, x, y) && ++wrong <= 3)
            ADD_FAILURE() << "scale " << k << ", origin " << originX << ": pixel (" << x << ", " << y
                          << ") is " << std::hex << canvas->pixel(x, y) << ", sampled "
                          << sampled(*source, placement, x, y);
    }
  }
}

// The compositor copies its backdrop only around the screen and lets drawImage fill the runs the
// screen covers fully: the frame must be the one a full copy then a draw gives, for an opaque and
// for a see-through picture, with rounded corners and an outline cut by the canvas's edges.
TEST(PixelCompositingTest, BackdropLeftUnderTheScreenIsFilledWhereTheScreenLetsItThrough) {
  const int width = 97, height = 61;
  const auto backdrop = patterned(width, height);
  for (const uint32_t alpha : {255u, 128u}) {
    const auto screen = patterned(64, 40, alpha);
    for (const QRectF rect : {QRectF(10.5, 7.25, 71.3, 43.9), QRectF(-9.5, 30.5, 83, 44)}) {
      CoverageMask mask;
      mask.build(rect, 9.5, QRectF(0, 0, width, height), width, height);
      const PixelCompositing::Placement placement{rect.x(), rect.y(), rect.width() / 64, rect.height() / 40};
      auto expected = PixelBuffer::create(width, height);
      expected->copyFrom(*backdrop);
      PixelCompositing::drawImage(*expected, *screen, placement, mask);
      auto fused = PixelBuffer::create(width, height);
      fused->fill(0xff00ff00u);  // whatever the frame held before
      PixelCompositing::copyAround(*fused, *backdrop, mask);
      PixelCompositing::drawImage(*fused, *screen, placement, mask, backdrop.get());
      EXPECT_EQ(differingPixels(*fused, *expected), 0) << "alpha " << alpha << ", rect x " << rect.x();
      // A picture that cannot be drawn leaves the backdrop whole.
      PixelCompositing::copyAround(*fused, *backdrop, mask);
      PixelCompositing::drawImage(*fused, *screen, {rect.x(), rect.y(), 0, 0}, mask, backdrop.get());
      EXPECT_EQ(differingPixels(*fused, *backdrop), 0) << "undrawable picture, rect x " << rect.x();
    }
  }
}

}  // namespace
}  // namespace tk
