#include <gtest/gtest.h>

#include "editor/LegacyZoomConversion.h"

namespace tk {
namespace {

ZoomEvent event(double timestamp, double level = 2.0, double duration = 0.5, QPointF position = {0.25, 0.8}) {
  ZoomEvent value;
  value.timestamp = timestamp;
  value.level = level;
  value.duration = duration;
  value.position = position;
  value.easing = EasingFunction::easeOut;
  return value;
}

ZoomKeyframe keyframe(double time, double level = 2.0) {
  ZoomKeyframe value;
  value.time = time;
  value.level = level;
  value.easeIn = 0.3;
  value.easeOut = 0.7;
  return value;
}

std::vector<std::pair<double, double>> spans(const std::vector<ZoomSegment>& segments) {
  std::vector<std::pair<double, double>> result;
  for (const auto& segment : segments) result.emplace_back(segment.startTime, segment.endTime);
  return result;
}

using Spans = std::vector<std::pair<double, double>>;

// Times computed as t - 1.5 and the like are compared to a nanosecond.
void expectSpans(const std::vector<ZoomSegment>& segments, const Spans& expected) {
  const Spans actual = spans(segments);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].first, expected[i].first, 1e-9) << i;
    EXPECT_NEAR(actual[i].second, expected[i].second, 1e-9) << i;
  }
}

TEST(LegacyZoomConversionTest, SpansNeverOverlapAndEachEndsBeforeTheNextItemsOwnSpan) {
  expectSpans(zoomSegmentsFromEvents({event(1.0), event(2.0)}, 10), Spans{{0, 0.5}, {0.5, 3.5}});
  // The first would be 0.4 s long: it yields nothing, the second starts at its own place.
  expectSpans(zoomSegmentsFromEvents({event(1.0), event(1.9)}, 10), Spans{{0.4, 3.4}});
  // Near the end: cut at the movie's duration.
  const auto last = zoomSegmentsFromEvents({event(9.8)}, 10);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_NEAR(last[0].startTime, 8.3, 1e-9);
  EXPECT_EQ(last[0].endTime, 10.0);
  // Unsorted input is taken in time order.
  expectSpans(zoomSegmentsFromKeyframes({keyframe(6), keyframe(2)}, 10), Spans{{0.5, 3.5}, {4.5, 7.5}});
  EXPECT_TRUE(zoomSegmentsFromEvents({}, 10).empty());
}

TEST(LegacyZoomConversionTest, LevelsAndEasesAreClampedAndTheRestIsFixed) {
  const auto fromEvents = zoomSegmentsFromEvents({event(3, 5.0, 3.0), event(8, 0.5, 0.01)}, 10);
  ASSERT_EQ(fromEvents.size(), 2u);
  EXPECT_EQ(fromEvents[0].zoomLevel, 3.0);
  EXPECT_EQ(fromEvents[0].easeIn, 2.0);
  EXPECT_EQ(fromEvents[0].easeOut, 2.0);
  EXPECT_EQ(fromEvents[1].zoomLevel, 1.0);
  EXPECT_EQ(fromEvents[1].easeIn, 0.05);
  EXPECT_EQ(fromEvents[0].easing, EasingFunction::easeOut);
  EXPECT_EQ(fromEvents[0].panSmoothing, 0.75);
  EXPECT_EQ(fromEvents[0].deadZone, 0.06);
  EXPECT_NE(fromEvents[0].id, fromEvents[1].id);

  const auto fromKeyframes = zoomSegmentsFromKeyframes({keyframe(3)}, 10);
  ASSERT_EQ(fromKeyframes.size(), 1u);
  EXPECT_EQ(fromKeyframes[0].easeIn, 0.3);
  EXPECT_EQ(fromKeyframes[0].easeOut, 0.7);
}

TEST(LegacyZoomConversionTest, EventsBecomeKeyframesWithYFlippedThenSegments) {
  RecordingMetadata metadata;
  metadata.duration = 10;
  metadata.zoomEvents = {event(1.0, 2.0, 0.5, {0.25, 0.8}), event(2.0, 1.5, 0.4, {0.6, 0.1})};
  const RecordingMetadata converted = convertLegacyZoom(metadata);
  ASSERT_EQ(converted.zoomKeyframes.size(), 2u);
  EXPECT_EQ(converted.zoomKeyframes[0].time, 1.0);
  EXPECT_DOUBLE_EQ(converted.zoomKeyframes[0].center.x(), 0.25);
  EXPECT_DOUBLE_EQ(converted.zoomKeyframes[0].center.y(), 0.2);
  EXPECT_DOUBLE_EQ(converted.zoomKeyframes[1].center.y(), 0.9);
  EXPECT_EQ(converted.zoomKeyframes[1].easeIn, 0.4);
  EXPECT_EQ(converted.zoomKeyframes[1].easeOut, 0.4);
  expectSpans(converted.zoomSegments, Spans{{0, 0.5}, {0.5, 3.5}});
  EXPECT_EQ(converted.zoomEvents.size(), 2u);
}

TEST(LegacyZoomConversionTest, StoredDataWinsAndEventsAreTheLastResort) {
  RecordingMetadata stored;
  stored.duration = 10;
  ZoomSegment kept;
  kept.startTime = 7;
  kept.endTime = 9;
  ZoomSegment earlier;
  earlier.startTime = 1;
  earlier.endTime = 2;
  stored.zoomSegments = {kept, earlier};
  stored.zoomEvents = {event(4)};
  const RecordingMetadata untouched = convertLegacyZoom(stored);
  EXPECT_EQ(untouched.zoomSegments, stored.zoomSegments);  // not even sorted
  EXPECT_EQ(untouched.zoomKeyframes.size(), 1u);

  // Keyframes take precedence over events.
  RecordingMetadata both;
  both.duration = 10;
  both.zoomKeyframes = {keyframe(6)};
  both.zoomEvents = {event(2)};
  expectSpans(convertLegacyZoom(both).zoomSegments, Spans{{4.5, 7.5}});

  // Keyframes that leave no room (a 0.3 s movie) fall back to the events, which leave none either.
  RecordingMetadata tiny;
  tiny.duration = 0.3;
  tiny.zoomKeyframes = {keyframe(0.1)};
  tiny.zoomEvents = {event(0.1)};
  EXPECT_TRUE(convertLegacyZoom(tiny).zoomSegments.empty());
}

}  // namespace
}  // namespace tk
