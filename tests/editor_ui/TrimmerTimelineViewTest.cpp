// The timeline in a real editor window on movies our writer made: taps and scrubs seek, cut blocks
// toggle, zoom bars select, move and resize, markers select, and the tracks draw where the shared
// time axis puts them. Point tracks get hand-made metadata, since recordings write none.

#include "editor_ui/TrimmerTimelineView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "EditorWindowFixture.h"
#include "editor_ui/TrimmerCameraKeyframesTrackView.h"
#include "editor_ui/TrimmerPlayheadView.h"
#include "editor_ui/TrimmerSegmentStripView.h"
#include "editor_ui/TrimmerTimeRulerView.h"
#include "editor_ui/TrimmerZoomEventsTrackView.h"
#include "editor_ui/TrimmerZoomKeyframesTrackView.h"
#include "editor_ui/TrimmerZoomSegmentsTrackView.h"

namespace tk::test {
namespace {

class TrimmerTimelineViewTest : public EditorWindowFixture {
 protected:
  // A 10 s movie, with metadata when given, open and loaded; returns its timeline.
  TrimmerTimelineView& openTimeline(const std::optional<RecordingMetadata>& metadata = std::nullopt) {
    TestMovieSpec spec;
    spec.seconds = 10;
    spec.width = 160;
    spec.height = 90;
    auto& trimmer = open(writeMovie("timeline.mov", spec, metadata));
    EXPECT_FALSE(trimmer.loadFailed());
    if (metadata) {
      EXPECT_TRUE(waitUntil([&] { return trimmer.viewModel().metadata().has_value(); }));
    }
    auto& timeline = trimmer.timeline();
    EXPECT_TRUE(waitUntil([&] { return std::abs(timeline.duration() - 10) < 0.05; }));
    return timeline;
  }

  VideoTrimmerViewModel& model() const { return view->viewModel(); }

  static void drag(QWidget* widget, QPointF from, QPointF to, int steps = 4) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from.toPoint());
    for (int i = 1; i <= steps; ++i)
      QTest::mouseMove(widget, (from + (to - from) * (double(i) / steps)).toPoint());
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to.toPoint());
  }

  static QRgb pixel(QWidget& widget, QPointF at) {
    return widget.grab().toImage().pixel(at.toPoint() * widget.devicePixelRatioF());
  }

  // Opens a widget's context menu at `at`, checks its one item's text and chooses it.
  static QString chooseFromContextMenu(QWidget& widget, QPoint at) {
    QString text;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      if (menu->actions().size() == 1) text = menu->actions().front()->text();
      if (!menu->actions().isEmpty()) menu->actions().front()->trigger();
      menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget.mapToGlobal(at));
    QApplication::sendEvent(&widget, &event);
    return text;
  }
};

ZoomSegment zoomSegment(double start, double end, double level) {
  ZoomSegment segment;
  segment.startTime = start;
  segment.endTime = end;
  segment.zoomLevel = level;
  return segment;
}

TEST_F(TrimmerTimelineViewTest, ATapSeeksTheScrubbedPlayheadFollowsAndBothClampAtTheEnds) {
  auto& timeline = openTimeline();
  const TimelineScale scale = timeline.scale();
  const double duration = timeline.duration();
  // The band above the strip is empty tracks area: a tap there seeks.
  const double emptyY = timeline.tracksArea().top() + 10;
  ASSERT_LT(emptyY, timeline.segmentStrip().y());

  QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPointF(scale.x(4), emptyY).toPoint());
  EXPECT_NEAR(model().currentTime(), 4, scale.secondsPerPoint());
  auto playheadLine = [&] { return timeline.playhead().x() + TrimmerPlayheadView::kWidth / 2.0; };
  EXPECT_TRUE(
      waitUntil([&] { return std::abs(playheadLine() - scale.playheadX(model().currentTime())) <= 1; }));
  QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(0, int(emptyY)));
  EXPECT_EQ(model().currentTime(), 0);
  QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(timeline.width() - 1, int(emptyY)));
  EXPECT_DOUBLE_EQ(model().currentTime(), duration);

  // Scrubbing: every movement seeks, without waiting for a release; past either end it clamps.
  QWidget& playhead = timeline.playhead();
  const QPoint grip = playhead.rect().center();
  QTest::mousePress(&playhead, Qt::LeftButton, {}, grip);
  EXPECT_TRUE(timeline.isDragging());
  auto moveTo = [&](double x) {
    QTest::mouseMove(&playhead, playhead.mapFromParent(QPointF(x, 50)).toPoint());
  };
  moveTo(scale.x(7));
  EXPECT_NEAR(model().currentTime(), 7, scale.secondsPerPoint());
  EXPECT_NEAR(playheadLine(), scale.x(7), 1);  // no animation while dragging
  moveTo(timeline.width() + 200);
  EXPECT_DOUBLE_EQ(model().currentTime(), duration);
  moveTo(-200);
  EXPECT_EQ(model().currentTime(), 0);
  QTest::mouseRelease(&playhead, Qt::LeftButton, {}, playhead.mapFromParent(QPoint(-200, 50)));
  EXPECT_FALSE(timeline.isDragging());

  // The playhead is drawn red, its line on the time's column.
  model().seek(5);
  ASSERT_TRUE(waitUntil([&] { return std::abs(playheadLine() - scale.x(5)) <= 1; }));
  // The playhead may still be gliding its last pixel there: wait for the line to be drawn there.
  const QPointF onLine(scale.x(5), timeline.tracksArea().bottom() - 5);
  EXPECT_TRUE(waitUntil([&] {
    const QRgb line = pixel(timeline, onLine);
    return qRed(line) - qGreen(line) > 150;
  })) << "no red line at the time's column";
  const QRgb left = pixel(timeline, QPointF(scale.x(5) - 10, timeline.tracksArea().bottom() - 5));
  EXPECT_LT(qRed(left) - qGreen(left), 50);
}

TEST_F(TrimmerTimelineViewTest, CutBlocksToggleByTapOrMenuAndRedrawRedOrBlue) {
  auto& timeline = openTimeline();
  model().seek(4.0);
  ASSERT_TRUE(waitUntil([&] { return model().player()->currentTime() == MediaTime(4, 1); }));
  model().addCutAtCurrentTime();
  ASSERT_EQ(model().segments().size(), 2u);

  auto& strip = timeline.segmentStrip();
  const TimelineScale scale = timeline.scale();
  const QPointF firstBlock(scale.x(2), 2), secondBlock(scale.x(7), 2);  // above the waveform
  auto isRed = [&](QPointF at) {
    const QRgb colour = pixel(strip, at);
    return qRed(colour) > qBlue(colour) + 20;
  };
  auto isBlue = [&](QPointF at) {
    const QRgb colour = pixel(strip, at);
    return qBlue(colour) > qRed(colour) + 5;
  };
  EXPECT_TRUE(isBlue(firstBlock));
  EXPECT_TRUE(isBlue(secondBlock));

  const double before = model().currentTime();
  QTest::mouseClick(&strip, Qt::LeftButton, {}, firstBlock.toPoint() + QPoint(0, 30));
  EXPECT_TRUE(model().segments()[0].isMarkedForDeletion);
  EXPECT_FALSE(model().segments()[1].isMarkedForDeletion);
  EXPECT_EQ(model().currentTime(), before);  // a tap on a block does not seek
  EXPECT_TRUE(isRed(firstBlock));
  EXPECT_TRUE(isBlue(secondBlock));

  // A press that travels is not a tap.
  drag(&strip, firstBlock + QPointF(0, 30), firstBlock + QPointF(30, 30));
  EXPECT_TRUE(model().segments()[0].isMarkedForDeletion);

  EXPECT_EQ(chooseFromContextMenu(strip, secondBlock.toPoint()), "Disable Segment (Cut)");
  EXPECT_TRUE(model().segments()[1].isMarkedForDeletion);
  EXPECT_TRUE(isRed(secondBlock));
  EXPECT_EQ(chooseFromContextMenu(strip, secondBlock.toPoint()), "Enable Segment (Keep)");
  EXPECT_FALSE(model().segments()[1].isMarkedForDeletion);
  EXPECT_TRUE(isBlue(secondBlock));

  // The waveform of the movie's tone is drawn blue about the strip's middle, within the time axis.
  ASSERT_TRUE(waitUntil([&] { return !model().waveformSamples().empty(); }));
  EXPECT_FALSE(strip.waveformBars().empty());
  EXPECT_FALSE(strip.showsProgress());
  for (const QLineF& bar : strip.waveformBars()) {
    ASSERT_GE(bar.x1(), TimelineScale::kInset);
    ASSERT_LE(bar.x1(), TimelineScale::kInset + scale.usableWidth());
  }
}

TEST_F(TrimmerTimelineViewTest, ZoomBarsSelectOnATapMoveOnADragAndResizeFromTheirEdges) {
  RecordingMetadata metadata;
  metadata.zoomSegments = {zoomSegment(2, 4, 2.0), zoomSegment(6, 8, 1.5)};
  auto& timeline = openTimeline(metadata);
  ASSERT_EQ(timeline.shownZoomTrack(), TrimmerTimelineView::ZoomTrack::segments);
  TrimmerZoomSegmentsTrackView* track = timeline.zoomSegmentsTrack();
  ASSERT_NE(track, nullptr);
  const TimelineScale scale = timeline.scale();
  const double y = track->height() / 2.0;
  const QUuid first = model().zoomSegments()[0].id, second = model().zoomSegments()[1].id;

  // Unselected bars are a lighter blue than the selected one, which gains white grips.
  const QRgb plain = pixel(*track, QPointF(scale.x(3), y - 6));
  QTest::mouseClick(track, Qt::LeftButton, {}, QPointF(scale.x(3), y).toPoint());
  EXPECT_EQ(view->selectedZoomSegmentId(), first);
  EXPECT_DOUBLE_EQ(model().zoomSegments()[0].startTime, 2);  // a tap does not move
  const QRgb selected = pixel(*track, QPointF(scale.x(3), y - 6));
  EXPECT_GT(qBlue(selected), qRed(selected) + 100);
  EXPECT_LT(qRed(selected) + qGreen(selected), qRed(plain) + qGreen(plain));  // more saturated
  const QRgb grip = pixel(*track, QPointF(scale.x(2) + 4, y));
  EXPECT_GT(qRed(grip), 230);
  EXPECT_GT(qGreen(grip), 230);
  const QRgb otherBar = pixel(*track, QPointF(scale.x(7), y - 6));
  EXPECT_EQ(otherBar, plain);

  // Move by one second: the length is kept.
  drag(track, QPointF(scale.x(3), y), QPointF(scale.x(4), y));
  EXPECT_NEAR(model().zoomSegments()[0].startTime, 3, 2 * scale.secondsPerPoint());
  EXPECT_NEAR(model().zoomSegments()[0].endTime - model().zoomSegments()[0].startTime, 2, 1e-9);
  EXPECT_FALSE(track->draggedSegmentId());
  EXPECT_EQ(track->dragType(), TrimmerZoomSegmentsTrackView::DragType::none);
  // Past the leading end it stops at 0.
  const double middle = (model().zoomSegments()[0].startTime + model().zoomSegments()[0].endTime) / 2;
  drag(track, QPointF(scale.x(middle), y), QPointF(-100, y), 8);
  EXPECT_EQ(model().zoomSegments()[0].startTime, 0);
  EXPECT_NEAR(model().zoomSegments()[0].endTime, 2, 1e-9);

  // The second bar's start edge, then its end edge dragged past the duration.
  drag(track, QPointF(scale.x(6) + 3, y), QPointF(scale.x(5) + 3, y));
  auto secondSegment = [&] {
    for (const ZoomSegment& segment : model().zoomSegments())
      if (segment.id == second) return segment;
    return ZoomSegment{};
  };
  EXPECT_NEAR(secondSegment().startTime, 5, 2 * scale.secondsPerPoint());
  EXPECT_DOUBLE_EQ(secondSegment().endTime, 8);
  drag(track, QPointF(scale.x(8) - 3, y), QPointF(track->width() + 100, y));
  EXPECT_NEAR(secondSegment().endTime, timeline.duration(), 1e-9);
  EXPECT_NEAR(secondSegment().startTime, 5, 2 * scale.secondsPerPoint());

  // A tap on empty track space seeks, as anywhere in the tracks area.
  QTest::mouseClick(track, Qt::LeftButton, {}, QPointF(scale.x(4.5), 4).toPoint());
  EXPECT_NEAR(model().currentTime(), 4.5, scale.secondsPerPoint());

  // Adding from the timeline selects the segment added, though a later one starts after it.
  timeline.addZoomSegment(1.0);
  ASSERT_EQ(model().zoomSegments().size(), 3u);
  EXPECT_EQ(model().zoomSegments()[1].startTime, 1.0);
  EXPECT_EQ(view->selectedZoomSegmentId(), model().zoomSegments()[1].id);
}

TEST_F(TrimmerTimelineViewTest, PointTracksFromHandMadeMetadataSelectTheirMarkersAndAreNeverCutOff) {
  RecordingMetadata metadata;
  metadata.duration = 10;
  ZoomEvent early, late;
  early.timestamp = 2;
  early.level = 2;
  early.duration = 0.5;
  late.timestamp = 7;
  late.level = 2;
  late.duration = 0.5;
  metadata.zoomEvents = {early, late};
  CameraKeyframe cameraA, cameraB;
  cameraA.timestamp = 1;
  cameraB.timestamp = 6;
  metadata.cameraPositions = {cameraA, cameraB};
  auto& timeline = openTimeline(metadata);
  const TimelineScale scale = timeline.scale();

  // The loaded events became segments and keyframes: the segment track shows, with the camera
  // track below it. The timeline grows to hold both rather than cutting the camera track off.
  ASSERT_EQ(timeline.shownZoomTrack(), TrimmerTimelineView::ZoomTrack::segments);
  auto* camera = timeline.cameraTrack();
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(timeline.height(), 28 + (TrimmerSegmentStripView::kHeight + 1) +
                                   (TrimmerZoomKeyframesTrackView::kHeight + 1) +
                                   (TrimmerCameraKeyframesTrackView::kHeight + 1));
  EXPECT_LE(camera->geometry().bottom(), timeline.tracksArea().bottom());
  EXPECT_GE(camera->y(), timeline.zoomSegmentsTrack()->geometry().bottom() + 1);
  EXPECT_EQ(timeline.playhead().height(), timeline.tracksArea().height());

  // Camera markers: a tap highlights one (purple square, white camera), another moves it.
  auto cameraRects = camera->markerRects();
  ASSERT_EQ(cameraRects.size(), 2u);
  EXPECT_NEAR(cameraRects[0].center().x(), scale.x(1), 1e-9);
  const QPointF corner = cameraRects[0].topLeft() + QPointF(3, 3);
  const QRgb unselected = pixel(*camera, corner);
  QTest::mouseClick(camera, Qt::LeftButton, {}, cameraRects[0].center().toPoint());
  EXPECT_EQ(camera->selectedId(), cameraA.id);
  const QRgb purple = pixel(*camera, corner);
  EXPECT_GT(qRed(purple), qGreen(purple) + 60);
  EXPECT_GT(qBlue(purple), qGreen(purple) + 60);
  EXPECT_NE(purple, unselected);
  QTest::mouseClick(camera, Qt::LeftButton, {}, cameraRects[1].center().toPoint());
  EXPECT_EQ(camera->selectedId(), cameraB.id);
  EXPECT_EQ(pixel(*camera, corner), unselected);

  // Without segments, the keyframes made from the events show; a tap selects in the editor view.
  model().setZoomSegments({});
  ASSERT_EQ(timeline.shownZoomTrack(), TrimmerTimelineView::ZoomTrack::keyframes);
  EXPECT_EQ(timeline.height(), 28 + (TrimmerSegmentStripView::kHeight + 1) +
                                   (TrimmerZoomKeyframesTrackView::kHeight + 1) +
                                   (TrimmerCameraKeyframesTrackView::kHeight + 1));
  auto* keyframes = timeline.zoomMarkerTrack();
  ASSERT_NE(keyframes, nullptr);
  const auto keyframeRects = keyframes->markerRects();
  ASSERT_EQ(keyframeRects.size(), model().zoomKeyframes().size());
  ASSERT_FALSE(keyframeRects.empty());
  QTest::mouseClick(keyframes, Qt::LeftButton, {}, keyframeRects.back().center().toPoint());
  EXPECT_EQ(view->selectedZoomKeyframeId(), model().zoomKeyframes().back().id);

  // Without keyframes either, the recorded events show; their selection is the track's own.
  model().setZoomKeyframes({});
  ASSERT_EQ(timeline.shownZoomTrack(), TrimmerTimelineView::ZoomTrack::events);
  EXPECT_EQ(timeline.height(), 28 + (TrimmerSegmentStripView::kHeight + 1) +
                                   (TrimmerZoomEventsTrackView::kHeight + 1) +
                                   (TrimmerCameraKeyframesTrackView::kHeight + 1));
  auto* events = timeline.zoomMarkerTrack();
  ASSERT_NE(qobject_cast<TrimmerZoomEventsTrackView*>(events), nullptr);
  EXPECT_FALSE(events->selectedId());
  const auto eventRects = events->markerRects();
  ASSERT_EQ(eventRects.size(), 2u);
  EXPECT_NEAR(eventRects[1].center().x(), scale.x(7), 1e-9);
  EXPECT_EQ(eventRects[1].bottom(), events->height());
  const QPointF dot = eventRects[0].center();
  const QRgb dim = pixel(*events, dot);
  QTest::mouseClick(events, Qt::LeftButton, {}, dot.toPoint());
  EXPECT_EQ(events->selectedId(), early.id);
  const QRgb solid = pixel(*events, dot);
  EXPECT_GT(qBlue(solid), qRed(solid) + 150);
  EXPECT_NE(solid, dim);
  // The other marker, above the white ring, is still the lighter blue.
  EXPECT_EQ(pixel(*events, eventRects[1].center()), dim);
}

TEST(TrimmerTimelineWithoutMovieTest, DrawsNoTicksKeepsThePlayheadAtTheStartAndSeeksToZero) {
  TK_REQUIRE_DESKTOP();
  VideoTrimmerViewModel model;
  TrimmerTimelineView timeline(model, {}, {});
  timeline.resize(800, TrimmerTimelineView::kHeight);
  timeline.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&timeline, 60000));
  EXPECT_EQ(timeline.duration(), 0);
  EXPECT_EQ(timeline.height(), TrimmerTimelineView::kHeight);
  EXPECT_EQ(timeline.shownZoomTrack(), TrimmerTimelineView::ZoomTrack::none);
  EXPECT_EQ(timeline.cameraTrack(), nullptr);
  // The strip alone sits in the middle of the tracks area, with equal bands above and below.
  EXPECT_EQ(timeline.segmentStrip().y(),
            28 + (TrimmerTimelineView::kTracksHeight - (TrimmerSegmentStripView::kHeight + 1)) / 2);
  EXPECT_EQ(timeline.playhead().x() + TrimmerPlayheadView::kWidth / 2.0, TimelineScale::kInset);

  QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(500, 40));
  EXPECT_EQ(model.currentTime(), 0);

  // The ruler is its background only: no tick's colour anywhere along its bottom row.
  const QImage ruler = timeline.ruler().grab().toImage();
  const QRgb background = ruler.pixel(ruler.width() / 2, ruler.height() - 2);
  for (int x = 0; x < ruler.width(); ++x) ASSERT_EQ(ruler.pixel(x, ruler.height() - 2), background) << x;
}

}  // namespace
}  // namespace tk::test
