#include "editor/ZoomGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tk {
namespace {

using namespace ZoomGeometry;

ZoomSegment segment(double start, double end, double level, double easeIn = 0.8, double easeOut = 0.8) {
  ZoomSegment s;
  s.startTime = start;
  s.endTime = end;
  s.zoomLevel = level;
  s.easeIn = easeIn;
  s.easeOut = easeOut;
  return s;
}

CursorPosition sample(double t, double x, double y) {
  return {newRecordId(), t, {x, y}};
}

ZoomKeyframe keyframe(double t, QPointF center, double level, double easeIn) {
  ZoomKeyframe k;
  k.time = t;
  k.center = center;
  k.level = level;
  k.easeIn = easeIn;
  return k;
}

TEST(ZoomGeometryTest, EasesFollowTheirCurves) {
  EXPECT_EQ(easeInOutQuint(-0.1), 0);
  EXPECT_NEAR(easeInOutQuint(0.25), 16 * std::pow(0.25, 5), 1e-12);
  EXPECT_NEAR(easeInOutQuint(0.375), 0.1187, 1e-4);
  EXPECT_NEAR(easeInOutQuint(0.75), 1 - std::pow(0.5, 5) / 2, 1e-12);
  EXPECT_EQ(easeInOutQuint(1.5), 1);
  EXPECT_NEAR(easeInOutCubic(0.25), 0.0625, 1e-12);
  EXPECT_NEAR(easeInOutCubic(0.75), 0.9375, 1e-12);
  EXPECT_EQ(easeInOutQuint(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(ZoomGeometryTest, TransformCentresTheClampedFocusAndKeepsThePictureCovering) {
  EXPECT_TRUE(zoomTransform(0.3, 0.3, 1.0005, 100, 50).isIdentity());
  EXPECT_FALSE(zoomTransform(0.5, 0.5, 1.002, 100, 50).isIdentity());
  // (0, 0) at level 2 is moved to (0.25, 0.25): the top-left corner stays at the origin.
  const auto corner = zoomTransform(0, 0, 2, 100, 50);
  EXPECT_NEAR(corner.map({0, 0}).x(), 0, 1e-9);
  EXPECT_NEAR(corner.map({0, 0}).y(), 0, 1e-9);
  // An asymmetric focus lands in the frame's middle.
  const auto t = zoomTransform(0.6, 0.4, 2, 100, 50);
  EXPECT_NEAR(t.map({60, 20}).x(), 50, 1e-9);
  EXPECT_NEAR(t.map({60, 20}).y(), 25, 1e-9);
}

TEST(ZoomGeometryTest, TransformOfADegenerateFrameOrBadNumbersIsSafe) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(zoomTransform(0.5, 0.5, 2, 0, 50).isIdentity());
  EXPECT_TRUE(zoomTransform(0.5, 0.5, 2, 100, 0).isIdentity());
  EXPECT_TRUE(zoomTransform(0.5, 0.5, nan, 100, 50).isIdentity());
  EXPECT_TRUE(zoomTransform(0.5, 0.5, std::numeric_limits<double>::infinity(), 100, 50).isIdentity());
  const auto t = zoomTransform(nan, nan, 2, 100, 50);  // a NaN centre counts as 0, then clamps
  EXPECT_EQ(t, zoomTransform(0.25, 0.25, 2, 100, 50));
}

TEST(ZoomGeometryTest, CursorPositionInterpolatesClampsAndSkipsTightGaps) {
  std::vector<CursorPosition> s{sample(1, 0.2, 0.4), sample(2, 0.4, 0.8), sample(2.0005, 0.9, 0.9)};
  EXPECT_EQ(cursorPosition({}, 1), std::nullopt);
  EXPECT_EQ(optionalCursorPosition(nullptr, 1), std::nullopt);
  EXPECT_EQ(*cursorPosition(s, 0), QPointF(0.2, 0.4));  // before the first: the first
  const QPointF mid = *cursorPosition(s, 1.5);
  EXPECT_NEAR(mid.x(), 0.3, 1e-12);
  EXPECT_NEAR(mid.y(), 0.6, 1e-12);
  EXPECT_EQ(*cursorPosition(s, 2.0002), QPointF(0.4, 0.8));  // under 1 ms apart: no interpolation
  std::vector<CursorPosition> outside{sample(0, -0.5, 1.5),
                                      sample(1, std::numeric_limits<double>::quiet_NaN(), 0.5)};
  EXPECT_EQ(*cursorPosition(outside, 0), QPointF(0, 1));
  EXPECT_EQ(cursorPosition(outside, 1)->x(), 0);
}

TEST(ZoomGeometryTest, SmoothingAndFollowPathLeaveShortListsAlone) {
  std::vector<CursorPosition> two{sample(0, 0, 0), sample(1, 1, 1)};
  EXPECT_EQ(smoothCursorPositions(two, 0.1)[1].position, QPointF(1, 1));
  std::vector<CursorPosition> three{sample(0, 0, 0), sample(0.1, 1, 0), sample(0.2, 1, 0)};
  const auto smoothed = smoothCursorPositions(three, 0.1);
  EXPECT_NEAR(smoothed[1].position.x(), 0.5, 1e-12);  // one half-life: half-way
  EXPECT_NEAR(smoothed[2].position.x(), 0.75, 1e-12);
  EXPECT_EQ(smoothed[2].id, three[2].id);
  auto seg = segment(0, 1, 2);
  seg.panSmoothing = 0;
  EXPECT_EQ(cursorFollowPath(three, seg)[1].position, QPointF(1, 0));
}

TEST(ZoomGeometryTest, FollowPathHoldsInsideTheDeadZoneAndLagsOutsideIt) {
  auto seg = segment(0, 5, 2);
  seg.panSmoothing = 0.5;  // no extra smoothing pass
  seg.deadZone = 0.06;
  std::vector<CursorPosition> still{sample(0, 0.5, 0.5), sample(0.1, 0.53, 0.5), sample(0.2, 0.53, 0.5)};
  EXPECT_EQ(cursorFollowPath(still, seg)[2].position, QPointF(0.5, 0.5));
  std::vector<CursorPosition> jump{sample(0, 0.5, 0.5), sample(0.1, 0.9, 0.5)};
  const double x = cursorFollowPath(jump, seg)[1].position.x();
  EXPECT_GT(x, 0.5);
  EXPECT_LT(x, 0.9);
  EXPECT_DOUBLE_EQ(cursorFollowPath(jump, seg)[1].position.y(), 0.5);
}

TEST(ZoomGeometryTest, SegmentStateRampsHoldsAndBlends) {
  const std::vector<ZoomSegment> one{segment(2, 4, 2)};
  EXPECT_EQ(zoomStateAtTime({}, nullptr, 3), ZoomState{});
  EXPECT_NEAR(zoomStateAtTime(one, nullptr, 1.2).level, 1, 1e-12);  // window start: weight 0
  EXPECT_NEAR(zoomStateAtTime(one, nullptr, 1.6).level, 1.5, 1e-12);
  EXPECT_EQ(zoomStateAtTime(one, nullptr, 3).level, 2);
  EXPECT_NEAR(zoomStateAtTime(one, nullptr, 4.4).level, 1.5, 1e-12);
  EXPECT_EQ(zoomStateAtTime(one, nullptr, 4.81), ZoomState{});
  // A start earlier than the ease-in ramps from 0 and jumps at the start.
  const std::vector<ZoomSegment> early{segment(0.3, 1, 3)};
  EXPECT_NEAR(zoomStateAtTime(early, nullptr, 0.2999).level, 1 + easeInOutQuint(0.2999 / 0.8) * 2, 1e-9);
  EXPECT_EQ(zoomStateAtTime(early, nullptr, 0.3).level, 3);
  // Ease-in 0: no ramp and no division by zero.
  const std::vector<ZoomSegment> sharp{segment(1, 2, 2, 0, 0)};
  EXPECT_EQ(zoomStateAtTime(sharp, nullptr, 0.999), ZoomState{});
  EXPECT_EQ(zoomStateAtTime(sharp, nullptr, 1).level, 2);
  EXPECT_EQ(zoomStateAtTime(sharp, nullptr, 2.0001), ZoomState{});
  // Two holds average; the list order does not matter.
  const std::vector<ZoomSegment> both{segment(1, 3, 3), segment(0.5, 3, 2)};
  EXPECT_NEAR(zoomStateAtTime(both, nullptr, 2).level, 2.5, 1e-12);
}

TEST(ZoomGeometryTest, SegmentIndexFindsTheSegmentsActingAtAnInstantAndNoOthers) {
  // Short segments in no order, one that spans the whole movie, odd ramps and times that are not
  // numbers or not finite: the long one must not hide the short ones behind it.
  std::vector<ZoomSegment> list{segment(0, 100, 2, 0, 0)};
  for (int i = 0; i < 2000; ++i) {
    const double start = std::fmod(i * 13.7, 100.0);
    list.push_back(segment(start, start + 0.02 * (i % 9), 2, 0.05 * (i % 5), 0.05 * (i % 4)));
    if (i % 50 == 0) list.back().easeIn = -0.2;
    if (i % 71 == 0) list.back().endTime = start - 0.1;
    if (i % 83 == 0) list.back().startTime = std::nan("");
    if (i % 89 == 0) list.back().endTime = std::numeric_limits<double>::infinity();
  }
  const ZoomSegmentIndex index(list);
  EXPECT_EQ(index.listSize(), list.size());
  const auto acts = [](const ZoomSegment& s, double t) {
    const double ramp = std::max(s.startTime - s.easeIn, 0.0);
    return (ramp <= t && t <= s.endTime + s.easeOut) || (s.startTime <= t && t <= s.endTime) ||
           (s.endTime < t && t <= s.endTime + s.easeOut);
  };
  const auto plain = [](const ZoomSegment& s) { return s.easeIn >= 0 && s.endTime >= s.startTime; };
  for (double t = -1; t < 102; t += 0.0131) {
    const std::vector<uint32_t> found = index.segmentsAt(t);
    ASSERT_TRUE(std::is_sorted(found.begin(), found.end()));
    for (size_t i = 0; i < list.size(); ++i) {
      const bool listed = std::binary_search(found.begin(), found.end(), static_cast<uint32_t>(i));
      if (acts(list[i], t)) {
        ASSERT_TRUE(listed) << "segment " << i << " at " << t;
      } else if (listed) {
        ASSERT_FALSE(plain(list[i])) << "segment " << i << " found at " << t;
      }
    }
  }
  EXPECT_TRUE(index.segmentsAt(std::nan("")).empty());
  EXPECT_TRUE(ZoomSegmentIndex(std::vector<ZoomSegment>{}).segmentsAt(1).empty());
}

TEST(ZoomGeometryTest, SegmentFocusFollowsTheCursorAndFallsBackToTheWholeList) {
  auto seg = segment(1, 3, 2, 0.5, 0.5);
  seg.panSmoothing = 0;
  const std::vector<CursorPosition> inside{sample(1, 0.2, 0.7), sample(2, 0.2, 0.7)};
  const auto held = zoomStateAtTime({seg}, &inside, 2);
  EXPECT_NEAR(held.centerX, 0.2, 1e-12);
  EXPECT_NEAR(held.centerY, 0.7, 1e-12);
  const std::vector<CursorPosition> outside{sample(10, 0.9, 0.1)};
  const auto fallback = zoomStateAtTime({seg}, &outside, 2);
  EXPECT_NEAR(fallback.centerX, 0.9, 1e-12);  // the first sample stands for earlier times
  EXPECT_NEAR(fallback.centerY, 0.1, 1e-12);
  const std::vector<CursorPosition> none;
  EXPECT_EQ(zoomStateAtTime({seg}, &none, 2).centerX, 0.5);
}

TEST(ZoomGeometryTest, KeyframesRampInHoldAndFollowTheCursorBetween) {
  const std::vector<ZoomKeyframe> k{keyframe(1, {0.2, 0.8}, 2, 0.5), keyframe(3, {0.6, 0.4}, 3, 0.5)};
  EXPECT_EQ(zoomStateFromKeyframes({}, nullptr, 1), ZoomState{});
  EXPECT_EQ(zoomStateFromKeyframes(k, nullptr, 0.4), ZoomState{});  // before the ramp
  const ZoomState atFirst = zoomStateFromKeyframes(k, nullptr, 1);
  EXPECT_EQ(atFirst.level, 2);
  EXPECT_NEAR(atFirst.centerX, 0.2, 1e-12);
  EXPECT_NEAR(atFirst.centerY, 0.8, 1e-12);
  const ZoomState half = zoomStateFromKeyframes(k, nullptr, 2);
  EXPECT_NEAR(half.level, 2.5, 1e-12);
  EXPECT_NEAR(half.centerX, 0.4, 1e-12);
  EXPECT_EQ(zoomStateFromKeyframes(k, nullptr, 5).level, 3);
  // Preview and export differ only in the curve between keyframes.
  EXPECT_NEAR(zoomStateFromKeyframes(k, nullptr, 1.5).level, 2 + easeInOutQuint(0.25), 1e-12);
  EXPECT_NEAR(zoomStateFromKeyframesForExport(k, nullptr, 1.5).level, 2 + easeInOutCubic(0.25), 1e-12);
  const std::vector<CursorPosition> cursor{sample(0, 0.9, 0.1), sample(4, 0.9, 0.1)};
  const ZoomState followed = zoomStateFromKeyframes(k, &cursor, 2);
  EXPECT_NEAR(followed.centerX, 0.9, 1e-12);
  EXPECT_NEAR(followed.level, 2.5, 1e-12);
  // A first keyframe with no ease-in reaches its level only after its own time.
  const std::vector<ZoomKeyframe> sharp{keyframe(1, {0.5, 0.5}, 2, 0)};
  EXPECT_EQ(zoomStateFromKeyframes(sharp, nullptr, 0.5).level, 1);
  // Keyframes at the same time divide by the floored gap, not by zero.
  const std::vector<ZoomKeyframe> same{keyframe(1, {0.5, 0.5}, 2, 0), keyframe(1, {0.5, 0.5}, 3, 0)};
  EXPECT_TRUE(std::isfinite(zoomStateFromKeyframes(same, nullptr, 1).level));
}

}  // namespace
}  // namespace tk
