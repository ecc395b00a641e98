#include <QTemporaryDir>
#include <cmath>

#include "MediaFileReader.h"
#include "WritingTestSupport.h"
#include "writing/MediaWriter.h"

namespace tk {
namespace {

using test::seconds;

// A capture source simulated on the monotonic clock: its device runs at its own rate (a little
// fast or slow against the clock that stamps it), it may go quiet for a while, and it plays a
// 1 kHz burst at given clock times over a quiet 440 Hz bed.
struct SimulatedSource {
  double deviceRate;
  double gapStart;
  double gapEnd;
  std::vector<double> clicks;
  double stamp = 0;  // clock time of the next block
  int64_t deviceFrame = 0;

  static constexpr int kBlock = 480;

  std::shared_ptr<AudioBlock> nextBlock(bool interleaved) {
    auto block = std::make_shared<AudioBlock>();
    block->format = AudioFormat{48000, 2, interleaved};
    block->frameCount = kBlock;
    block->samples.resize(kBlock * 2);
    for (int i = 0; i < kBlock; ++i) {
      const double time = stamp + i / deviceRate;
      float value = 0.05f * static_cast<float>(std::sin(2 * M_PI * 440 * (deviceFrame + i) / 48000.0));
      for (double click : clicks)
        if (time >= click && time < click + 0.03)
          value = 0.9f * static_cast<float>(std::sin(2 * M_PI * 1000 * (time - click)));
      for (int c = 0; c < 2; ++c) block->samples[interleaved ? i * 2 + c : c * kBlock + i] = value;
    }
    deviceFrame += kBlock;
    return block;
  }

  // Moves to the next block; a device asleep delivers nothing until it wakes.
  void advance() {
    stamp += kBlock / deviceRate;
    if (stamp >= gapStart && stamp < gapEnd) stamp = gapEnd;
  }
};

// First time (seconds) after `from` where the track is louder than the bed can be.
double onset(const std::vector<float>& samples, double from) {
  for (size_t i = static_cast<size_t>(from * 48000); i < samples.size(); ++i)
    if (std::abs(samples[i]) > 0.4f) return i / 48000.0;
  return -1;
}

// Ten minutes with a 30 s pause, a system-audio device that sleeps 5 s, a microphone that drops
// out 1.5 s, and device clocks 100 ppm slow and fast: both audio tracks stay within 100 ms of the
// picture's length and every burst lands within 50 ms of its time.
TEST(AudioSyncTest, TenMinutesWithGapsAndPausesStayInStep) {
  QTemporaryDir dir;
  const std::filesystem::path path = dir.filePath("sync.mov").toStdString();
  auto configuration = test::writerConfiguration(path, OutputFormat::mov, 32, 32, 10);
  configuration.separateAudioTracks = true;
  MediaWriter writer;
  writer.configure(configuration);
  writer.startWriting();

  const double origin = 1000.0;
  const double pauseStart = origin + 200, pauseEnd = origin + 230;
  const double end = origin + 630;
  const std::vector<double> clicks = {origin + 100, origin + 350, origin + 500};
  SimulatedSource system{47995.2, origin + 300, origin + 305, clicks};
  SimulatedSource microphone{48004.8, origin + 400, origin + 401.5, clicks};
  system.stamp = microphone.stamp = origin;
  auto picture = PixelBuffer::create(32, 32);
  picture->fill(0xFF336699);

  writer.startSession(seconds(origin));
  bool resumed = false;
  for (int frame = 0;; ++frame) {
    const double now = origin + frame * 0.1;
    if (now >= end) break;
    // The coordinator drops every sample while paused and adds the pause at resume.
    if (now >= pauseStart && now < pauseEnd) continue;
    if (now >= pauseEnd && !resumed) {
      writer.addTimeOffset(seconds(pauseEnd - pauseStart));
      resumed = true;
      while (system.stamp < pauseEnd) system.advance();
      while (microphone.stamp < pauseEnd) microphone.advance();
    }
    ASSERT_TRUE(test::waitForRoom([&] { return writer.isReadyForVideo(); }));
    ASSERT_TRUE(writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(now))));
    for (SimulatedSource* source : {&system, &microphone}) {
      const bool isMicrophone = source == &microphone;
      while (source->stamp < now + 0.1 && source->stamp < end) {
        if (source->stamp < pauseStart || source->stamp >= pauseEnd) {
          auto sample = SampleBuffer::audio(source->nextBlock(isMicrophone), seconds(source->stamp));
          ASSERT_TRUE(test::waitForRoom([&] { return writer.isReadyForAudio(isMicrophone); }));
          ASSERT_TRUE(writer.appendMicrophoneAudio(sample, isMicrophone, false));
        }
        source->advance();
      }
    }
  }
  test::await(writer.finishWriting());

  const auto info = test::readMediaFile(path);
  ASSERT_EQ(info.audio().size(), 2u);
  const double pictureLength = info.video()->duration;
  EXPECT_NEAR(pictureLength, 600.0, 0.2);
  for (int track = 0; track < 2; ++track) {
    const auto samples = test::decodeAudioChannel(path, track);
    EXPECT_NEAR(samples.size() / 48000.0, pictureLength, 0.1) << "track " << track;
    for (double click : clicks) {
      const double expected = click - origin - (click > pauseEnd ? pauseEnd - pauseStart : 0);
      EXPECT_NEAR(onset(samples, expected - 1.0), expected, 0.05)
          << "track " << track << " burst at " << expected;
    }
  }
}

}  // namespace
}  // namespace tk
