#include "export/ExportZoomTransforms.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace tk {
namespace {

using namespace ExportZoomTransforms;

MediaTime frameTime(long long i) {
  return MediaTime::fromSeconds(static_cast<double>(i) / 60, 600);
}

ZoomSegment segment(double start, double end, double level) {
  ZoomSegment s;
  s.startTime = start;
  s.endTime = end;
  s.zoomLevel = level;
  s.easeIn = s.easeOut = 0.5;
  return s;
}

TEST(ExportZoomTransformsTest, OneTransformPerSixtiethOfASecondUpToTheEnd) {
  VideoCompositionLayerInstruction layer(1);
  test::CapturedLines lines;
  applyZoomSegmentsForExport(layer, {segment(1, 2, 2)}, {}, std::nullopt, 3.01, QSizeF(1920, 1080));
  ASSERT_EQ(layer.transforms().size(), 180u);
  EXPECT_EQ(layer.transforms().back().first, frameTime(179));
  EXPECT_TRUE(lines.contains("   [0] 1.00s - 2.00s @ 2.0x"));
  EXPECT_TRUE(lines.contains("offset=(0.0, 0.0)"));
  // During the hold the centre of the picture stays put and the level is 2.
  const auto held = layer.transformAt(frameTime(90));
  EXPECT_EQ(held.a, 2);
  EXPECT_NEAR(held.map({960, 540}).x(), 960, 1e-9);
  EXPECT_TRUE(layer.transformAt(frameTime(0)).isIdentity());

  VideoCompositionLayerInstruction shortOne(1);
  test::CapturedLines shortLines;
  applyZoomSegmentsForExport(shortOne, {segment(0, 1, 2)}, {}, std::nullopt, 1.0 / 120, QSizeF(100, 100));
  EXPECT_TRUE(shortOne.transforms().empty());
  EXPECT_TRUE(shortLines.contains("Applying zoom segments"));
  EXPECT_EQ(frameCount(-1), 0);
  EXPECT_EQ(frameCount(std::numeric_limits<double>::infinity()), 0);
}

TEST(ExportZoomTransformsTest, APictureSmallerThanTheCanvasStaysCentredForEveryKind) {
  const QSizeF canvas(1920, 1920), video(1920, 1080);
  VideoCompositionLayerInstruction segments(1), keyframes(1), events(1);
  applyZoomSegmentsForExport(segments, {segment(0, 2, 2)}, {}, video, 1, canvas);
  ZoomKeyframe k;
  k.time = 0;
  k.level = 2;
  k.center = {0.5, 0.5};
  applyZoomKeyframesForExport(keyframes, {k}, nullptr, 1, canvas, video);
  ZoomEvent e;
  e.timestamp = 0;
  e.level = 2;
  e.position = {0.5, 0.5};
  e.duration = 0;
  applyZoomEventsForExport(events, {e}, 1, canvas, video);
  // The picture's centre lands on the canvas's centre, not 420 above it.
  for (auto* layer : {&segments, &keyframes, &events}) {
    const QPointF centre = layer->transformAt(frameTime(30)).map({960, 540});
    EXPECT_NEAR(centre.x(), 960, 1e-9);
    EXPECT_NEAR(centre.y(), 960, 1e-9);
  }
}

TEST(ExportZoomTransformsTest, EventsFlipTheirYEaseAndTakeOnePerFrame) {
  ZoomEvent up;
  up.timestamp = 0;
  up.level = 3;
  up.position = {0.25, 0.8};  // 0.8 from the bottom: 0.2 from the top
  up.duration = 0;
  VideoCompositionLayerInstruction layer(1);
  applyZoomEventsForExport(layer, {up}, 0.1, QSizeF(100, 100));
  // Focus (25, 20) lands in the middle.
  EXPECT_NEAR(layer.transformAt(frameTime(0)).map({25, 20}).x(), 50, 1e-9);
  EXPECT_NEAR(layer.transformAt(frameTime(0)).map({25, 20}).y(), 50, 1e-9);

  ZoomEvent slow = up;
  slow.duration = 1;
  ZoomEvent second = up;
  second.timestamp = 1.0 / 120;
  second.level = 1;
  second.duration = 0;
  VideoCompositionLayerInstruction eased(1);
  applyZoomEventsForExport(eased, {second, slow}, 0.5, QSizeF(100, 100));
  EXPECT_EQ(eased.transformAt(frameTime(0)).a, 1);  // p = 0 in its own frame
  EXPECT_EQ(eased.transformAt(frameTime(1)).a, 1);  // the second event, one frame later, jumps
}

TEST(ExportZoomTransformsTest, KeyframesFollowTheCursorBetweenKeyframes) {
  ZoomKeyframe a, b;
  a.time = 0;
  a.level = 2;
  a.center = {0.3, 0.3};
  b.time = 1;
  b.level = 2;
  b.center = {0.7, 0.7};
  const std::vector<CursorPosition> cursor{{newRecordId(), 0, {0.6, 0.4}}, {newRecordId(), 2, {0.6, 0.4}}};
  VideoCompositionLayerInstruction layer(1);
  applyZoomKeyframesForExport(layer, {b, a}, &cursor, 1, QSizeF(100, 100));
  const QPointF focus = layer.transformAt(frameTime(30)).map({60, 40});
  EXPECT_NEAR(focus.x(), 50, 1e-9);
  EXPECT_NEAR(focus.y(), 50, 1e-9);
}

}  // namespace
}  // namespace tk
