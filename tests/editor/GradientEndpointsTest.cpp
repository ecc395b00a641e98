#include "editor/GradientEndpoints.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

void expectNear(QPointF actual, QPointF expected) {
  EXPECT_NEAR(actual.x(), expected.x(), 1e-9) << "x";
  EXPECT_NEAR(actual.y(), expected.y(), 1e-9) << "y";
}

// y grows downwards in the rectangle, so "bottom" is the larger y.
TEST(GradientEndpointsTest, AnglesRunInTheSwatchDirectionOnTheInscribedEllipse) {
  const QSizeF size(200, 100);
  auto zero = GradientEndpoints::forAngle(0, size);
  expectNear(zero.start, {100, 100});  // bottom edge
  expectNear(zero.end, {100, 0});      // top edge
  auto ninety = GradientEndpoints::forAngle(90, size);
  expectNear(ninety.start, {0, 50});
  expectNear(ninety.end, {200, 50});
  auto down = GradientEndpoints::forAngle(180, size);
  expectNear(down.start, {100, 0});
  expectNear(down.end, {100, 100});
  // 45°: from the bottom left towards the top right, on the ellipse rather than in the corners.
  auto diagonal = GradientEndpoints::forAngle(45, size);
  EXPECT_LT(diagonal.start.x(), 100);
  EXPECT_GT(diagonal.start.y(), 50);
  EXPECT_GT(diagonal.end.x(), 100);
  EXPECT_LT(diagonal.end.y(), 50);
  EXPECT_GT(diagonal.start.x(), 0);
  EXPECT_LT(diagonal.start.y(), 100);
}

TEST(GradientEndpointsTest, AnAngleThatIsNotANumberGivesFiniteEndpoints) {
  auto e = GradientEndpoints::forAngle(std::numeric_limits<double>::quiet_NaN(), QSizeF(10, 10));
  EXPECT_TRUE(std::isfinite(e.start.x()) && std::isfinite(e.start.y()));
  EXPECT_TRUE(std::isfinite(e.end.x()) && std::isfinite(e.end.y()));
}

}  // namespace
}  // namespace tk
