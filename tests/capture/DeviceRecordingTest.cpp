// Microphone and camera recorded through the movie writer into real files, read back.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <future>

#include "capture/AudioCaptureEngine.h"
#include "capture/CameraCaptureEngine.h"
#include "capture/SoundServerFixture.h"
#include "capture/SyntheticCamera.h"
#include "platform/media/MonotonicClock.h"
#include "support/TestSupport.h"
#include "writing/MediaWriter.h"

namespace {

double probeDuration(const std::filesystem::path& file, const char* stream) {
  const std::string command = std::string("ffprobe -v error -select_streams ") + stream +
                              " -show_entries stream=duration -of csv=p=0 '" + file.string() + "'";
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[128];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
  }
  return output.empty() ? -1 : std::stod(output);
}

std::filesystem::path finish(tk::MediaWriter& writer) {
  // Finishing blocks; never on the thread whose event loop the test runs.
  return std::async(std::launch::async, [&writer] { return writer.finishWritingBlocking(); }).get();
}

}  // namespace

TEST(DeviceRecordingTest, MicrophoneAndCameraLayersLandInFilesOfTheRecordedLength) {
  TK_REQUIRE_DESKTOP();
  QTemporaryDir folder;
  const std::filesystem::path dir = folder.path().toStdString();

  // Camera layer: two seconds of synthetic frames at 30 fps after the screen's first frame.
  auto cameraWriter = std::make_shared<tk::MediaWriter>();
  cameraWriter->configure(tk::test::syntheticCameraLayer(dir / ".camera.mov"));
  cameraWriter->startWriting();
  tk::test::SyntheticCamera* source = nullptr;
  tk::CameraCaptureEngine cameraEngine([&](const tk::CaptureDevice& device) {
    auto made = std::make_unique<tk::test::SyntheticCamera>(device, 64, 48);
    source = made.get();
    return made;
  });
  cameraEngine.setupCamera(tk::test::syntheticDevice());
  cameraEngine.configureForSeparateLayerRecording(cameraWriter);
  cameraEngine.startCapture();
  ASSERT_TRUE(tk::test::waitUntil([&] { return cameraEngine.isCapturing(); }));
  const double screenStart = 50.0;
  cameraEngine.setSyncedSessionStartTime(tk::MediaTime::fromSeconds(screenStart, 1'000'000'000));
  int appended = 0;
  const double paceStart = tk::MonotonicClock::nowSeconds();
  for (int i = 0; i < 61; ++i) {
    // Frames at a camera's pace, as the encoder expects them.
    tk::test::waitUntil([&] { return tk::MonotonicClock::nowSeconds() >= paceStart + i / 30.0; });
    const auto before = cameraWriter->lastPTS();
    source->deliver(screenStart + i / 30.0);
    if (cameraWriter->lastPTS() != before) ++appended;
  }
  EXPECT_EQ(appended, 61);

  // Microphone: one second of the default source (a 440 Hz tone) into an audio movie.
  auto micWriter = std::make_shared<tk::MediaWriter>();
  tk::WriterConfiguration mic;
  mic.outputURL = dir / "mic.mov";
  micWriter->configure(mic);
  micWriter->startWriting();
  tk::AudioCaptureEngine audio;
  ASSERT_TRUE(audio.startMicrophone(std::nullopt, false));
  std::atomic<double> recorded{0};
  std::optional<tk::MediaTime> first;
  audio.setMicrophoneAudioHandler([&](const tk::SampleBuffer& sample) {
    if (recorded.load() >= 1.0) return;
    if (!first) {
      first = sample.presentationTime();
      micWriter->startSession(*first);
    }
    if (micWriter->appendMicrophoneAudio(sample, false, false))
      recorded = (sample.presentationTime() + sample.duration() - *first).seconds();
  });
  audio.startAudioCapture();
  ASSERT_TRUE(tk::test::waitUntil([&] { return recorded.load() >= 1.0; }));
  audio.stopAudioCapture();

  cameraEngine.stopCapture();
  const auto cameraFile = finish(*cameraWriter);
  const auto micFile = finish(*micWriter);
  EXPECT_NEAR(probeDuration(cameraFile, "v:0"), 61 / 30.0, 0.05);
  EXPECT_NEAR(probeDuration(micFile, "a:0"), recorded.load(), 0.05);
}
