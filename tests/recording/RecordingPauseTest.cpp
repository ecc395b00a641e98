// Pauses leave their span out of every file, measured on the clock that stamps the samples.

#include <gtest/gtest.h>

#include <algorithm>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "support/TestSupport.h"
#include "writing/MediaWriter.h"

namespace tk {
namespace {

using namespace std::chrono_literals;
using RecordingPauseTest = test::CoordinatorTest;

TEST_F(RecordingPauseTest, AWallClockStepDuringAPauseLosesNoFrames) {
  // The wall clock runs with the real one, until it steps an hour ahead while paused (a clock
  // correction, or a suspend the monotonic clock does not count).
  auto step = std::make_shared<std::chrono::hours>(0);
  harness.coordinator.setWallClock([step] { return std::chrono::system_clock::now() + *step; });
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.0));
  harness.coordinator.pauseRecording();
  *step = std::chrono::hours(1);
  test::pumpEvents(300ms);
  harness.coordinator.resumeRecording();
  EXPECT_LT(harness.coordinator.recordingDuration(), 1.5);
  ASSERT_TRUE(harness.recordFor(2.0));
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;

  auto facts = test::probeMovie(*movie);
  ASSERT_TRUE(facts);
  EXPECT_NEAR(facts->duration, 2.0, 0.5);
  // The second after the resume has frames, however many of them a loaded machine captured.
  const auto& times = facts->videoFrameTimes;
  EXPECT_GE(std::count_if(times.begin(), times.end(), [](double time) { return time > 1.2; }), 5)
      << "frames after the resume were dropped";
}

TEST_F(RecordingPauseTest, AudioOnlyPauseLeavesThePausedSoundOutOfEveryFile) {
  // The microphone hums at 880 Hz; system audio carries what plays on the output: 660 Hz while
  // recording, 440 Hz only while paused.
  test::VirtualMicrophone microphone("tk_pause_microphone", 880);
  ASSERT_TRUE(microphone.ready());
  test::MonitorListener output(qEnvironmentVariable("TK_TEST_SINK").toStdString());
  ASSERT_TRUE(output.waitUntilFlowing());
  RecordingMode mode = RecordingMode::systemAudio();
  auto configuration = config(mode);
  configuration.recordSystemAudio = true;
  // System audio alone in one file, and beside the microphone in a package.
  for (bool package : {false, true}) {
    SCOPED_TRACE(package ? "package" : "one file");
    configuration.recordMicrophone = package;
    configuration.microphoneDevice = package ? std::optional(microphone.name()) : std::nullopt;
    configuration.separateAudioTracks = package;
    ASSERT_TRUE(harness.waitForIdle());
    double paused = 0, recorded = 0;
    std::optional<std::filesystem::path> result;
    {
      auto played = std::make_unique<test::ToneInNullSink>(660);
      ASSERT_TRUE(played->playing());
      ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
      ASSERT_TRUE(harness.recordFor(1.5));
      harness.coordinator.pauseRecording();
      paused = harness.coordinator.recordingDuration();
      played.reset();
      played = std::make_unique<test::ToneInNullSink>(440);
      test::pumpEvents(1500ms);
      played = std::make_unique<test::ToneInNullSink>(660);
      harness.coordinator.resumeRecording();
      ASSERT_TRUE(harness.recordFor(paused + 1.5));
      recorded = harness.coordinator.recordingDuration();
      result = harness.stop();
    }
    ASSERT_TRUE(result) << harness.error;

    std::vector<std::filesystem::path> files{*result};
    if (package) files = {*result / "sys.m4a", *result / "mic.m4a"};
    for (const auto& file : files) {
      auto facts = test::probeMovie(file);
      ASSERT_TRUE(facts) << file;
      EXPECT_NEAR(facts->duration, recorded, 0.15) << file;
    }
    for (double from = 0.1; from + 0.25 <= recorded - 0.1; from += 0.25)
      EXPECT_EQ(test::dominantAudioFrequency(files.front(), from, from + 0.25), 660) << "at " << from << " s";
    if (package) {
      EXPECT_NEAR(test::dominantAudioFrequency(files.back(), 0.2, recorded - 0.2), 880, 15);
    }
  }
}

}  // namespace
}  // namespace tk
