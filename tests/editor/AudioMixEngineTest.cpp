#include "editor/AudioMixEngine.h"

#include "AudioPackageFixture.h"
#include "platform/ffmpeg/AudioFileWriter.h"
#include "platform/ffmpeg/FfmpegError.h"

namespace tk {
namespace {

using namespace std::chrono_literals;

class AudioMixEngineTest : public test::AudioPackageFixture {
 protected:
  void SetUp() override {
    AudioPackageFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    systemFrames = engine.openSource(0, package() / "sys.m4a");
    engine.openSource(1, package() / "mic.m4a");
  }

  // Both channels of `frames` frames of the segment from `position`.
  std::vector<float> pulled(int64_t position, int frames) {
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    engine.pull(out.data(), frames, position);
    return out;
  }

  AudioMixEngine engine;
  int64_t systemFrames = 0;
};

TEST_F(AudioMixEngineTest, ASegmentStartsOnItsFirstSampleAtTheVolumesOfTheMoment) {
  ASSERT_GT(systemFrames, 4 * 48000);
  // Mid-file, 2.5 s in, or earlier where a track the sound server handed over less of ends sooner.
  const int64_t shorter = std::min(systemFrames, engine.sourceFrames(1));
  const int64_t start = std::min<int64_t>(120000, shorter - 4800);
  ASSERT_GE(start, 48000) << "the package holds less than 1.1 s of both tracks";
  engine.setVolume(0, 1.0f);
  engine.setVolume(1, 0.0f);
  engine.schedule(start, systemFrames - start);
  ASSERT_TRUE(engine.waitForBuffered(60s));
  const auto system = decoded(package() / "sys.m4a", start, 4800, true);
  const auto microphone = decoded(package() / "mic.m4a", start, 4800, true);
  ASSERT_EQ(system.size(), 9600u);
  ASSERT_EQ(microphone.size(), 9600u);

  // The engine and the reference decode the file apart, so their floats may differ by rounding
  // (a few millionths); a sample early or late would differ by hundredths.
  // Both pulls stay within the head waitForBuffered promises (4096 frames of each source): past it,
  // frames the decoder has not yet delivered are silence by design.
  constexpr double kRounding = 1e-5;
  constexpr int kPull = 2048;
  const auto head = pulled(0, kPull);
  for (size_t i = 0; i < head.size(); ++i) ASSERT_NEAR(head[i], system[i], kRounding) << "value " << i;

  // A volume change is heard from the next frames the output asks for.
  engine.setVolume(0, 0.5f);
  engine.setVolume(1, 0.25f);
  const auto next = pulled(kPull, kPull);
  for (size_t i = 0; i < next.size(); ++i)
    ASSERT_NEAR(next[i], 0.5f * system[2 * kPull + i] + 0.25f * microphone[2 * kPull + i], kRounding)
        << "value " << i;

  // Past the segment's end there is only silence.
  engine.schedule(systemFrames - 100, 100);
  ASSERT_TRUE(engine.waitForBuffered(60s));
  const auto tail = pulled(0, 300);
  for (size_t i = 200; i < tail.size(); ++i) ASSERT_EQ(tail[i], 0.0f);
}

TEST_F(AudioMixEngineTest, RenderMakesExactlyTheAskedFramesInBoundedChunks) {
  std::vector<int> chunks;
  engine.render(10000, 4096, [&](const float*, int frames) { chunks.push_back(frames); });
  EXPECT_EQ(chunks, (std::vector<int>{4096, 4096, 1808}));

  // Asked for more than the files hold, the loop still ends, with silence after the audio.
  const int64_t frames = std::max(systemFrames, engine.sourceFrames(1)) + 20000;
  int64_t total = 0;
  float lastLevel = 1;
  engine.render(frames, 4096, [&](const float* mixed, int count) {
    total += count;
    lastLevel = 0;
    for (int i = 0; i < count * 2; ++i) lastLevel = std::max(lastLevel, std::abs(mixed[i]));
  });
  EXPECT_EQ(total, frames);
  EXPECT_EQ(lastLevel, 0.0f);
}

TEST_F(AudioMixEngineTest, FilesOfAnyRateCountOnTheSharedGrid) {
  QTemporaryDir folder;
  const std::filesystem::path file = std::filesystem::path(folder.path().toStdString()) / "slow.m4a";
  {
    AudioFileWriter writer(file, AudioFileSettings{AudioCodecKind::alac, 44100, 2, std::nullopt});
    std::vector<float> tone(44100 * 2);
    for (int i = 0; i < 44100; ++i)
      tone[2 * i] = tone[2 * i + 1] = 0.5f * std::sin(2 * M_PI * 441 * i / 44100.0);
    writer.write(tone.data(), 44100);
    writer.finish();
  }
  EXPECT_EQ(engine.openSource(1, file), 48000);  // one second
  EXPECT_THROW(engine.openSource(1, folder.path().toStdString() + "/missing.m4a"), FfmpegError);
  EXPECT_FALSE(engine.hasSource(1));
  EXPECT_TRUE(engine.hasSource(0));
}

}  // namespace
}  // namespace tk
