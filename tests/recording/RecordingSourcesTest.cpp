// What the person asked to record is what is recorded: echo cancellation asks nothing of a
// microphone that is off, a camera that is not there fails preparation, a package names only the
// files it holds, system audio and the microphone are both heard, and the sound captured up to the
// stop is in the file.

#include <gtest/gtest.h>

#include <QUrl>
#include <cmath>
#include <complex>
#include <fstream>
#include <nlohmann/json.hpp>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "capture/SoundServerFixture.h"
#include "platform/media/MonotonicClock.h"
#include "support/TestSupport.h"
#include "writing/MediaWriter.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 48000;

// The amplitude of a tone of `frequency` in the samples from `from` to `to` seconds.
double toneLevel(const std::vector<float>& samples, double frequency, double from, double to) {
  const size_t first = size_t(std::max(0.0, from) * kRate);
  const size_t last = std::min(samples.size(), size_t(to * kRate));
  if (last <= first) return 0;
  std::complex<double> sum;
  for (size_t i = first; i < last; ++i)
    sum += double(samples[i]) * std::polar(1.0, -2 * M_PI * frequency * double(i) / kRate);
  return 2 * std::abs(sum) / double(last - first);
}

// The one sound track of a recorded file, as mono samples; it must last as long as the picture.
std::vector<float> oneTrackOf(const fs::path& file) {
  auto facts = test::probeMovie(file);
  if (!facts || facts->audioDurations.size() != 1) {
    ADD_FAILURE() << file << " has no single sound track";
    return {};
  }
  if (!facts->videoFrameTimes.empty()) {
    EXPECT_NEAR(facts->audioDurations[0], facts->videoDuration, 0.1) << "the tracks end apart";
  }
  return test::audioSamples(file, kRate);
}

// The cells of `length` seconds from `from` to the end (the last 50 ms left out) where one of
// `tones` is missing, as "start(Hz)" pairs; empty when every cell holds all of them. Cells within
// 0.2 s of `join` are left out.
std::string cellsWithout(const std::vector<float>& samples, std::initializer_list<int> tones, double from,
                         double length, double join = -1) {
  const double end = double(samples.size()) / kRate;
  std::string missing;
  for (double cell = from; cell + length <= end - 0.05; cell += length)
    for (int tone : tones)
      if (std::abs(cell + length / 2 - join) > 0.2 + length / 2 &&
          toneLevel(samples, tone, cell, cell + length) < 0.05)
        missing += " " + std::to_string(cell).substr(0, 4) + "(" + std::to_string(tone) + ")";
  return missing;
}

class RecordingSourcesTest : public test::CoordinatorTest {
 protected:
  RecordingMode area() const { return RecordingMode::screenArea(display, QRectF(0, 0, 160, 120)); }
};

// Tells when the desktop's own microphone (a tone source, which the sound server hands over two
// seconds at a time, to every listener at once) last handed over a block.
class LongBlockWatch {
 public:
  LongBlockWatch() {
    PulseRecordStream::Options options;
    options.sourceName = qEnvironmentVariable("TK_TEST_SOURCE").toStdString();
    auto last = last_;
    stream_ = PulseRecordStream::start(
        options, [last](const SampleBuffer&) { *last = MonotonicClock::nowNanoseconds(); }, {});
  }
  // Waits for a block that comes after a pause in delivery, then until `afterSeconds` past it: the
  // source's next block, holding the sound captured since, is then still on its way.
  bool waitUntilAfterABlock(double afterSeconds) {
    const int64_t before = last_->load();
    if (!test::waitUntil([&] { return last_->load() > before + 1'000'000'000; }, std::chrono::seconds(10)))
      return false;
    const int64_t until = last_->load() + int64_t(afterSeconds * 1e9);
    return test::waitUntil([&] { return MonotonicClock::nowNanoseconds() >= until; },
                           std::chrono::seconds(10));
  }

 private:
  std::shared_ptr<std::atomic<int64_t>> last_ = std::make_shared<std::atomic<int64_t>>(0);
  std::unique_ptr<PulseRecordStream> stream_;
};

TEST_F(RecordingSourcesTest, EchoCancellationAsksNothingOfAMicrophoneThatIsOff) {
  // As the settings give it: echo cancellation on, the microphone off and so without a name.
  auto configuration = config(area());
  configuration.enableAEC = true;
  configuration.recordMicrophone = false;
  configuration.microphoneDevice.reset();
  auto movie = record(configuration, 0.5);
  ASSERT_TRUE(movie) << harness.error;
  EXPECT_TRUE(fs::exists(*movie));
}

TEST_F(RecordingSourcesTest, AMissingCameraFailsPreparationAndAPackageNamesOnlyItsFiles) {
  RecordingCoordinator::CameraSupply none;
  none.devices = [] { return std::vector<CaptureDevice>{}; };
  none.factory = [](const CaptureDevice&) { return std::unique_ptr<VideoCaptureSource>(); };
  harness.coordinator.setCameraSupply(none);

  for (const char* chosen : {"default", "Desk Camera"}) {
    SCOPED_TRACE(chosen);
    auto configuration = config(area());
    configuration.outputDirectory = out() / chosen;
    configuration.recordCamera = true;
    configuration.cameraDevice = chosen;
    ASSERT_TRUE(harness.waitForIdle());
    EXPECT_FALSE(harness.start(configuration.mode, configuration));
    ASSERT_TRUE(harness.coordinator.lastError());
    const std::string said = harness.coordinator.lastError()->localizedDescription();
    EXPECT_NE(said.find(std::string(chosen) == "default" ? "No camera" : "\"Desk Camera\""),
              std::string::npos)
        << said;
    EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
    // Nothing half-made is left behind.
    std::error_code ignored;
    EXPECT_TRUE(fs::is_empty(configuration.outputDirectory, ignored) ||
                !fs::exists(configuration.outputDirectory, ignored));
  }

  // A package without a camera: its manifest sends a reader to no file that is not there.
  auto configuration = config(area());
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableSeparateLayers = true;
  auto package = record(configuration, 0.5);
  ASSERT_TRUE(package) << harness.error;
  std::ifstream in(*package / ".package.json");
  const auto manifest = nlohmann::json::parse(in, nullptr, false);
  ASSERT_TRUE(manifest.is_object());
  EXPECT_FALSE(manifest.contains("audioURL"));
  EXPECT_FALSE(manifest.contains("cameraVideoURL"));
  for (const char* key : {"screenVideoURL", "metadataURL"}) {
    const std::string url = manifest.value(key, "");
    ASSERT_EQ(url.rfind("file://", 0), 0u) << key;
    EXPECT_TRUE(fs::exists(QUrl(QString::fromStdString(url)).toLocalFile().toStdString())) << url;
  }
}

TEST_F(RecordingSourcesTest, SystemAudioAndTheMicrophoneAreBothInTheOneTrack) {
  test::VirtualMicrophone microphone("tk_mixed_microphone", 660);
  ASSERT_TRUE(microphone.ready());
  test::MonitorListener output(qEnvironmentVariable("TK_TEST_SINK").toStdString());
  ASSERT_TRUE(output.waitUntilFlowing());
  test::ToneInNullSink played(440);
  ASSERT_TRUE(played.playing());

  // The separate-tracks choice has no second track to give a movie: both are mixed there too.
  for (bool separate : {false, true}) {
    SCOPED_TRACE(separate ? "separate tracks chosen" : "one track");
    auto configuration = systemAudioConfig(area());
    configuration.recordMicrophone = true;
    configuration.microphoneDevice = microphone.name();
    configuration.separateAudioTracks = separate;
    auto movie = record(configuration, 2.0);
    ASSERT_TRUE(movie) << harness.error;
    const auto samples = oneTrackOf(*movie);
    const double end = double(samples.size()) / kRate;
    const double system = toneLevel(samples, 440, 0.5, end - 0.2);
    const double voice = toneLevel(samples, 660, 0.5, end - 0.2);
    const double neither = toneLevel(samples, 550, 0.5, end - 0.2);
    EXPECT_GT(system, 0.05) << "system audio is missing";
    EXPECT_GT(voice, 0.05) << "the microphone is missing";
    EXPECT_LT(neither, std::min(system, voice) / 5);
  }
}

// The desktop's own microphone (a tone source) is handed over two seconds at a time, system audio
// in steps of about 20 ms: mixed, neither may lose a moment to the other, before a pause or after.
TEST_F(RecordingSourcesTest, AMicrophoneThatDeliversInLongBlocksIsMixedWholeAcrossAPause) {
  test::MonitorListener output(qEnvironmentVariable("TK_TEST_SINK").toStdString());
  ASSERT_TRUE(output.waitUntilFlowing());
  test::ToneInNullSink played(1000);
  ASSERT_TRUE(played.playing());
  auto configuration = systemAudioConfig(area());
  configuration.recordMicrophone = true;
  configuration.microphoneDevice = "default";
  ASSERT_TRUE(harness.start(configuration.mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(3.0));
  harness.coordinator.pauseRecording();
  const double join = harness.coordinator.recordingDuration();
  test::pumpEvents(std::chrono::milliseconds(1000));
  harness.coordinator.resumeRecording();
  ASSERT_TRUE(harness.recordFor(join + 3.0));
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;
  // Only the sound is judged here: on a busy machine the picture's last frames may come late.
  const auto samples = test::audioSamples(*movie, kRate);
  ASSERT_GT(samples.size(), size_t(kRate * 5.5));
  // From the time the microphone's stream needs to open (it starts after the picture) to the end;
  // the tones' phases jump where the pause was cut out, so the cells there are not judged.
  EXPECT_EQ(cellsWithout(samples, {440, 1000}, 0.5, 0.1, join), "");
}

// The microphone's last block is still on its way when the take ends (1.2 s of it captured, as it
// hands over two seconds at a time): stopped, ended because the process exits, or stopped with the
// process ending while the stop waits, the mix waits for it and hands all of its sound on, so both
// tones last as long as the picture. A microphone
// that hands over nothing more (its source suspended) is waited for no longer than the limit, and
// the system audio still lasts to the end.
TEST_F(RecordingSourcesTest, MixedSoundLastsAsLongAsThePictureWhenAMicrophoneBlockIsOnItsWayAtTheEnd) {
  test::MonitorListener output(qEnvironmentVariable("TK_TEST_SINK").toStdString());
  ASSERT_TRUE(output.waitUntilFlowing());
  test::ToneInNullSink played(1000);
  ASSERT_TRUE(played.playing());
  const std::string source = qEnvironmentVariable("TK_TEST_SOURCE").toStdString();
  LongBlockWatch microphoneBlocks;
  auto configuration = systemAudioConfig(area());
  configuration.recordMicrophone = true;
  configuration.microphoneDevice = "default";
  enum class Ending { stopped, exiting, exitingWhileStopping };
  struct Case {
    const char* name;
    Ending ending;
    bool microphoneSilent;
  };
  int take = 0;
  for (const Case& item : {Case{"stopped", Ending::stopped, false},
                           Case{"the process exits", Ending::exiting, false},
                           Case{"the process exits as the stop waits", Ending::exitingWhileStopping, false},
                           Case{"stopped, the microphone silent", Ending::stopped, true},
                           Case{"the process exits, the microphone silent", Ending::exiting, true}}) {
    SCOPED_TRACE(item.name);
    configuration.outputDirectory = out() / std::to_string(++take);
    ASSERT_TRUE(harness.waitForIdle());
    ASSERT_TRUE(harness.start(configuration.mode, configuration)) << harness.error;
    ASSERT_TRUE(harness.recordFor(2.5));
    ASSERT_TRUE(microphoneBlocks.waitUntilAfterABlock(1.2));
    if (item.microphoneSilent) test::pactl("suspend-source " + source + " 1");
    const auto ending = std::chrono::steady_clock::now();
    fs::path movie;
    if (item.ending == Ending::exitingWhileStopping) {
      movie = *harness.coordinator.mediaWriter()->outputURL();
      auto stopping = harness.coordinator.stopRecording();  // runs until it waits for the sound
      ASSERT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::finalizing);
      harness.coordinator.finishBeforeExit();
      // As a process that went on would; the take is finished already.
      try {
        test::awaitTask(std::move(stopping));
      } catch (const std::exception&) {
      }
    } else if (item.ending == Ending::exiting) {
      movie = *harness.coordinator.mediaWriter()->outputURL();
      harness.coordinator.finishBeforeExit();
      harness.stop();  // as a process that went on would; the take is finished already
    } else {
      auto result = harness.stop();
      ASSERT_TRUE(result) << harness.error;
      movie = *result;
    }
    const auto waited = std::chrono::steady_clock::now() - ending;
    if (item.microphoneSilent) test::pactl("suspend-source " + source + " 0");
    // The wait for the sound is bounded (three seconds); the rest is closing the file.
    EXPECT_LT(waited, std::chrono::seconds(10));
    auto facts = test::probeMovie(movie);
    ASSERT_TRUE(facts && facts->audioDurations.size() == 1) << movie;
    // Within two of the microphone's blocks of 1024 frames.
    EXPECT_NEAR(facts->audioDurations[0], facts->videoDuration, 0.045);
    auto samples = test::audioSamples(movie, kRate);
    samples.resize(std::min(samples.size(), size_t(facts->videoDuration * kRate)));
    // From the time the microphone's stream needs to open (it starts after the picture) to the
    // picture's end; a silent microphone up to its last block, 1.2 s before.
    EXPECT_EQ(cellsWithout(samples, {1000}, 0.5, 0.1), "");
    if (item.microphoneSilent) samples.resize(samples.size() - size_t(1.3 * kRate));
    EXPECT_EQ(cellsWithout(samples, {440}, 0.5, 0.1), "");
  }
}

// A tone already playing when Record is pressed, on an output nobody else listens to (it renders
// seconds ahead then, and what it rendered before anyone listened never reaches its monitor).
TEST_F(RecordingSourcesTest, SoundPlayingBeforeRecordIsThereFromTheFirstFrame) {
  test::ToneInNullSink played(1000);
  ASSERT_TRUE(played.playing());
  auto movie = record(systemAudioConfig(area()), 2.0);
  ASSERT_TRUE(movie) << harness.error;
  const auto samples = test::audioSamples(*movie, kRate);
  ASSERT_GT(samples.size(), size_t(kRate * 1.5));
  EXPECT_EQ(cellsWithout(samples, {1000}, 0, 0.05), "");
}

TEST_F(RecordingSourcesTest, TheSoundCapturedUpToTheStopIsInTheFile) {
  // The desktop's own microphone: a tone source the sound server hands over in its own steps.
  auto movieConfig = config(area());
  movieConfig.recordMicrophone = true;
  movieConfig.microphoneDevice = "default";
  auto packageConfig = movieConfig;
  packageConfig.studioConfig = StudioRecordingConfiguration{};
  packageConfig.studioConfig->enableSeparateLayers = true;
  auto audioOnlyConfig = movieConfig;
  audioOnlyConfig.mode = RecordingMode::systemAudio();

  struct Case {
    const char* name;
    RecordingConfiguration configuration;
  };
  for (const Case& item :
       {Case{"movie", movieConfig}, Case{"package", packageConfig}, Case{"audio only", audioOnlyConfig}}) {
    SCOPED_TRACE(item.name);
    auto result = record(item.configuration, 2.5);
    ASSERT_TRUE(result) << harness.error;
    const fs::path file = fs::is_directory(*result) ? *result / ".screen.mov" : *result;
    // The tone played up to the stop: its last second is as loud as the second before.
    const auto samples = oneTrackOf(file);
    const double end = double(samples.size()) / kRate;
    ASSERT_GT(end, 2.0);
    const double before = toneLevel(samples, 440, end - 2.0, end - 1.0);
    const double last = toneLevel(samples, 440, end - 1.0, end - 0.03);
    EXPECT_GT(before, 0.05);
    EXPECT_GT(last, before * 0.8) << "the last second is quieter than the one before";
  }
}

}  // namespace
}  // namespace tk
