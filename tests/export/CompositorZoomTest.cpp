#include "export/CompositorZoom.h"

#include <gtest/gtest.h>

#include <cmath>

#include "CompositorTestSupport.h"

namespace tk {
namespace {

using namespace CompositorZoom;

CursorPosition sample(double t, double x, double y) {
  return {newRecordId(), t, {x, y}};
}

TEST(CompositorZoomTest, SegmentRampsInHoldsAndRampsOutOnTheQuinticCurve) {
  RoundedCameraCompositorSettings s;
  s.zoomSegments = {test::zoomSegment(2, 4, 2, 0.8)};
  EXPECT_NEAR(zoomState(s, 1.2).level, 1, 1e-12);
  EXPECT_NEAR(zoomState(s, 1.6).level, 1.5, 1e-12);
  EXPECT_EQ(zoomState(s, 2).level, 2);
  EXPECT_EQ(zoomState(s, 4).level, 2);
  EXPECT_NEAR(zoomState(s, 4.4).level, 1.5, 1e-12);
  EXPECT_NEAR(zoomState(s, 4.8).level, 1, 1e-12);
  EXPECT_EQ(zoomState(s, 4.81), ZoomState{});
  // A start earlier than the ease-in ramps from 0 and jumps at the start; no ease-in jumps cleanly.
  s.zoomSegments = {test::zoomSegment(0.3, 1, 3, 0.8)};
  EXPECT_NEAR(zoomState(s, 0.2999).level, 1 + ZoomGeometry::easeInOutQuint(0.2999 / 0.8) * 2, 1e-12);
  EXPECT_EQ(zoomState(s, 0.3).level, 3);
  s.zoomSegments = {test::zoomSegment(1, 2, 2, 0)};
  EXPECT_EQ(zoomState(s, 0.9999).level, 1);
  EXPECT_EQ(zoomState(s, 1).level, 2);
  // Overlapping windows: the earlier segment in the list wins, ramp-out included.
  s.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5), test::zoomSegment(2.6, 3, 3, 0.5)};
  EXPECT_LT(zoomState(s, 2.3).level, 2);
  s.zoomSegments = {test::zoomSegment(1, 2, 2, 0.5)};
  EXPECT_EQ(zoomProgress(s, 1.5), s.cameraSettings.shrinkFactor);
  EXPECT_EQ(zoomProgress(s, 3), 1);
  EXPECT_NEAR(zoomProgress(s, 0.75), 1 + 0.5 * (s.cameraSettings.shrinkFactor - 1), 1e-12);
}

TEST(CompositorZoomTest, FocusFollowsTheCursorWithADeadZone) {
  RoundedCameraCompositorSettings s;
  auto seg = test::zoomSegment(0, 10, 2, 0.5);
  seg.panSmoothing = 0;
  s.zoomSegments = {seg};
  EXPECT_EQ(zoomState(s, 5), (ZoomState{2, 0.5, 0.5}));  // no samples: the centre
  s.cursorPositions = {sample(6, 0.3, 0.7), sample(8, 0.3, 0.7)};
  EXPECT_EQ(zoomState(s, 5), (ZoomState{2, 0.5, 0.5}));  // samples start later
  EXPECT_EQ(zoomState(s, 7), (ZoomState{2, 0.3, 0.7}));

  seg.panSmoothing = 1;
  seg.deadZone = 0.06;
  const std::vector<CursorPosition> small{sample(0, 0.5, 0.5), sample(10, 0.55, 0.5)};
  EXPECT_EQ(smoothedFocusPath(small, seg)[1].position.x(), 0.5);  // target stays, so the camera does
  // A move of 0.1 drags the target to 0.048 behind the cursor; after ten seconds the camera is there.
  const std::vector<CursorPosition> large{sample(0, 0.5, 0.5), sample(10, 0.6, 0.5)};
  EXPECT_NEAR(smoothedFocusPath(large, seg)[1].position.x(), 0.6 - 0.048, 1e-9);
}

TEST(CompositorZoomTest, CachedFollowPathsMatchThePerFrameComputation) {
  RoundedCameraCompositorSettings s;
  s.zoomSegments = {test::zoomSegment(1, 3, 2.5, 0.6), test::zoomSegment(5, 6, 1.8, 0.3)};
  s.zoomSegments.edit()[1].panSmoothing = 0;
  for (int i = 0; i < 400; ++i)
    s.cursorPositions.push_back(sample(i / 60.0, 0.5 + 0.4 * std::sin(i * 0.05), 0.3));
  const FollowPaths cached(std::make_shared<const RoundedCameraCompositorSettings>(s));
  for (double t = 0; t < 7; t += 0.037) EXPECT_EQ(cached.zoomState(t), zoomState(s, t)) << t;
}

TEST(CompositorZoomTest, ManyOverlappingSegmentsMatchTheWalkOverAllAndKeepFewPaths) {
  // Thousands of segments in no order, most overlapping their neighbours, some with odd ramps or a
  // time that is not a number, over a cursor that rests (no samples) in the middle of the movie.
  RoundedCameraCompositorSettings s;
  for (int i = 0; i < 3000; ++i) {
    const double start = std::fmod(i * 7.31, 60.0);
    ZoomSegment segment = test::zoomSegment(start, start + 0.05 + (i % 7) * 0.1, 1.5 + (i % 3), 0.25);
    segment.panSmoothing = (i % 4) * 0.3;
    if (i % 97 == 0) segment.easeIn = -0.3;
    if (i % 101 == 0) segment.easeOut = -1;
    if (i % 499 == 0) segment.startTime = std::nan("");
    s.zoomSegments.push_back(segment);
  }
  for (int i = 0; i < 3600; ++i)
    if (i < 1200 || i > 2400)
      s.cursorPositions.push_back(sample(i / 60.0, 0.5 + 0.4 * std::sin(i * 0.05), 0.4));
  const auto shared = std::make_shared<const RoundedCameraCompositorSettings>(s);
  const FollowPaths first(shared), second(shared);
  size_t mostPaths = 0;
  for (double t = -0.1; t < 61; t += 0.0173) {
    ASSERT_EQ(first.zoomState(t), zoomState(s, t)) << t;
    ASSERT_EQ(first.zoomProgress(t), zoomProgress(s, t)) << t;
    mostPaths = std::max(mostPaths, first.keptPaths());
  }
  // Paths are kept for the segments in use, not for all of them.
  EXPECT_LE(mostPaths, 64u + 20u);
  // A second renderer of the same settings agrees, also going back in time.
  for (double t = 60; t > 0; t -= 0.61) EXPECT_EQ(second.zoomState(t), zoomState(s, t)) << t;
}

TEST(CompositorZoomTest, FocusIsClampedSoTheViewStaysInsideTheFrame) {
  const QPointF c = clampedFocus({2, 0.02, 0.98});
  EXPECT_DOUBLE_EQ(c.x(), 0.25);
  EXPECT_DOUBLE_EQ(c.y(), 0.75);
  EXPECT_FALSE(isZoomed({1.0005, 0.5, 0.5}));
  EXPECT_EQ(mapPoint({1.0005, 0.1, 0.1}, {10, 20}, 100, 50), QPointF(10, 20));
  // Output space is y up: a focus near the top (small y from the top) maps the top of the frame
  // into view.
  const QPointF top = mapPoint({2, 0.5, 0.25}, {50, 37.5}, 100, 50);
  EXPECT_DOUBLE_EQ(top.x(), 50);
  EXPECT_DOUBLE_EQ(top.y(), 25);
}

}  // namespace
}  // namespace tk
