// The timeline's pure geometry: the shared time-to-x mapping, the ruler's intervals, ticks and
// labels, the waveform's bars, the cut blocks, the zoom bars and their drag zones, and the markers.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "editor_ui/TimelineScale.h"
#include "editor_ui/TrimmerCameraKeyframesTrackView.h"
#include "editor_ui/TrimmerSegmentStripView.h"
#include "editor_ui/TrimmerTimeRulerView.h"
#include "editor_ui/TrimmerWaveformShape.h"
#include "editor_ui/TrimmerZoomEventsTrackView.h"
#include "editor_ui/TrimmerZoomKeyframesTrackView.h"
#include "editor_ui/TrimmerZoomSegmentsTrackView.h"

namespace tk {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TimelineScaleTest, MapsTimeAcrossTheWidthLessBothInsetsAndBack) {
  const TimelineScale scale{740, 60};  // 700 pt of time
  EXPECT_DOUBLE_EQ(scale.usableWidth(), 700);
  EXPECT_DOUBLE_EQ(scale.x(0), 20);
  EXPECT_DOUBLE_EQ(scale.x(30), 370);
  EXPECT_DOUBLE_EQ(scale.x(60), 720);
  EXPECT_DOUBLE_EQ(scale.spanWidth(6), 70);
  EXPECT_DOUBLE_EQ(scale.secondsPerPoint(), 60.0 / 700);
  // The playhead stands on the same x as the ruler's tick of its time.
  EXPECT_DOUBLE_EQ(scale.playheadX(30), scale.x(30));

  // Taps: the leading inset seeks to 0, the trailing one to the end, between them linearly.
  struct Case {
    double x, time;
  };
  for (Case c :
       {Case{-50, 0}, Case{0, 0}, Case{20, 0}, Case{370, 30}, Case{720, 60}, Case{740, 60}, Case{5000, 60}}) {
    EXPECT_DOUBLE_EQ(scale.time(c.x), c.time) << "x " << c.x;
    EXPECT_DOUBLE_EQ(scale.time(scale.x(c.time)), c.time);
  }
  EXPECT_DOUBLE_EQ(scale.playheadX(-5), 20);  // limited to the scale
  EXPECT_DOUBLE_EQ(scale.playheadX(99), 720);
}

TEST(TimelineScaleTest, WithoutADurationNothingIsNaNAndEveryTapSeeksToZero) {
  for (double duration : {0.0, -3.0, kNaN, kInf, -kInf}) {
    const TimelineScale scale{600, duration};
    SCOPED_TRACE(duration);
    EXPECT_FALSE(scale.hasDuration());
    EXPECT_DOUBLE_EQ(scale.x(0), 20);            // an item at 0 stays at the leading end
    EXPECT_GT(scale.x(1), 600);                  // later ones fall beyond the trailing end...
    EXPECT_TRUE(std::isfinite(scale.x(1e300)));  // ...yet stay finite
    EXPECT_DOUBLE_EQ(scale.spanWidth(5), 0);
    EXPECT_DOUBLE_EQ(scale.playheadX(7), 20);
    EXPECT_DOUBLE_EQ(scale.time(400), 0);
    EXPECT_DOUBLE_EQ(scale.secondsPerPoint(), 0);
  }
  const TimelineScale scale{600, 60};
  for (double bad : {kNaN, kInf, -kInf}) {
    EXPECT_TRUE(std::isfinite(scale.x(bad)));
    EXPECT_DOUBLE_EQ(scale.playheadX(bad), 20);
    EXPECT_DOUBLE_EQ(scale.time(bad), 0);
  }
  // Narrower than both insets: no usable width, taps seek to 0.
  EXPECT_DOUBLE_EQ((TimelineScale{30, 60}).usableWidth(), 0);
  EXPECT_DOUBLE_EQ((TimelineScale{30, 60}).time(25), 0);
}

TEST(TrimmerTimeRulerViewTest, IntervalsFitOneMajorTickPer50PointsAndDivideIntoMinors) {
  struct Case {
    double duration, usable, major, minor;
  };
  for (Case c : {Case{60, 700, 5, 1}, Case{0, 700, 1, 0}, Case{10, 700, 1, 0}, Case{20, 700, 2, 0},
                 Case{100, 700, 10, 2}, Case{200, 700, 15, 3}, Case{400, 700, 30, 6}, Case{700, 700, 60, 10},
                 Case{1500, 700, 120, 20}, Case{3600, 700, 300, 50}, Case{7000, 700, 600, 100},
                 Case{10000, 700, 900, 150}, Case{20000, 700, 1800, 300}, Case{40000, 700, 3600, 900},
                 Case{80000, 700, 7200, 1800}, Case{200000, 700, 18000, 4500}, Case{400000, 700, 36000, 9000},
                 // Nothing fits: the last entry.
                 Case{100, 40, 36000, 9000}, Case{1e9, 700, 36000, 9000}, Case{kNaN, 700, 36000, 9000}}) {
    const auto intervals = TrimmerTimeRulerView::intervals(c.duration, c.usable);
    EXPECT_EQ(intervals.major, c.major) << c.duration << " s in " << c.usable << " pt";
    EXPECT_EQ(intervals.minor, c.minor) << c.duration << " s in " << c.usable << " pt";
  }
}

TEST(TrimmerTimeRulerViewTest, LabelsShowSecondsMinutesOrHoursByIntervalAndTime) {
  struct Case {
    double time, major;
    const char* label;
  };
  for (Case c :
       {Case{0, 1, "0s"}, Case{45, 15, "45s"}, Case{59.9, 5, "59s"}, Case{60, 5, "1:00"},
        Case{90, 30, "1:30"}, Case{0, 60, "0:00"}, Case{3900, 300, "1:05:00"}, Case{3661, 1, "1:01:01"},
        Case{7200, 3600, "2:00:00"}, Case{0, 36000, "0:00:00"}, Case{5400, 3600, "1:30:00"}}) {
    EXPECT_EQ(TrimmerTimeRulerView::label(c.time, c.major).toStdString(), c.label)
        << c.time << " / " << c.major;
  }
}

TEST(TrimmerTimeRulerViewTest, TicksOfAMinuteEndWithALabelPulledInFromTheEdge) {
  const auto ticks = TrimmerTimeRulerView::ticks(60, 740);  // U = 700
  const TimelineScale scale{740, 60};
  ASSERT_EQ(ticks.majorX.size(), 13u);
  ASSERT_EQ(ticks.labels.size(), 13u);
  EXPECT_EQ(ticks.minorX.size(), 61u - 13u);  // a minor tick on a major one is not drawn twice
  for (double x : ticks.minorX) EXPECT_NE(std::fmod(x - 20, scale.spanWidth(5)), 0.0);
  EXPECT_EQ(ticks.labels.front().text, "0s");
  EXPECT_DOUBLE_EQ(ticks.labels.front().centreX, 20);
  EXPECT_EQ(ticks.labels[1].text, "5s");
  EXPECT_DOUBLE_EQ(ticks.labels[1].centreX, scale.x(5) + 4);
  EXPECT_EQ(ticks.labels[11].text, "55s");
  EXPECT_EQ(ticks.labels.back().text, "1:00");
  EXPECT_DOUBLE_EQ(ticks.majorX.back(), 720);
  EXPECT_DOUBLE_EQ(ticks.labels.back().centreX, 700);

  // Narrow: one tick at 0, labelled in hours and pulled 20 pt left as the last one.
  const auto narrow = TrimmerTimeRulerView::ticks(100, 80);
  ASSERT_EQ(narrow.majorX.size(), 1u);
  EXPECT_EQ(narrow.labels[0].text, "0:00:00");
  EXPECT_DOUBLE_EQ(narrow.labels[0].centreX, 0);
  EXPECT_TRUE(narrow.minorX.empty());
}

TEST(TrimmerTimeRulerViewTest, ABogusDurationDrawsNoTicksOrABoundedNumber) {
  for (double duration : {0.0, -10.0, kNaN, kInf}) {
    const auto ticks = TrimmerTimeRulerView::ticks(duration, 740);
    EXPECT_TRUE(ticks.majorX.empty() && ticks.minorX.empty() && ticks.labels.empty()) << duration;
  }
  // Far longer than the table reaches: never more ticks than points, all of them finite.
  for (double duration : {1e9, 1e300, std::numeric_limits<double>::max()}) {
    const auto ticks = TrimmerTimeRulerView::ticks(duration, 740);
    EXPECT_LE(ticks.majorX.size(), 742u);
    EXPECT_LE(ticks.minorX.size(), 742u);
    for (double x : ticks.majorX) EXPECT_TRUE(std::isfinite(x));
    for (double x : ticks.minorX) EXPECT_TRUE(std::isfinite(x));
  }
}

TEST(TrimmerWaveformShapeTest, OneBarPerSampleSymmetricAboutTheMiddle) {
  const TrimmerWaveformShape shape{{0.0f, 0.5f, 1.0f, 0.25f}};
  const auto bars = shape.bars(QRectF(20, 4, 400, 72));
  ASSERT_EQ(bars.size(), 4u);
  for (size_t i = 0; i < bars.size(); ++i) {
    EXPECT_DOUBLE_EQ(bars[i].x1(), 20 + 100.0 * i);
    EXPECT_DOUBLE_EQ(bars[i].x2(), bars[i].x1());
    EXPECT_DOUBLE_EQ(bars[i].y1() + bars[i].y2(), 2 * 40);  // about the middle, y 40
  }
  EXPECT_DOUBLE_EQ(bars[2].y1(), 4);  // full level: the whole height
  EXPECT_DOUBLE_EQ(bars[2].y2(), 76);
  EXPECT_DOUBLE_EQ(bars[1].y2() - bars[1].y1(), 36);
  EXPECT_TRUE(TrimmerWaveformShape{}.bars(QRectF(0, 0, 100, 10)).empty());
  EXPECT_TRUE(shape.bars(QRectF(0, 0, 0, 10)).empty());
}

TEST(TrimmerWaveformShapeTest, ManyMoreSamplesThanPointsReduceToTheLoudestPerPoint) {
  std::vector<float> samples(100000, 0.1f);
  samples[50017] = 0.9f;  // one loud spike must survive the reduction
  samples[70000] = std::numeric_limits<float>::quiet_NaN();
  samples[80000] = 7.0f;  // out of range: drawn as full level, not taller
  const auto bars = TrimmerWaveformShape{samples}.bars(QRectF(0, 0, 500, 100));
  EXPECT_LE(bars.size(), 501u);
  EXPECT_GE(bars.size(), 499u);
  double tallest = 0;
  size_t spikes = 0;
  for (const QLineF& bar : bars) {
    const double height = bar.y2() - bar.y1();
    ASSERT_TRUE(std::isfinite(height));
    tallest = std::max(tallest, height);
    if (std::abs(height - 90) < 1e-4) ++spikes;
  }
  EXPECT_EQ(spikes, 1u);
  EXPECT_DOUBLE_EQ(tallest, 100);
  // The spike's bar stands on the column of its time.
  for (const QLineF& bar : bars)
    if (std::abs(bar.y2() - bar.y1() - 90) < 1e-4) {
      EXPECT_EQ(std::floor(bar.x1()), 250);
    }
}

TEST(TrimmerSegmentStripViewTest, BlocksTakeTheirShareOfTheTimeAxisOrNothingWithoutADuration) {
  std::vector<VideoSegment> segments{{QUuid::createUuid(), MediaTime(0, 1), MediaTime(15, 1), false},
                                     {QUuid::createUuid(), MediaTime(15, 1), MediaTime(60, 1), true}};
  const auto blocks = TrimmerSegmentStripView::blockExtents(segments, TimelineScale{640, 60});
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_DOUBLE_EQ(blocks[0].first, 20);
  EXPECT_DOUBLE_EQ(blocks[0].second, 150);
  EXPECT_DOUBLE_EQ(blocks[1].first, 170);
  EXPECT_DOUBLE_EQ(blocks[1].second, 450);
  for (double duration : {0.0, kNaN})
    for (const auto& block : TrimmerSegmentStripView::blockExtents(segments, TimelineScale{640, duration}))
      EXPECT_DOUBLE_EQ(block.second, 0);
}

TEST(ZoomSegmentBarTest, DragZonesLabelsAndHandlesFollowTheMappedWidth) {
  using DragType = TrimmerZoomSegmentsTrackView::DragType;
  struct Case {
    double x, startX, endX;
    DragType type;
  };
  for (Case c : {Case{105, 100, 200, DragType::resizeStart}, Case{109.9, 100, 200, DragType::resizeStart},
                 Case{110, 100, 200, DragType::move}, Case{190, 100, 200, DragType::move},
                 Case{190.1, 100, 200, DragType::resizeEnd}, Case{199, 100, 200, DragType::resizeEnd},
                 // Narrow: the edge zones overlap and the start wins.
                 Case{104, 100, 105, DragType::resizeStart}, Case{111, 100, 105, DragType::resizeEnd}}) {
    EXPECT_EQ(TrimmerZoomSegmentsTrackView::dragTypeAt(c.x, c.startX, c.endX), c.type) << c.x;
  }

  ZoomSegmentBar bar{ZoomSegment{}, false, 5};
  EXPECT_DOUBLE_EQ(bar.drawnWidth(), 20);
  EXPECT_EQ(bar.rect(QPointF(100, 30)), QRectF(90, 20, 20, 20));
  for (auto [width, selected, label, handles] :
       {std::tuple{40.0, true, false, true}, std::tuple{40.1, false, true, false},
        std::tuple{30.0, true, false, false}, std::tuple{30.5, true, false, true}}) {
    const ZoomSegmentBar b{ZoomSegment{}, selected, width};
    EXPECT_EQ(b.showsLabel(), label) << width;
    EXPECT_EQ(b.showsHandles(), handles) << width;
  }
}

TEST(TrimmerZoomSegmentsTrackViewTest, AShortSegmentIsDrawnWideCentredOnItsMiddle) {
  TrimmerZoomSegmentsTrackView track({});
  track.resize(640, 60);  // 600 pt of time
  track.setDuration(60);
  ZoomSegment segment;
  segment.startTime = 30;
  segment.endTime = 30.5;
  track.setSegments({segment});
  const auto bars = track.placedBars();
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_DOUBLE_EQ(bars[0].bar.width, 5);
  EXPECT_DOUBLE_EQ(bars[0].startX, 320);
  EXPECT_EQ(bars[0].bar.rect(bars[0].centre),
            QRectF(312.5, TrimmerZoomSegmentsTrackView::kHeight / 2.0 - 10, 20, 20));

  // Without a duration a segment at 0 covers the track from its leading end; later ones lie beyond.
  track.setDuration(0);
  segment.startTime = 0;
  ZoomSegment later;
  later.startTime = 2;
  later.endTime = 3;
  track.setSegments({segment, later});
  const auto zero = track.placedBars();
  EXPECT_DOUBLE_EQ(zero[0].startX, 20);
  EXPECT_GT(zero[0].endX, 640);
  EXPECT_GT(zero[1].startX, 640);
  EXPECT_TRUE(std::isfinite(zero[1].endX));
}

TEST(TrimmerMarkerTrackViewTest, MarkersSitOnTheSharedTimeAxisAtTheirTracksHeights) {
  ZoomEvent event;
  event.timestamp = 30;
  ZoomEvent atEnd;
  atEnd.timestamp = 60;
  TrimmerZoomEventsTrackView events;
  events.resize(540, 50);  // 500 pt of time
  events.setDuration(60);
  events.setEvents({event, atEnd});
  auto rects = events.markerRects();
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0],
            QRectF(270 - 7, TrimmerZoomEventsTrackView::kHeight - 14, 14, 14));  // on the bottom edge
  EXPECT_DOUBLE_EQ(rects[1].center().x(), 520);

  ZoomKeyframe keyframe;
  keyframe.time = 15;
  TrimmerZoomKeyframesTrackView keyframes({});
  keyframes.resize(540, 60);
  keyframes.setDuration(60);
  keyframes.setKeyframes({keyframe});
  EXPECT_EQ(keyframes.markerRects().at(0),
            QRectF(145 - 7, TrimmerZoomKeyframesTrackView::kHeight - 14, 14, 14));

  CameraKeyframe camera;
  camera.timestamp = 45;
  TrimmerCameraKeyframesTrackView cameras;
  cameras.resize(540, 40);
  cameras.setDuration(60);
  cameras.setKeyframes({camera});
  EXPECT_EQ(cameras.markerRects().at(0), QRectF(395 - 12, 8, 24, 24));  // centred vertically

  // No duration: an item at 0 sits at the leading position, later ones beyond the trailing edge.
  event.timestamp = 0;
  events.setDuration(kNaN);
  events.setEvents({event, atEnd});
  rects = events.markerRects();
  EXPECT_DOUBLE_EQ(rects[0].center().x(), 20);
  EXPECT_GT(rects[1].left(), 540);
  EXPECT_TRUE(std::isfinite(rects[1].left()));
}

}  // namespace
}  // namespace tk
