#include "export/CursorOverlayRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tk {
namespace {

CursorPosition sample(double t, double x, double y) {
  return {newRecordId(), t, {x, y}};
}
CursorClick click(double t) {
  return {newRecordId(), t, {0.5, 0.5}, ClickType::leftClick};
}

CursorOverlaySettings raw() {
  CursorOverlaySettings s = CursorOverlaySettings::defaultSettings();
  s.smoothing = 0;
  s.scale = 1;
  return s;
}

TEST(CursorOverlayRendererTest, WithoutSamplesTheCursorIsHiddenWhateverTheClicks) {
  CursorOverlayRenderer r(CursorOverlaySettings::defaultSettings(), {}, {click(1)});
  const CursorState s = r.cursorState(1.1);
  EXPECT_FALSE(s.isVisible);
  EXPECT_EQ(s.position, QPointF(0, 0));
  EXPECT_EQ(s.scale, 1.0);
  EXPECT_EQ(s.velocity, QPointF(0, 0));
  EXPECT_EQ(s.motionBlur, 0);
}

TEST(CursorOverlayRendererTest, PositionsInterpolateClampAtTheEndsAndSortOnConstruction) {
  CursorOverlayRenderer r(raw(), {sample(2, 0.6, 0.2), sample(1, 0.2, 0.8), sample(2.00005, 0.9, 0.9)}, {});
  EXPECT_EQ(r.cursorState(0).position, QPointF(0.2, 0.8));
  EXPECT_EQ(r.cursorState(9).position, QPointF(0.9, 0.9));
  const QPointF mid = r.cursorState(1.25).position;
  EXPECT_NEAR(mid.x(), 0.3, 1e-12);
  EXPECT_NEAR(mid.y(), 0.65, 1e-12);
  // Neighbours 0.0001 s apart or closer: the earlier one.
  EXPECT_EQ(CursorOverlayRenderer::interpolatedPosition(r.cursorPositions(), 2.00002), QPointF(0.6, 0.2));
  // Beyond one end both velocity probes clamp to the same sample: no speed.
  EXPECT_EQ(r.velocity(20), QPointF(0, 0));
  const QPointF v = r.velocity(1.5);
  EXPECT_NEAR(v.x(), 0.4, 1e-9);
  EXPECT_NEAR(v.y(), -0.6, 1e-9);
}

TEST(CursorOverlayRendererTest, SamplesWithoutAFiniteTimeAreDropped) {
  CursorOverlayRenderer r(raw(),
                          {sample(std::numeric_limits<double>::quiet_NaN(), 0.1, 0.1), sample(1, 0.4, 0.4)},
                          {click(std::numeric_limits<double>::infinity())});
  ASSERT_EQ(r.cursorPositions().size(), 1u);
  EXPECT_TRUE(r.clickEvents().empty());
  EXPECT_EQ(r.cursorState(0).position, QPointF(0.4, 0.4));
}

TEST(CursorOverlayRendererTest, OutsideTheFrameIsInvisible) {
  CursorOverlayRenderer r(raw(), {sample(0, 1.2, 0.5), sample(1, 0.5, 0.5)}, {});
  EXPECT_FALSE(r.cursorState(0).isVisible);
  EXPECT_TRUE(r.cursorState(1).isVisible);
}

TEST(CursorOverlayRendererTest, SmoothingAveragesAForwardAndABackwardPass) {
  CursorOverlaySettings s = raw();
  s.smoothing = 1;
  s.animationSpeed = CursorAnimationSpeed::quick;  // half-life 0.06 s
  const std::vector<CursorPosition> in{sample(0, 0, 0), sample(0.06, 1, 0), sample(0.12, 1, 0)};
  CursorOverlayRenderer r(s, in, {});
  const auto out = r.buildSmoothedPositions(in);
  // forward: 0, 0.5, 0.75; backward: 0.5, 1, 1 (each step moves half-way).
  EXPECT_NEAR(out[0].position.x(), 0.25, 1e-12);
  EXPECT_NEAR(out[1].position.x(), 0.75, 1e-12);
  EXPECT_NEAR(out[2].position.x(), 0.875, 1e-12);
  EXPECT_EQ(out[1].id, in[1].id);
  EXPECT_NEAR(r.cursorState(0.06).position.x(), 0.75, 1e-12);
  // A single sample comes back unchanged.
  EXPECT_EQ(r.buildSmoothedPositions({in[1]})[0].position, QPointF(1, 0));
}

TEST(CursorOverlayRendererTest, AClickAheadTightensTheSmoothing) {
  CursorOverlaySettings s = raw();
  s.smoothing = 1;
  const std::vector<CursorPosition> in{sample(0, 0, 0), sample(0.06, 1, 0), sample(0.12, 1, 0)};
  CursorOverlayRenderer plain(s, in, {});
  CursorOverlayRenderer clicked(s, in, {click(0.07), click(0.07)});
  // Sample 1 has a click 0.01 s ahead: k = 0.9, so its half-life shrinks and it follows harder.
  EXPECT_GT(clicked.buildSmoothedPositions(in)[1].position.x(),
            plain.buildSmoothedPositions(in)[1].position.x());
}

TEST(CursorOverlayRendererTest, ClickScalePressesAndReleasesOverHalfASecond) {
  CursorOverlaySettings s = raw();
  s.scale = 2;
  CursorOverlayRenderer r(s, {sample(0, 0.5, 0.5)}, {click(1), click(3)});
  EXPECT_EQ(r.clickScale(0.5), 1.0);
  EXPECT_EQ(r.clickScale(1), 1.0);
  EXPECT_NEAR(r.clickScale(1.15), 0.75, 1e-12);
  EXPECT_NEAR(r.clickScale(1.05), 1 - 0.25 * ((1.0 / 3) * (2 - 1.0 / 3)), 1e-12);
  EXPECT_EQ(r.clickScale(1.5), 1.0);
  EXPECT_NEAR(r.cursorState(3.15).scale, 1.5, 1e-12);  // settings' scale multiplies
}

TEST(CursorOverlayRendererTest, MotionBlurRisesFromTheThresholdAndStaysBounded) {
  CursorOverlaySettings s = raw();
  s.motionBlurThreshold = 0.5;
  s.motionBlurIntensity = 0.25;
  CursorOverlayRenderer r(s, {}, {});
  EXPECT_EQ(r.motionBlurAmount({0.5, 0}), 0);
  EXPECT_NEAR(r.motionBlurAmount({0, 1.0}), 0.25 * 0.25, 1e-12);  // half-way up the ramp
  EXPECT_NEAR(r.motionBlurAmount({1.5, 0}), 0.25, 1e-12);
  EXPECT_NEAR(r.motionBlurAmount({30, 0}), 0.25, 1e-12);
  s.motionBlurEnabled = false;
  EXPECT_EQ(CursorOverlayRenderer(s, {}, {}).motionBlurAmount({30, 0}), 0);
  s.motionBlurEnabled = true;
  s.motionBlurThreshold = 0;
  EXPECT_NEAR(CursorOverlayRenderer(s, {}, {}).motionBlurAmount({0.01, 0}), 0.25, 1e-12);
  EXPECT_EQ(CursorOverlayRenderer(s, {}, {}).motionBlurAmount({0, 0}), 0);
  s.motionBlurThreshold = -0.3;
  for (double speed : {0.01, 0.1, 0.3, 5.0}) {
    const double blur = CursorOverlayRenderer(s, {}, {}).motionBlurAmount({speed, 0});
    EXPECT_GE(blur, 0);
    EXPECT_LE(blur, 0.25) << speed;
  }
}

}  // namespace
}  // namespace tk
