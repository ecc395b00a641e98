#include "recording/RecordingContext.h"

#include <gtest/gtest.h>

#include <QCoroTask>
#include <QTemporaryDir>
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

SampleBuffer frameNow(uint32_t colour = 0xff3366ccu) {
  auto pixels = PixelBuffer::create(160, 120);
  pixels->fill(colour);
  return SampleBuffer::video(pixels, MonotonicClock::now());
}

std::filesystem::path finish(MediaWriter& writer) {
  return test::awaitTask(writer.finishWriting());
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

TEST(RecordingContextTest, PumpWritesAtItsRateStopsWhilePausedAndKeepsTimesIncreasing) {
  QTemporaryDir dir;
  auto file = std::filesystem::path(dir.path().toStdString()) / "pump.mp4";
  auto writer = startedWriter(file, 30);
  auto queue = std::make_shared<SerialQueue>("FixedRateZoomPump");
  RecordingContext context({writer, nullptr, true, 30, {}}, queue);

  context.onVideoFrame(frameNow());
  ASSERT_TRUE(test::waitUntil([&] { return context.pumpFramesEmitted() >= 10; }));

  context.setPaused(true);
  int64_t whenPaused = context.pumpFramesEmitted();
  auto pausedAt = MonotonicClock::now();
  test::pumpEvents(300ms);
  EXPECT_LE(context.pumpFramesEmitted(), whenPaused + 1);  // at most a tick already under way

  // As the coordinator does on resume: the writer removes the pause from every time.
  MediaTime pause = MonotonicClock::now() - pausedAt;
  writer->addTimeOffset(pause);
  context.setPauseOffset(writer->timeOffset());
  context.setPaused(false);
  context.onVideoFrame(frameNow(0xffcc3333u));
  int64_t resumed = context.pumpFramesEmitted();
  ASSERT_TRUE(test::waitUntil([&] { return context.pumpFramesEmitted() >= resumed + 10; }));

  context.stopDelivery();
  int64_t stopped = context.pumpFramesEmitted();
  test::pumpEvents(100ms);
  EXPECT_EQ(context.pumpFramesEmitted(), stopped);  // drained: nothing reaches the writer now

  auto facts = test::probeMovie(finish(*writer));
  ASSERT_TRUE(facts);
  ASSERT_GE(facts->videoFrameTimes.size(), 20u);
  for (size_t i = 1; i < facts->videoFrameTimes.size(); ++i) {
    double step = facts->videoFrameTimes[i] - facts->videoFrameTimes[i - 1];
    EXPECT_GT(step, 0) << "frame " << i;
    // Every time sits on the 30 fps grid; a gap means skipped slots, never a squeezed frame.
    EXPECT_NEAR(step * 30, std::round(step * 30), 0.1) << "frame " << i;
  }
  // The pause left no hole: the movie is about as long as the unpaused pumping.
  EXPECT_LT(facts->videoFrameTimes.back() - facts->videoFrameTimes.front(), (stopped + 8) / 30.0);
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
  auto tone = std::make_shared<AudioBlock>();
  tone->format = AudioFormat{48000, 2, true};
  tone->frameCount = 4800;
  for (int i = 0; i < tone->frameCount; ++i) {
    const float value = 0.5f * std::sin(2 * float(M_PI) * 440 * float(i) / 48000);
    tone->samples.push_back(value);
    tone->samples.push_back(value);
  }
  context.onMicrophoneAudio(SampleBuffer::audio(tone, first + MediaTime(1, 2)));
  ASSERT_EQ(finish(*writer), file);

  auto facts = test::probeMovie(file);
  ASSERT_TRUE(facts);
  const auto samples = test::audioSamples(file, 48000);
  size_t onset = 0;
  while (onset < samples.size() && std::abs(samples[onset]) < 0.05f) ++onset;
  ASSERT_LT(onset, samples.size()) << "the tone is missing";
  EXPECT_NEAR(facts->audioStartTime + double(onset) / 48000, 0.5, 0.01);
}

}  // namespace
}  // namespace tk
