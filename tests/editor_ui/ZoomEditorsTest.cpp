#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <vector>

#include "editor_ui/SliderRow.h"
#include "editor_ui/ZoomKeyframeEditor.h"
#include "editor_ui/ZoomSegmentEditor.h"
#include "support/TestSupport.h"

namespace tk::test {
namespace {

// Moves a row's slider to its far end (true) or near end, as a drag would.
void dragToEnd(SliderRow& row, bool upper) {
  row.slider()->setValue(upper ? row.slider()->maximum() : row.slider()->minimum());
}

// Moves a row's slider to the position nearest `value` of its range.
void dragTo(SliderRow& row, double value) {
  const double fraction = (value - row.lower()) / (row.upper() - row.lower());
  row.slider()->setValue(static_cast<int>(std::lround(fraction * row.slider()->maximum())));
}

struct KeyframeCalls {
  std::vector<ZoomKeyframe> updates;
  int deletes = 0;
  void attach(ZoomKeyframeEditor& editor) {
    editor.onUpdate = [this](const ZoomKeyframe& k) { updates.push_back(k); };
    editor.onDelete = [this] { ++deletes; };
  }
};

ZoomKeyframe keyframeAt(double time) {
  ZoomKeyframe k;
  k.time = time;
  k.center = QPointF(0.4, 0.6);
  k.level = 1.5;
  k.easeIn = 0.3;
  k.easeOut = 0.3;
  return k;
}

TEST(ZoomKeyframeEditorTest, TimeStaysInsideTheMovieWhateverTheSliderReaches) {
  {  // an empty movie: the slider still has a range, and every value written is 0
    ZoomKeyframeEditor editor(keyframeAt(0), 0);
    KeyframeCalls calls;
    calls.attach(editor);
    EXPECT_DOUBLE_EQ(editor.timeRow()->upper(), 0.01);
    dragToEnd(*editor.timeRow(), true);
    EXPECT_EQ(editor.working().time, 0.0);
    EXPECT_TRUE(calls.updates.empty());  // 0 was already stored: no change, no report
  }
  {  // a keyframe beyond the end of a 10 s movie
    ZoomKeyframeEditor editor(keyframeAt(12.0), 10);
    KeyframeCalls calls;
    calls.attach(editor);
    EXPECT_DOUBLE_EQ(editor.timeRow()->upper(), 12.01);
    dragToEnd(*editor.timeRow(), true);
    ASSERT_EQ(calls.updates.size(), 1u);
    EXPECT_EQ(calls.updates[0].time, 10.0);
    EXPECT_EQ(editor.timeRow()->valueText()->text(), "10.00s");
  }
}

TEST(ZoomKeyframeEditorTest, CentreLevelAndEaseRowsClampAndFormat) {
  ZoomKeyframe start = keyframeAt(3.456);
  ZoomKeyframeEditor editor(start, 10);
  KeyframeCalls calls;
  calls.attach(editor);
  EXPECT_EQ(editor.timeRow()->valueText()->text(), "3.46s");
  EXPECT_EQ(editor.levelRow()->valueText()->text(), "1.50x");
  EXPECT_EQ(editor.easeInRow()->valueText()->text(), "0.30s");

  dragToEnd(*editor.xRow(), true);
  dragToEnd(*editor.yRow(), false);
  EXPECT_EQ(editor.working().center, QPointF(1.0, 0.0));
  EXPECT_EQ(editor.xRow()->valueText()->text(), "1.00");
  EXPECT_EQ(editor.yRow()->valueText()->text(), "0.00");
  dragToEnd(*editor.levelRow(), true);
  dragToEnd(*editor.easeOutRow(), false);
  EXPECT_EQ(editor.working().level, 3.0);
  EXPECT_DOUBLE_EQ(editor.working().easeOut, 0.05);
  // One report per change, each the whole copy after the change; id and easing carried along.
  ASSERT_EQ(calls.updates.size(), 4u);
  EXPECT_EQ(calls.updates.back(), editor.working());
  EXPECT_EQ(calls.updates.back().id, start.id);
  EXPECT_EQ(calls.updates.back().easing, start.easing);
  EXPECT_EQ(calls.updates.back().time, start.time);
}

TEST(ZoomKeyframeEditorTest, OpeningReportsNothingAndDeleteOnlyAsks) {
  ZoomKeyframeEditor editor(keyframeAt(2), 10);
  KeyframeCalls calls;
  calls.attach(editor);
  pumpEvents(std::chrono::milliseconds(20));
  editor.deleteButton()->click();
  EXPECT_EQ(calls.deletes, 1);
  EXPECT_TRUE(calls.updates.empty());
}

TEST(ZoomKeyframeEditorTest, ALiveChangeIsWhatTheNextMoveBuildsOn) {
  ZoomKeyframeEditor editor(keyframeAt(2), 10);
  KeyframeCalls calls;
  calls.attach(editor);
  ZoomKeyframe dragged = editor.working();
  dragged.center = QPointF(0.1, 0.2);  // moved on the preview
  editor.showLive(dragged, 10);
  EXPECT_TRUE(calls.updates.empty());
  dragToEnd(*editor.levelRow(), true);
  ASSERT_EQ(calls.updates.size(), 1u);
  EXPECT_EQ(calls.updates[0].center, QPointF(0.1, 0.2));  // the drag is kept
}

struct SegmentCalls {
  std::vector<ZoomSegment> updates;
  std::vector<double> seeks;
  std::vector<std::string> order;
  int deletes = 0, closes = 0;
  void attach(ZoomSegmentEditor& editor) {
    editor.onUpdate = [this](const ZoomSegment& s) {
      updates.push_back(s);
      order.push_back("update");
    };
    editor.onSeekToSegment = [this](double t) {
      seeks.push_back(t);
      order.push_back("seek");
    };
    editor.onDelete = [this] { ++deletes; };
    editor.onClose = [this] { ++closes; };
  }
};

ZoomSegment segmentFrom(double start, double end) {
  ZoomSegment s;
  s.startTime = start;
  s.endTime = end;
  s.zoomLevel = 2;
  s.easeIn = 0.8;
  s.easeOut = 0.8;
  return s;
}

TEST(ZoomSegmentEditorTest, StartAndEndKeepHalfASecondBetweenThem) {
  {
    ZoomSegmentEditor editor(segmentFrom(2, 6), 10);
    SegmentCalls calls;
    calls.attach(editor);
    dragToEnd(*editor.startRow(), true);
    EXPECT_EQ(editor.working().startTime, 5.5);
    // The seek to the new start comes before the report.
    EXPECT_EQ(calls.order, (std::vector<std::string>{"seek", "update"}));
    EXPECT_EQ(calls.seeks.back(), 5.5);
    dragToEnd(*editor.endRow(), false);
    EXPECT_EQ(editor.working().endTime, 6.0);  // 0.5 s after the start
    dragTo(*editor.endRow(), 8.0);
    EXPECT_NEAR(editor.working().endTime, 8.0, 0.02);
    EXPECT_NEAR(calls.seeks.back(), editor.working().endTime, 1e-12);
  }
  {  // ends before 0.5 s: any start is 0
    ZoomSegmentEditor editor(segmentFrom(0.1, 0.4), 10);
    dragTo(*editor.startRow(), 3);
    EXPECT_EQ(editor.working().startTime, 0.0);
  }
  {  // starts 0.2 s before the end of the movie: the end goes past it
    ZoomSegmentEditor editor(segmentFrom(9.8, 10), 10);
    dragToEnd(*editor.endRow(), true);
    EXPECT_DOUBLE_EQ(editor.working().endTime, 10.3);
  }
}

TEST(ZoomSegmentEditorTest, EachSliderSeeksWhereItsChangeShows) {
  ZoomSegmentEditor editor(segmentFrom(0.3, 4.3), 10);
  SegmentCalls calls;
  calls.attach(editor);
  ASSERT_TRUE(waitUntil([&] { return !calls.seeks.empty(); }));
  EXPECT_EQ(calls.seeks, std::vector<double>{2.3});  // the middle, once, on first display
  EXPECT_TRUE(calls.updates.empty());

  dragTo(*editor.easeRow(), 1.0);  // 0.3 - 0.5 is before the movie: 0
  EXPECT_EQ(calls.seeks.back(), 0.0);
  dragTo(*editor.zoomRow(), 2.5);
  EXPECT_DOUBLE_EQ(calls.seeks.back(), 2.3);
  dragTo(*editor.easeOutRow(), 1.5);
  EXPECT_DOUBLE_EQ(calls.seeks.back(), 4.3);
  dragToEnd(*editor.deadRow(), true);
  EXPECT_EQ(editor.deadRow()->valueText()->text(), "30%");
  EXPECT_EQ(calls.updates.size(), 4u);
  EXPECT_EQ(calls.seeks.size(), 5u);
}

TEST(ZoomSegmentEditorTest, TextsDisclosureAndButtons) {
  ZoomSegment segment = segmentFrom(1.2, 4.0);
  segment.deadZone = 0.06;
  ZoomSegmentEditor editor(segment, 10);
  SegmentCalls calls;
  calls.attach(editor);
  EXPECT_EQ(editor.timeText()->text(), "Time 1.2 - 4.0s");
  EXPECT_EQ(editor.zoomRow()->valueText()->text(), "2.0x");
  EXPECT_EQ(editor.easeRow()->valueText()->text(), "0.8");
  EXPECT_EQ(editor.deadRow()->valueText()->text(), "6%");

  EXPECT_FALSE(editor.showAdvanced());
  EXPECT_TRUE(editor.advancedRow()->isHidden());
  EXPECT_EQ(editor.disclosureButton()->accessibleName(), "chevron.down");
  editor.disclosureButton()->click();
  EXPECT_TRUE(editor.showAdvanced());
  EXPECT_EQ(editor.disclosureButton()->accessibleName(), "chevron.up");
  EXPECT_FALSE(editor.advancedRow()->isHidden());
  editor.disclosureButton()->click();  // folds over 0.2 s, then hides
  EXPECT_EQ(editor.disclosureButton()->accessibleName(), "chevron.down");
  EXPECT_TRUE(waitUntil([&] { return editor.advancedRow()->isHidden(); }));

  editor.closeButton()->click();
  editor.deleteButton()->click();
  EXPECT_EQ(calls.closes, 1);
  EXPECT_EQ(calls.deletes, 1);
  EXPECT_TRUE(calls.updates.empty());
}

TEST(SliderRowTest, SteppedAndContinuousRowsStayInTheirRange) {
  SliderRow stepped(QStringLiteral("Level"), 0, 1, 3, 0.05, SliderRow::decimals(2), 0);
  EXPECT_EQ(stepped.slider()->maximum(), 40);
  std::vector<double> seen;
  stepped.onChange = [&](double v) { seen.push_back(v); };
  stepped.slider()->setValue(7);
  EXPECT_DOUBLE_EQ(seen.back(), 1.35);
  stepped.setValue(9);  // shown, clamped on the slider, never reported
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(stepped.slider()->value(), 40);
  EXPECT_EQ(stepped.valueText()->text(), "9.00");

  EXPECT_EQ(SliderRow::integer(120.9), "120");
  EXPECT_EQ(SliderRow::integer(-0.5), "0");
  EXPECT_EQ(SliderRow::percent(0.4), "40%");
  EXPECT_EQ(SliderRow::percent(1), "100%");
}

}  // namespace
}  // namespace tk::test
