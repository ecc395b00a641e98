#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <complex>
#include <filesystem>
#include <memory>
#include <vector>

#include "capture/SoundServerFixture.h"
#include "platform/ffmpeg/AudioSampleReader.h"
#include "recording/RecordingCoordinator.h"
#include "recording/RecordingTestSupport.h"
#include "support/TestSupport.h"

namespace tk::test {

// One audio package, recorded once per test program by the coordinator from the private sound
// server: the system audio a 1000 Hz tone played into the null sink, the microphone the server's
// 440 Hz sine source.
class AudioPackageFixture : public ::testing::Test {
 public:
  static constexpr double kSystemTone = 1000;
  static constexpr double kMicrophoneTone = 440;

  static void SetUpTestSuite() {
    if (!inTestEnvironment() || recorded_) return;
    recorded_ = true;
    folder_ = std::make_unique<QTemporaryDir>();
    const std::string module =
        pactl("load-module module-sine sink=" + qEnvironmentVariable("TK_TEST_SINK").toStdString() +
              " frequency=1000");
    {
      RecordingCoordinator coordinator;
      coordinator.setResultOpener([](const std::filesystem::path&, const std::filesystem::path&, bool) {});
      RecordingConfiguration configuration;
      configuration.mode = RecordingMode::systemAudio();
      configuration.recordSystemAudio = true;
      configuration.recordMicrophone = true;
      configuration.microphoneDevice = "default";
      configuration.separateAudioTracks = true;
      configuration.countdown = 0;
      configuration.outputDirectory = folder_->path().toStdString();
      try {
        awaitTask(coordinator.prepareRecording(configuration.mode, configuration));
        awaitTask(coordinator.startRecording());
        // The monitor's first fragments arrive late: record long enough for a few seconds of tone.
        waitUntil([&] { return coordinator.recordingDuration() >= 6.0; }, std::chrono::seconds(40));
        awaitTask(coordinator.stopRecording());
        if (auto* completed = coordinator.recordingState().get<RecordingState::Completed>())
          package_ = completed->fileURL;
      } catch (const std::exception& error) {
        ADD_FAILURE() << "recording the package failed: " << error.what();
      }
    }
    if (!module.empty()) pactl("unload-module " + module);
  }

 protected:
  void SetUp() override {
    TK_REQUIRE_DESKTOP();
    ASSERT_FALSE(package_.empty()) << "no package was recorded";
  }

  static const std::filesystem::path& package() { return package_; }

  // The first channel of a file decoded at 48 kHz stereo, from `startFrame`, `frames` long at most.
  static std::vector<float> decoded(const std::filesystem::path& file, int64_t startFrame = 0,
                                    int64_t frames = INT64_MAX, bool interleavedBoth = false) {
    AudioSampleReader reader(file, AudioFormat{48000, 2, true});
    if (startFrame > 0) reader.seek(MediaTime(startFrame, 48000));
    std::vector<float> values;
    const int64_t wanted = frames == INT64_MAX ? INT64_MAX : frames * (interleavedBoth ? 2 : 1);
    while (static_cast<int64_t>(values.size()) < wanted) {
      auto block = reader.nextBlock();
      if (!block) break;
      const AudioBlock& b = *block->audioBlock();
      for (int f = 0; f < b.frameCount && static_cast<int64_t>(values.size()) < wanted; ++f) {
        values.push_back(b.sample(f, 0));
        if (interleavedBoth) values.push_back(b.sample(f, 1));
      }
    }
    return values;
  }

  // Amplitude of one frequency in [from, to) seconds of 48 kHz samples.
  static double toneLevel(const std::vector<float>& values, double frequency, double from, double to) {
    const size_t begin = static_cast<size_t>(from * 48000);
    const size_t end = std::min(values.size(), static_cast<size_t>(to * 48000));
    if (end <= begin) return 0;
    std::complex<double> sum;
    for (size_t i = begin; i < end; ++i)
      sum += static_cast<double>(values[i]) *
             std::polar(1.0, -2 * M_PI * frequency * static_cast<double>(i) / 48000);
    return 2 * std::abs(sum) / static_cast<double>(end - begin);
  }

 private:
  static inline bool recorded_ = false;
  static inline std::unique_ptr<QTemporaryDir> folder_;
  static inline std::filesystem::path package_;
};

}  // namespace tk::test
