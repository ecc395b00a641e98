#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <limits>

#include "model/MetadataRecorder.h"
#include "model/TimeText.h"
#include "support/ChildTests.h"
#include "support/TestSupport.h"

using namespace tk;
using tk::test::CapturedLines;

namespace {

class MetadataRecorderTest : public ::testing::Test {
 protected:
  double now = 100.0;  // the injected monotonic clock, in seconds
  MetadataRecorder recorder{QSizeF(1920, 1080), 30, [this] { return now; }};
  QTemporaryDir dir;

  void start() { recorder.startRecording(std::chrono::system_clock::now()); }
  std::filesystem::path file(const char* name) const { return dir.filePath(name).toStdString(); }
};

size_t count(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

}  // namespace

TEST_F(MetadataRecorderTest, EventsBeforeStartAreRefused) {
  CapturedLines lines;
  recorder.recordZoomEvent(QPointF(0.5, 0.5), 2, 0.5, EasingFunction::easeInOut);
  recorder.recordClick(ClickType::leftClick, QPointF(0.5, 0.5));
  recorder.recordCursorPosition(QPointF(0.5, 0.5));
  EXPECT_TRUE(recorder.metadata().zoomEvents.empty());
  EXPECT_TRUE(recorder.metadata().cursorClicks.empty());
  EXPECT_TRUE(recorder.metadata().cursorPositions.empty());
  EXPECT_EQ(lines.lines(),
            (std::vector<std::string>{"⚠️ Cannot record zoom event - recording not active",
                                      "⚠️ Cannot record cursor click - recording not active"}));
  EXPECT_FALSE(recorder.recordingStartTime().has_value());
}

TEST_F(MetadataRecorderTest, ZoomEventAddsAKeyframeWithTheCentreFlipped) {
  start();
  now += 65.5;
  CapturedLines lines;
  recorder.recordZoomEvent(QPointF(0.25, 0.8), 2.0, 0.4, EasingFunction::easeInOut);
  const auto& m = recorder.metadata();
  ASSERT_EQ(m.zoomEvents.size(), 1u);
  ASSERT_EQ(m.zoomKeyframes.size(), 1u);
  EXPECT_EQ(m.zoomEvents[0].timestamp, 65.5);
  EXPECT_EQ(m.zoomEvents[0].position, QPointF(0.25, 0.8));
  const ZoomKeyframe& keyframe = m.zoomKeyframes[0];
  EXPECT_EQ(keyframe.time, 65.5);
  EXPECT_DOUBLE_EQ(keyframe.center.x(), 0.25);
  EXPECT_DOUBLE_EQ(keyframe.center.y(), 0.2);
  EXPECT_EQ(keyframe.easeIn, 0.4);
  EXPECT_EQ(keyframe.easeOut, 0.4);
  EXPECT_EQ(keyframe.level, 2.0);
  EXPECT_NE(keyframe.id, m.zoomEvents[0].id);
  EXPECT_EQ(lines.lines(),
            std::vector<std::string>{"🔍 Recorded zoom event at 01:05 - Level: 2.0x, Position: (0, 0)"});

  // The bottom-left corner: the event keeps [0, 0], the keyframe is at the top-based [0, 1].
  recorder.recordZoomEvent(QPointF(0, 0), 1.5, 0.5, EasingFunction::linear);
  EXPECT_EQ(m.zoomKeyframes[1].center, QPointF(0, 1));
}

TEST_F(MetadataRecorderTest, ClicksAreStampedAndLogged) {
  start();
  now += 3.25;
  CapturedLines lines;
  recorder.recordClick(ClickType::doubleClick, QPointF(1.0, 0.3));
  ASSERT_EQ(recorder.metadata().cursorClicks.size(), 1u);
  EXPECT_EQ(recorder.metadata().cursorClicks[0].timestamp, 3.25);
  EXPECT_EQ(recorder.metadata().cursorClicks[0].clickType, ClickType::doubleClick);
  EXPECT_EQ(lines.lines(),
            std::vector<std::string>{"🖱️ Recorded doubleClick at 00:03 - Position: (1, 0)"});
}

TEST_F(MetadataRecorderTest, CursorSamplesSkipOnlyWhenStillAndSoon) {
  start();
  CapturedLines lines;
  recorder.recordCursorPosition(QPointF(0.5, 0.5));
  now += 0.010;
  recorder.recordCursorPosition(QPointF(0.5, 0.5));  // same place, 10 ms: skipped
  EXPECT_EQ(recorder.metadata().cursorPositions.size(), 1u);
  now += 0.015;
  recorder.recordCursorPosition(QPointF(0.5, 0.5));  // same place, 25 ms after the kept one: kept
  EXPECT_EQ(recorder.metadata().cursorPositions.size(), 2u);
  now += 0.005;
  recorder.recordCursorPosition(QPointF(0.5005, 0.5));  // moved less than 0.001, 5 ms after: skipped
  EXPECT_EQ(recorder.metadata().cursorPositions.size(), 2u);
  now += 0.01;
  recorder.recordCursorPosition(QPointF(0.5, 0.502));  // moved 0.002, 15 ms after: kept at once
  EXPECT_EQ(recorder.metadata().cursorPositions.size(), 3u);
  now += 0.1;
  recorder.recordCursorPosition(QPointF(0.7, 0.2));
  EXPECT_EQ(recorder.metadata().cursorPositions.size(), 4u);

  // Only the first three kept samples print, numbered by what was kept.
  EXPECT_EQ(lines.lines(), (std::vector<std::string>{"📍 Cursor sample #1: t=0.00s pos=(0.500, 0.500)",
                                                     "📍 Cursor sample #2: t=0.03s pos=(0.500, 0.500)",
                                                     "📍 Cursor sample #3: t=0.04s pos=(0.500, 0.502)"}));
}

TEST_F(MetadataRecorderTest, PausedTimeIsLeftOutAndPausedEventsDropped) {
  start();
  now += 10;
  recorder.recordCursorPosition(QPointF(0.1, 0.1));
  recorder.pauseRecording();
  recorder.pauseRecording();  // a second pause changes nothing
  EXPECT_TRUE(recorder.isPaused());
  EXPECT_TRUE(recorder.isRecording());
  now += 4;
  {
    CapturedLines lines;
    recorder.recordClick(ClickType::leftClick, QPointF(0.2, 0.2));
    recorder.recordZoomEvent(QPointF(0.2, 0.2), 2, 0.5, EasingFunction::easeInOut);
    recorder.recordCursorPosition(QPointF(0.9, 0.9));
    EXPECT_EQ(count(lines.lines(), "⚠️ Cannot record"), 2u);
  }
  EXPECT_EQ(recorder.currentTime(), 10);
  now += 6;
  recorder.resumeRecording();
  recorder.resumeRecording();  // resuming while running changes nothing
  now += 5;
  recorder.recordClick(ClickType::leftClick, QPointF(0.3, 0.3));

  const auto& m = recorder.metadata();
  EXPECT_TRUE(m.zoomEvents.empty());
  ASSERT_EQ(m.cursorClicks.size(), 1u);
  EXPECT_EQ(m.cursorClicks[0].timestamp, 15);  // 10 s, a 10 s pause, then 5 s
  EXPECT_EQ(m.cursorPositions.size(), 1u);

  // A second pause adds up with the first.
  recorder.pauseRecording();
  now += 100;
  recorder.resumeRecording();
  now += 1;
  recorder.recordCursorPosition(QPointF(0.4, 0.4));
  EXPECT_EQ(m.cursorPositions.back().timestamp, 16);
}

TEST_F(MetadataRecorderTest, NonFiniteValuesAreDroppedWithAWarningAndTheSaveStillWorks) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  start();
  CapturedLines lines;
  recorder.recordCursorPosition(QPointF(nan, 0.5));
  recorder.recordClick(ClickType::leftClick, QPointF(0.5, inf));
  recorder.recordZoomEvent(QPointF(0.5, 0.5), inf, 0.5, EasingFunction::easeInOut);
  recorder.recordZoomEvent(QPointF(0.5, 0.5), 2, nan, EasingFunction::easeInOut);
  EXPECT_EQ(count(lines.lines(), "⚠️ Ignored"), 4u);
  EXPECT_TRUE(lines.contains("⚠️ Ignored cursor position - a value is not a finite number"));
  now += 2;
  recorder.stopRecording(nan);
  EXPECT_TRUE(lines.contains("⚠️ Ignored duration - a value is not a finite number"));
  EXPECT_EQ(recorder.metadata().duration, 0);
  EXPECT_TRUE(recorder.metadata().zoomEvents.empty());
  EXPECT_NO_THROW(recorder.saveMetadata(file("a.metadata.json")));
}

TEST_F(MetadataRecorderTest, SavingWhileRecordingIsRefusedAndWritesNothing) {
  start();
  recorder.recordCursorPosition(QPointF(0.5, 0.5));
  const auto target = file("r.metadata.json");
  try {
    recorder.saveMetadata(target);
    ADD_FAILURE() << "saved while recording";
  } catch (const MetadataRecorderError& error) {
    EXPECT_EQ(error.kind(), MetadataRecorderError::Kind::recordingStillActive);
    EXPECT_STREQ(error.what(), "Cannot save metadata while recording is still active");
  }
  recorder.pauseRecording();  // paused is still recording
  EXPECT_THROW(recorder.saveMetadata(target), MetadataRecorderError);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(MetadataRecorderTest, StopStampsTheDurationAndSaveWritesTheDocument) {
  start();
  now += 1;
  recorder.recordZoomEvent(QPointF(0.25, 0.8), 2.0, 0.5, EasingFunction::easeInOut);
  recorder.recordClick(ClickType::leftClick, QPointF(0.25, 0.2));
  recorder.recordCursorPosition(QPointF(0.25, 0.2));
  CapturedLines lines;
  recorder.stopRecording(75 * 60 + 3.9);
  EXPECT_FALSE(recorder.isRecording());
  EXPECT_TRUE(recorder.recordingStartTime().has_value());
  EXPECT_EQ(lines.lines(), (std::vector<std::string>{"📝 MetadataRecorder stopped - Duration: 75:03",
                                                     "   Zoom events: 1", "   Camera positions: 0",
                                                     "   Cursor clicks: 1", "   Cursor positions: 1"}));

  // Events after stop are refused.
  recorder.recordCursorPosition(QPointF(0.9, 0.9));
  EXPECT_EQ(recorder.metadata().cursorPositions.size(), 1u);

  const auto target = file("movie.metadata.json");
  { std::ofstream(target) << "an older, longer file that must be replaced entirely"; }
  recorder.saveMetadata(target);
  const auto size = std::filesystem::file_size(target);
  EXPECT_TRUE(lines.contains("💾 Metadata saved to: movie.metadata.json"));
  EXPECT_TRUE(lines.contains("   File size: " + std::to_string(size) + " bytes"));

  const RecordingMetadata read = readRecordingMetadata(target);
  EXPECT_EQ(read.duration, 75 * 60 + 3.9);
  EXPECT_EQ(read.resolution, QSizeF(1920, 1080));
  EXPECT_EQ(read.frameRate, 30);
  EXPECT_EQ(read.zoomKeyframes, recorder.metadata().zoomKeyframes);
  EXPECT_TRUE(read.zoomSegments.empty());
  EXPECT_TRUE(read.cameraPositions.empty());
  EXPECT_EQ(read.cursorClicks.size(), 1u);
}

TEST_F(MetadataRecorderTest, RestartEmptiesTheListsAndTheClock) {
  start();
  now += 5;
  recorder.recordClick(ClickType::leftClick, QPointF(0.5, 0.5));
  recorder.stopRecording(5);
  now += 50;
  start();
  EXPECT_TRUE(recorder.metadata().cursorClicks.empty());
  now += 1;
  recorder.recordClick(ClickType::rightClick, QPointF(0.5, 0.5));
  EXPECT_EQ(recorder.metadata().cursorClicks.at(0).timestamp, 1);
}

TEST_F(MetadataRecorderTest, AFailedWriteIsReportedAndChangesNothing) {
  start();
  recorder.recordClick(ClickType::leftClick, QPointF(0.5, 0.5));
  recorder.stopRecording(1);
  EXPECT_THROW(recorder.saveMetadata(file("missing-folder/x.metadata.json")), PlatformError);
  EXPECT_EQ(recorder.metadata().cursorClicks.size(), 1u);
}

// Runs inside the small file system that MetadataRecorderFullDiskTest mounts for it (TK_SMALL_DISK).
TEST_F(MetadataRecorderTest, ASaveThatFindsTheDiskFullLeavesTheLastSaveWhole) {
  const std::filesystem::path disk = qEnvironmentVariable("TK_SMALL_DISK").toStdString();
  if (disk.empty()) GTEST_SKIP() << "runs inside the small file system the full-disk test mounts";
  const auto target = disk / "movie.metadata.json";
  const auto contents = [&] {
    std::ifstream in(target, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  start();
  recorder.recordClick(ClickType::leftClick, QPointF(0.5, 0.5));
  recorder.stopRecording(1);
  recorder.saveMetadata(target);
  const std::string first = contents();
  ASSERT_FALSE(first.empty());

  // A longer take whose document is far bigger than the first, saved once nothing is left.
  start();
  for (int i = 0; i < 5000; ++i) {
    now += 0.05;
    recorder.recordCursorPosition(QPointF((i % 100) / 100.0, 0.5));
  }
  recorder.stopRecording(250);
  test::fillDiskLeaving(disk, 0);
  EXPECT_THROW(recorder.saveMetadata(target), PlatformError);
  const std::string after = contents();
  EXPECT_TRUE(after == first) << "the last save became " << after.size() << " bytes of something else";
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(disk))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"filler", "movie.metadata.json"})) << "a temporary file stayed";
}

TEST(MetadataRecorderFullDiskTest, TheLastSaveStaysWholeWhenTheDiskFills) {
  if (const auto reason = test::runTestsOnSmallDisk(
          "MetadataRecorderTest.ASaveThatFindsTheDiskFullLeavesTheLastSaveWhole", "4m"))
    GTEST_SKIP() << "the full disk is not tested: " << *reason;
}

TEST(TimeTextTest, MinutesAndSeconds) {
  EXPECT_EQ(minutesAndSeconds(7.9), "00:07");
  EXPECT_EQ(minutesAndSeconds(65), "01:05");
  EXPECT_EQ(minutesAndSeconds(4503), "75:03");
  EXPECT_EQ(minutesAndSeconds(-1), "00:00");
  EXPECT_EQ(minutesAndSeconds(std::numeric_limits<double>::infinity()), "00:00");
}
