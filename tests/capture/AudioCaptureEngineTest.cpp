#include "capture/AudioCaptureEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "capture/SoundServerFixture.h"
#include "support/TestSupport.h"

using tk::AudioCaptureEngine;
using tk::test::CollectedSamples;

namespace {

// Records the microphone of a started engine until `blocks` blocks have arrived.
std::vector<tk::SampleBuffer> recordBlocks(AudioCaptureEngine& engine, size_t blocks) {
  CollectedSamples samples;
  engine.setMicrophoneAudioHandler([&samples](const tk::SampleBuffer& sample) { samples.add(sample); });
  engine.startAudioCapture();
  EXPECT_TRUE(tk::test::waitUntil([&] { return samples.count() >= blocks; }));
  engine.stopAudioCapture();
  return samples.all();
}

}  // namespace

TEST(AudioCaptureEngineTest, RecordsTheChosenMicrophoneNotTheDefault) {
  TK_REQUIRE_DESKTOP();
  tk::test::SineSource low("tk_test_mic_low", 300);
  tk::test::SineSource high("tk_test_mic_high", 1200);
  ASSERT_TRUE(low.loaded() && high.loaded());

  const auto chosen = AudioCaptureEngine::findMicrophoneDevice("Sine source at 1200 Hz");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->uniqueID, "tk_test_mic_high");
  EXPECT_EQ(AudioCaptureEngine::findMicrophoneDevice("tk_test_mic_low")->uniqueID, "tk_test_mic_low");
  EXPECT_FALSE(AudioCaptureEngine::findMicrophoneDevice("sine source at 1200 hz").has_value());
  EXPECT_FALSE(AudioCaptureEngine::findMicrophoneDevice("default").has_value());

  tk::test::CapturedLines lines;
  AudioCaptureEngine engine;
  ASSERT_TRUE(engine.startMicrophone(chosen, false));
  EXPECT_TRUE(engine.isCapturingMicrophone());
  EXPECT_EQ(lines.lines(), (std::vector<std::string>{
                               "ℹ️ Using the sound server for microphone (provides format conversion)",
                               "🎤 Microphone input format: 48000.0Hz / 1ch",
                               "🎯 Target audio format: 48000.0Hz / 2ch",
                               "✅ Audio converter created: 48000.0Hz/1ch → 48000.0Hz/2ch",
                           }));
  const auto blocks = recordBlocks(engine, 30);
  for (const auto& block : blocks) {
    EXPECT_EQ(block.audioBlock()->format, AudioCaptureEngine::kTargetFormat);
    EXPECT_EQ(block.audioBlock()->frameCount, 1024);
  }
  EXPECT_EQ(tk::test::spectrumPeak(tk::test::channelOf(blocks, 1), 48000), 1200);
  EXPECT_FALSE(engine.isCapturingMicrophone());
}

TEST(AudioCaptureEngineTest, WithoutAChoiceRecordsTheDefaultSourceAndEchoCancellationChangesNothing) {
  TK_REQUIRE_DESKTOP();
  tk::test::CapturedLines lines;
  AudioCaptureEngine engine;
  ASSERT_TRUE(engine.startMicrophone(std::nullopt, true));
  EXPECT_EQ(engine.currentMicDevice()->uniqueID, "tk_sine_source");
  EXPECT_TRUE(engine.isAECEnabled());
  EXPECT_FALSE(lines.contains("Using the sound server"));
  EXPECT_EQ(tk::test::spectrumPeak(tk::test::channelOf(recordBlocks(engine, 20), 0), 48000), 440);
}

TEST(AudioCaptureEngineTest, AMono44100MicrophoneArrivesAsStereo48000WithEqualChannels) {
  TK_REQUIRE_DESKTOP();
  tk::test::SineSource source("tk_test_mic_441", 600, 44100);
  ASSERT_TRUE(source.loaded());
  tk::test::CapturedLines lines;
  AudioCaptureEngine engine;
  ASSERT_TRUE(engine.startMicrophone(AudioCaptureEngine::findMicrophoneDevice(source.name()), false));
  EXPECT_TRUE(lines.contains("✅ Audio converter created: 44100.0Hz/1ch → 48000.0Hz/2ch"));
  const auto blocks = recordBlocks(engine, 30);
  const auto left = tk::test::channelOf(blocks, 0);
  EXPECT_EQ(left, tk::test::channelOf(blocks, 1));
  EXPECT_EQ(tk::test::spectrumPeak(left, 48000), 600);
}

TEST(AudioCaptureEngineTest, TheVolumeScalesEverySampleWithoutClipping) {
  // A gain on a block made by hand: exact values, both planes, stamp kept.
  auto block = std::make_shared<tk::AudioBlock>();
  block->format = AudioCaptureEngine::kTargetFormat;
  block->frameCount = 2;
  block->samples = {0.5f, -0.25f, 0.8f, -1.0f};
  const auto stamp = tk::MediaTime::fromNanoseconds(123'456'789);
  const auto louder = AudioCaptureEngine::applyGain(tk::SampleBuffer::audio(block, stamp), 2.0f);
  EXPECT_EQ(louder.audioBlock()->samples, (std::vector<float>{1.0f, -0.5f, 1.6f, -2.0f}));
  EXPECT_EQ(louder.presentationTime(), stamp);
  EXPECT_EQ(block->samples[0], 0.5f) << "the original block is shared and must stay as it was";

  TK_REQUIRE_DESKTOP();
  AudioCaptureEngine engine;
  ASSERT_TRUE(engine.startMicrophone(std::nullopt, false));
  const double full = tk::test::peakLevel(tk::test::channelOf(recordBlocks(engine, 10), 0));
  ASSERT_TRUE(engine.startMicrophone(std::nullopt, false));
  engine.setMicrophoneVolume(0.5f);
  const double half = tk::test::peakLevel(tk::test::channelOf(recordBlocks(engine, 10), 0));
  EXPECT_GT(full, 0.05);
  EXPECT_NEAR(half / full, 0.5, 0.02);
}

TEST(AudioCaptureEngineTest, NoServerOrNoSourceSaysNoMicrophoneAndStartsNothing) {
  TK_REQUIRE_DESKTOP();
  {
    tk::test::CapturedLines lines;
    AudioCaptureEngine engine;
    tk::CaptureDevice gone;
    gone.uniqueID = "tk_unplugged_microphone";
    EXPECT_FALSE(engine.startMicrophone(gone, false));
    EXPECT_TRUE(lines.contains("AudioCaptureEngine: No microphone device available"));
    EXPECT_FALSE(engine.isCapturingMicrophone());
    engine.startAudioCapture();  // nothing chosen: nothing starts, nothing throws
    engine.stopAudioCapture();
  }

  const std::string server = std::getenv("PULSE_SERVER");
  ::setenv("PULSE_SERVER", "unix:/nonexistent/tk/native", 1);
  tk::test::CapturedLines lines;
  AudioCaptureEngine engine;
  EXPECT_FALSE(engine.startMicrophone(std::nullopt, false));
  EXPECT_EQ(lines.lines(), (std::vector<std::string>{"AudioCaptureEngine: No microphone device available"}));
  EXPECT_FALSE(engine.currentMicDevice().has_value());
  EXPECT_FALSE(AudioCaptureEngine::requestMicrophoneAccess());
  EXPECT_TRUE(AudioCaptureEngine::availableMicrophoneDevices().empty());
  ::setenv("PULSE_SERVER", server.c_str(), 1);
  EXPECT_TRUE(AudioCaptureEngine::requestMicrophoneAccess());
}

TEST(AudioCaptureEngineTest, AudioOnlyRecordingsGetSystemAudioFromTheDefaultOutput) {
  TK_REQUIRE_DESKTOP();
  // A tone playing on the default output.
  const std::string tone = tk::test::pactl("load-module module-sine sink=tk_null_sink frequency=880");
  ASSERT_FALSE(tone.empty());
  CollectedSamples system;
  std::atomic<bool> destroyed{false};
  std::atomic<bool> lateCall{false};
  {
    AudioCaptureEngine engine;
    engine.setCapturingSystemAudio(true);
    engine.setSystemAudioHandler([&](const tk::SampleBuffer& sample) {
      if (destroyed) lateCall = true;
      system.add(sample);
    });
    engine.startAudioCapture();  // no microphone chosen; system audio still runs
    EXPECT_TRUE(tk::test::waitUntil([&] { return system.count() >= 30; }));
  }
  destroyed = true;
  tk::test::pactl("unload-module " + tone);
  EXPECT_FALSE(lateCall.load()) << "a handler ran after the engine was gone";
  const auto all = system.all();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front().audioBlock()->format, AudioCaptureEngine::kTargetFormat);
  // The last blocks are the ones surely recorded while the tone played.
  const std::vector<tk::SampleBuffer> tail(all.end() - 10, all.end());
  EXPECT_EQ(tk::test::spectrumPeak(tk::test::channelOf(tail, 0), 48000), 880);
}
