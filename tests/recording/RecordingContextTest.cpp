#include "recording/RecordingContext.h"

#include <gtest/gtest.h>

#include <QCoroTask>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "platform/media/MonotonicClock.h"
#include "support/TestSupport.h"
#include "writing/MediaWriter.h"

namespace tk {
namespace {

using namespace std::chrono_literals;

std::shared_ptr<MediaWriter> startedWriter(const std::filesystem::path& file, int frameRate,
                                           MediaWriter::HostClock hostClock = &MonotonicClock::now) {
  auto writer = std::make_shared<MediaWriter>(std::move(hostClock));
  WriterConfiguration configuration;
  configuration.outputURL = file;
  configuration.outputFormat = OutputFormat::mp4;
  VideoSettings video;
  video.width = 160;
  video.height = 120;
  video.frameRate = frameRate;
  video.codec = VideoEncoder::h264;
  video.quality = VideoQuality::low;
  configuration.videoSettings = video;
  writer->configure(configuration);
  writer->startWriting();
  return writer;
}

SampleBuffer frameAt(MediaTime time, uint32_t colour = 0xff3366ccu) {
  auto pixels = PixelBuffer::create(160, 120);
  pixels->fill(colour);
  return SampleBuffer::video(pixels, time);
}

SampleBuffer frameNow(uint32_t colour = 0xff3366ccu) {
  return frameAt(MonotonicClock::now(), colour);
}

std::filesystem::path finish(MediaWriter& writer) {
  return test::awaitTask(writer.finishWriting());
}

// Resumes as the coordinator does: the writer and the context take out the time since `pausedAt`.
// The moment of the resume.
MediaTime resume(MediaWriter& writer, RecordingContext& context, MediaTime pausedAt) {
  const MediaTime now = MonotonicClock::now();
  writer.addTimeOffset(now - pausedAt);
  context.setPauseOffset(writer.timeOffset());
  context.setPaused(false);
  return now;
}

// A 440 Hz tone of `seconds` at 48 kHz, stereo, stamped at `time`.
SampleBuffer toneAt(MediaTime time, double seconds) {
  auto tone = std::make_shared<AudioBlock>();
  tone->format = AudioFormat{48000, 2, true};
  tone->frameCount = int(seconds * 48000);
  for (int i = 0; i < tone->frameCount; ++i) {
    const float value = 0.5f * std::sin(2 * float(M_PI) * 440 * float(i) / 48000);
    tone->samples.push_back(value);
    tone->samples.push_back(value);
  }
  return SampleBuffer::audio(tone, time);
}

// Seconds in a movie from its sound's first loud sample to its last.
std::pair<double, double> loudSpan(const std::filesystem::path& file) {
  const auto facts = test::probeMovie(file);
  const auto samples = test::audioSamples(file, 48000);
  auto loud = [](float value) { return std::abs(value) > 0.05f; };
  const auto first = std::find_if(samples.begin(), samples.end(), loud);
  const auto last = std::find_if(samples.rbegin(), samples.rend(), loud);
  if (!facts || first == samples.end()) return {-1, -1};
  return {facts->audioStartTime + double(first - samples.begin()) / 48000,
          facts->audioStartTime + double(samples.rend() - last) / 48000};
}

TEST(RecordingContextTest, PumpSlotTimesAreWholeFramesFromTheFirstFrame) {
  MediaTime start(1234, 600);
  EXPECT_EQ(RecordingContext::pumpSlotTime(start, 3, 60), start + MediaTime(30, 600));
  EXPECT_EQ(RecordingContext::pumpSlotTime(start, 144, 144), start + MediaTime(1, 1));
  EXPECT_EQ(RecordingContext::pumpSlotTime(start, 5, 0), start + MediaTime(5, 1));  // at least 1 fps
}

TEST(RecordingContextTest, DirectPathStartsSessionAtFirstFrameAndSkipsRepeats) {
  QTemporaryDir dir;
  auto writer = startedWriter(std::filesystem::path(dir.path().toStdString()) / "direct.mp4", 30);
  MediaTime seen;
  RecordingContext context({writer, nullptr, false, 30, [&](MediaTime t) { seen = t; }}, nullptr);
  test::CapturedLines lines;
  SampleBuffer first = frameNow();
  context.onVideoFrame(first);
  EXPECT_TRUE(writer->isWriting());
  EXPECT_EQ(seen, first.presentationTime());
  context.onVideoFrame(first);  // the same time again
  EXPECT_TRUE(lines.contains("⏭️ Skipping duplicate frame"));
  EXPECT_EQ(context.videoFramesReceived(), 1);
}

TEST(RecordingContextTest, PausedContextDropsEverySample) {
  QTemporaryDir dir;
  auto writer = startedWriter(std::filesystem::path(dir.path().toStdString()) / "paused.mp4", 30);
  RecordingContext context({writer, nullptr, false, 30, {}}, nullptr);
  context.setPaused(true);
  context.onVideoFrame(frameNow());
  EXPECT_FALSE(writer->isWriting());
  EXPECT_EQ(context.videoFramesReceived(), 0);
}

TEST(RecordingContextTest, AFrameBelongsToTheTakeByWhenItWasGrabbedNotWhenItArrives) {
  // A capture thread hands a frame over a moment after grabbing it, so a pause, a resume or the stop
  // may come in between. Here each frame is handed over on the other side of that moment on purpose.
  QTemporaryDir dir;
  auto writer = startedWriter(std::filesystem::path(dir.path().toStdString()) / "grabbed.mp4", 30);
  RecordingContext context({writer, nullptr, false, 30, {}}, nullptr);
  const MediaTime first = MonotonicClock::now() - MediaTime(300, 1000);
  context.onVideoFrame(frameAt(first));
  const SampleBuffer beforePause = frameAt(first + MediaTime(100, 1000));

  context.setPaused(true);
  const MediaTime pausedAt = MonotonicClock::now();
  context.onVideoFrame(beforePause);  // grabbed before the pause, handed over within it
  test::pumpEvents(100ms);
  const SampleBuffer withinPause = frameAt(MonotonicClock::now());
  resume(*writer, context, pausedAt);
  context.onVideoFrame(withinPause);  // grabbed within the pause, handed over after it
  const SampleBuffer afterResume = frameAt(MonotonicClock::now() + MediaTime(10, 1000));
  context.onVideoFrame(afterResume);
  const SampleBuffer beforeStop = frameAt(afterResume.presentationTime() + MediaTime(50, 1000));
  const MediaTime stoppedAt = beforeStop.presentationTime() + MediaTime(10, 1000);
  context.endAt(stoppedAt);
  context.onVideoFrame(beforeStop);  // grabbed before the stop, handed over after it
  context.onVideoFrame(frameAt(stoppedAt));

  auto facts = test::probeMovie(finish(*writer));
  ASSERT_TRUE(facts);
  const auto& times = facts->videoFrameTimes;
  ASSERT_EQ(times.size(), 4u) << "a frame of the pause or after the stop was written, or one before lost";
  EXPECT_NEAR(times[1] - times[0], 0.1, 0.002);
  // Those after the resume sit where the pause was taken out.
  const double recorded = (afterResume.presentationTime() - first - writer->timeOffset()).seconds();
  EXPECT_NEAR(times[2] - times[0], recorded, 0.002);
  EXPECT_NEAR(times[3] - times[2], 0.05, 0.002);
}

TEST(RecordingContextTest, SoundHandedOverAheadOfItsTimeIsCutByThePauseWhereItPlays) {
  // An output's monitor hands over what the output is still to play, stamped by when it plays. A
  // pause begins within such a block, and the resume comes within the next one, which was handed
  // over during the pause: the take keeps each up to the pause and from the resume, as it does the
  // frames.
  QTemporaryDir dir;
  auto writer = startedWriter(std::filesystem::path(dir.path().toStdString()) / "ahead.mp4", 30);
  RecordingContext context({writer, nullptr, false, 30, {}}, nullptr);
  const MediaTime first = MonotonicClock::now() - MediaTime(1, 1);
  context.onVideoFrame(frameAt(first));
  const MediaTime beforePause = MonotonicClock::now() - MediaTime(100, 1000);
  context.onSystemAudio(toneAt(beforePause, 0.2));
  const MediaTime pausedAt = MonotonicClock::now();
  context.setPaused(true);
  const MediaTime withinPause = MonotonicClock::now();
  context.onSystemAudio(toneAt(withinPause, 0.2));
  ASSERT_TRUE(test::waitUntil([&] { return MonotonicClock::now() >= withinPause + MediaTime(50, 1000); }));
  const MediaTime resumedAt = resume(*writer, context, pausedAt);
  context.flushSound();

  const auto [from, to] = loudSpan(finish(*writer));
  EXPECT_NEAR(from, (beforePause - first).seconds(), 0.003);
  // Up to the pause from the first block, and from the resume on from the second.
  const double kept = (pausedAt - beforePause + withinPause + MediaTime(200, 1000) - resumedAt).seconds();
  EXPECT_NEAR(to - from, kept, 0.003) << "the take's sound runs past the pause or misses its resume";
}

TEST(RecordingContextTest, PumpWritesAtItsRateStopsWhilePausedAndKeepsTimesIncreasing) {
  QTemporaryDir dir;
  auto file = std::filesystem::path(dir.path().toStdString()) / "pump.mp4";
  auto writer = startedWriter(file, 30);
  auto queue = std::make_shared<SerialQueue>("FixedRateZoomPump");
  RecordingContext context({writer, nullptr, true, 30, {}}, queue);

  const SampleBuffer firstFrame = frameNow();
  const MediaTime first = firstFrame.presentationTime();
  context.onVideoFrame(firstFrame);
  ASSERT_TRUE(test::waitUntil([&] { return context.pumpFramesEmitted() >= 10; }));

  context.setPaused(true);
  auto pausedAt = MonotonicClock::now();
  queue->flush();  // a tick that began before the pause has written its frame
  const int64_t beforePause = context.pumpFramesEmitted();
  test::pumpEvents(300ms);
  EXPECT_EQ(context.pumpFramesEmitted(), beforePause) << "the pump wrote while paused";

  resume(*writer, context, pausedAt);
  const double pause = writer->timeOffset().seconds();
  context.onVideoFrame(frameNow(0xffcc3333u));
  ASSERT_TRUE(test::waitUntil([&] { return context.pumpFramesEmitted() >= beforePause + 10; }));

  context.stopDelivery();
  const int64_t stopped = context.pumpFramesEmitted();
  const MediaTime stoppedAt = MonotonicClock::now();
  test::pumpEvents(100ms);
  EXPECT_EQ(context.pumpFramesEmitted(), stopped);  // drained: nothing reaches the writer now

  auto facts = test::probeMovie(finish(*writer));
  ASSERT_TRUE(facts);
  const auto& times = facts->videoFrameTimes;
  ASSERT_EQ(int64_t(times.size()), stopped);
  for (size_t i = 0; i < times.size(); ++i) {
    // Every frame sits on the 30 fps grid of the capture clock from the first frame, those after
    // the resume moved back by the pause: a gap means skipped slots, never a squeezed frame. The
    // pause is not a whole number of slots, so those frames are off the movie's own grid.
    const double slot = (times[i] - times[0] + (int64_t(i) >= beforePause ? pause : 0)) * 30;
    EXPECT_NEAR(slot, std::round(slot), 0.02) << "frame " << i;
    if (i > 0) {
      EXPECT_GT(times[i], times[i - 1]) << "frame " << i;
    }
  }
  // The pause left no hole: the movie is no longer than the time spent pumping.
  EXPECT_LE(times.back() - times.front(), (stoppedAt - first).seconds() - pause + 0.001);
}

TEST(RecordingContextTest, MicrophoneSoundKeepsItsCaptureTimeWhenTheSessionStartsLate) {
  // On a busy machine the first frame reaches the writer a while after it was grabbed: the session
  // starts 80 ms after the frame's time. Microphone and frames are stamped on the one clock, so a
  // sound captured 0.5 s after that frame plays 0.5 s into the movie.
  QTemporaryDir dir;
  const auto file = std::filesystem::path(dir.path().toStdString()) / "late.mp4";
  const MediaTime first = MonotonicClock::now();
  auto writer = startedWriter(file, 30, [first] { return first + MediaTime(80, 1000); });
  RecordingContext context({writer, nullptr, false, 30, {}}, nullptr);
  auto pixels = PixelBuffer::create(160, 120);
  pixels->fill(0xff3366ccu);
  for (int i = 0; i <= 30; ++i) context.onVideoFrame(SampleBuffer::video(pixels, first + MediaTime(i, 30)));
  context.onMicrophoneAudio(toneAt(first + MediaTime(1, 2), 0.1));
  // Stamped ahead of the clock, the tone waits for its time; the stop hands it on.
  context.flushSound();
  ASSERT_EQ(finish(*writer), file);
  EXPECT_NEAR(loudSpan(file).first, 0.5, 0.01) << "the tone is missing or moved";
}

}  // namespace
}  // namespace tk
