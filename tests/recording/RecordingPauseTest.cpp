// Pauses leave their span out of every file, measured on the clock that stamps the samples.

#include <gtest/gtest.h>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "capture/SoundServerFixture.h"
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
  ASSERT_FALSE(facts->videoFrameTimes.empty());
  EXPECT_GT(facts->videoFrameTimes.back(), 1.7) << "frames after the resume were dropped";
  // 30 frames a second throughout, minus what a busy machine skips.
  EXPECT_GT(facts->videoFrameTimes.size(), 40u);
}

TEST_F(RecordingPauseTest, AudioOnlyPauseLeavesThePausedSpanOutOfEveryFile) {
  test::SineSource microphone("tk_pause_microphone", 880);
  ASSERT_TRUE(microphone.loaded());
  RecordingMode mode = RecordingMode::systemAudio();
  auto configuration = config(mode);
  configuration.recordMicrophone = true;
  configuration.microphoneDevice = microphone.name();
  // The microphone alone in one file, and beside system audio in a package.
  for (bool package : {false, true}) {
    SCOPED_TRACE(package ? "package" : "one file");
    configuration.recordSystemAudio = package;
    configuration.separateAudioTracks = package;
    ASSERT_TRUE(harness.waitForIdle());
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    ASSERT_TRUE(harness.recordFor(1.0));
    harness.coordinator.pauseRecording();
    test::pumpEvents(1500ms);
    harness.coordinator.resumeRecording();
    ASSERT_TRUE(harness.recordFor(2.0));
    const double recorded = harness.coordinator.recordingDuration();
    auto result = harness.stop();
    ASSERT_TRUE(result) << harness.error;

    const auto file = package ? *result / "mic.m4a" : *result;
    auto facts = test::probeMovie(file);
    ASSERT_TRUE(facts) << file;
    EXPECT_NEAR(facts->duration, recorded, 0.15);
    EXPECT_NEAR(test::dominantAudioFrequency(file, 0.2, recorded - 0.2), 880, 15);
  }
}

}  // namespace
}  // namespace tk
