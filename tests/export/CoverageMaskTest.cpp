#include "export/CoverageMask.h"

#include <gtest/gtest.h>

#include <limits>

namespace tk {
namespace {

const QRectF kCanvas(0, 0, 100, 100);

TEST(CoverageMaskTest, RoundedRectangleCoversItsInsideAndFadesAtTheOutline) {
  CoverageMask mask;
  mask.build(QRectF(10, 20, 60, 40), 10, kCanvas, 100, 100);
  EXPECT_EQ(mask.coverageAt(40, 40), 255);
  EXPECT_EQ(mask.coverageAt(10, 40), 255);  // straight edge on a pixel boundary
  EXPECT_EQ(mask.coverageAt(9, 40), 0);
  EXPECT_EQ(mask.coverageAt(10, 20), 0);    // the corner is cut
  EXPECT_EQ(mask.coverageAt(20, 20), 255);  // where the curve has met the top edge
  EXPECT_EQ(mask.coverageAt(69, 59), 0);
  const int edge = mask.coverageAt(12, 23);  // on the curve
  EXPECT_GT(edge, 0);
  EXPECT_LT(edge, 255);
  // A half-pixel edge is half covered.
  mask.build(QRectF(10.5, 10, 20, 20), 0, kCanvas, 100, 100);
  EXPECT_NEAR(mask.coverageAt(10, 15), 128, 1);
}

TEST(CoverageMaskTest, RadiusIsHeldToHalfTheShorterSideAndBadInputGivesNothing) {
  CoverageMask huge, circle;
  huge.build(QRectF(0, 0, 40, 40), 1e9, kCanvas, 100, 100);
  circle.build(QRectF(0, 0, 40, 40), 20, kCanvas, 100, 100);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(huge.coverageAt(x, y), circle.coverageAt(x, y)) << x << "," << y;
  EXPECT_EQ(circle.coverageAt(1, 1), 0);
  EXPECT_EQ(circle.coverageAt(20, 1), 255);
  CoverageMask bad;
  bad.build(QRectF(std::numeric_limits<double>::quiet_NaN(), 0, 10, 10), 2, kCanvas, 100, 100);
  EXPECT_TRUE(bad.isEmpty());
  bad.build(QRectF(0, 0, -5, 10), 2, kCanvas, 100, 100);
  EXPECT_TRUE(bad.isEmpty());
}

TEST(CoverageMaskTest, ClippedToTheCropAndTheCanvas) {
  CoverageMask mask;
  mask.build(QRectF(-20, 90, 200, 40), 0, QRectF(0, 0, 50, 100), 100, 100);
  EXPECT_EQ(mask.coverageAt(0, 95), 255);
  EXPECT_EQ(mask.coverageAt(49, 95), 255);
  EXPECT_EQ(mask.coverageAt(50, 95), 0);
  for (const auto& row : mask.rows()) {
    EXPECT_GE(row.x0, 0);
    EXPECT_LE(row.x1, 50);
    EXPECT_LT(row.y, 100);
  }
}

}  // namespace
}  // namespace tk
