#include "writing/AudioOnlyRecorder.h"

#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "MediaFileReader.h"
#include "WritingTestSupport.h"
#include "model/RecordingError.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using test::audioBlock;
using test::seconds;

struct Result {
  std::atomic<bool> done{false};
  std::filesystem::path path;
  std::exception_ptr error;
};

class AudioOnlyRecorderTest : public ::testing::Test {
 protected:
  RecordingConfiguration configuration(bool system, bool microphone, bool separate) const {
    RecordingConfiguration c;
    c.recordSystemAudio = system;
    c.recordMicrophone = microphone;
    c.separateAudioTracks = separate;
    c.outputDirectory = dir.path().toStdString();
    return c;
  }

  static void finish(AudioOnlyRecorder& recorder, Result& result) {
    recorder.finishRecording([&](std::filesystem::path path, std::exception_ptr error) {
      result.path = std::move(path);
      result.error = error;
      result.done = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return result.done.load(); }));
  }

  // One second of a tone of `amplitude` from `start`, in 10 ms blocks.
  static void feed(AudioOnlyRecorder& recorder, bool microphone, double start, float amplitude) {
    for (int b = 0; b < 100; ++b) {
      auto sample = SampleBuffer::audio(audioBlock(480, microphone, amplitude, 440, b * 480LL),
                                        seconds(start + b * 0.01));
      // Faster than real time, so the encoder is let to keep up; a refused block would be lost.
      ASSERT_TRUE(test::waitUntil([&] { return recorder.isReadyForAudio(); }));
      if (microphone)
        EXPECT_TRUE(recorder.appendMicrophoneAudio(sample));
      else
        EXPECT_TRUE(recorder.appendSystemAudio(sample));
    }
  }

  // Largest absolute sample within [from, to) seconds.
  static float peak(const std::vector<float>& samples, double from, double to) {
    float peak = 0;
    for (size_t i = static_cast<size_t>(from * 48000);
         i < std::min(samples.size(), static_cast<size_t>(to * 48000)); ++i)
      peak = std::max(peak, std::abs(samples[i]));
    return peak;
  }

  QTemporaryDir dir;
};

TEST_F(AudioOnlyRecorderTest, APackageKeepsSystemAudioAndMicrophoneApart) {
  AudioOnlyRecorder recorder(configuration(true, true, true));
  recorder.prepareRecordingFiles();
  ASSERT_TRUE(recorder.packageURL());
  const auto package = *recorder.packageURL();
  EXPECT_EQ(package.extension(), ".tka");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(package))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"info.json", "mic.m4a", "sys.m4a"}));
  std::ifstream infoFile(package / "info.json");
  const std::string info((std::istreambuf_iterator<char>(infoFile)), {});
  EXPECT_EQ(info.find('\n'), std::string::npos);
  const auto json = nlohmann::json::parse(info);
  EXPECT_EQ(json["format"], "m4a");
  EXPECT_EQ(json["encoder"], "aac");
  EXPECT_EQ(json["exportMP3"], false);
  EXPECT_EQ(json["sysVol"], 1.0);
  EXPECT_EQ(json["micVol"], 1.0);

  recorder.startWriting();
  feed(recorder, false, 20.0, 0.5f);  // system audio during the first second
  feed(recorder, true, 21.0, 0.5f);   // the microphone during the second
  Result result;
  finish(recorder, result);
  ASSERT_FALSE(result.error);
  EXPECT_EQ(result.path, package);
  const auto system = test::decodeAudioChannel(package / "sys.m4a", 0);
  const auto microphone = test::decodeAudioChannel(package / "mic.m4a", 0);
  EXPECT_GT(peak(system, 0.1, 0.9), 0.3f);
  EXPECT_LT(peak(microphone, 0.1, 0.9), 0.01f);  // starts late: silence, so both files line up
  EXPECT_GT(peak(microphone, 1.1, 1.9), 0.3f);
}

TEST_F(AudioOnlyRecorderTest, ASingleFileRecordsTheSourcesThatAreOn) {
  AudioOnlyRecorder both(configuration(true, true, false));
  both.prepareRecordingFiles();
  EXPECT_FALSE(both.packageURL());
  ASSERT_TRUE(both.systemAudioURL());
  EXPECT_EQ(both.systemAudioURL()->extension(), ".m4a");
  both.startWriting();
  feed(both, false, 5.0, 0.4f);
  feed(both, true, 6.0, 0.4f);
  Result mixed;
  finish(both, mixed);
  ASSERT_FALSE(mixed.error);
  const auto samples = test::decodeAudioChannel(mixed.path, 0);
  EXPECT_GT(peak(samples, 0.1, 0.9), 0.25f);
  EXPECT_GT(peak(samples, 1.1, 1.9), 0.25f);
  EXPECT_EQ(test::readMediaFile(mixed.path).formatName.find("mp4") != std::string::npos, true);

  AudioOnlyRecorder microphoneOnly(configuration(false, true, true));
  microphoneOnly.prepareRecordingFiles();
  EXPECT_FALSE(microphoneOnly.packageURL());
  microphoneOnly.startWriting();
  EXPECT_FALSE(microphoneOnly.appendSystemAudio(SampleBuffer::audio(audioBlock(480, true), seconds(1))));
  feed(microphoneOnly, true, 1.0, 0.4f);
  Result alone;
  finish(microphoneOnly, alone);
  ASSERT_FALSE(alone.error);
  EXPECT_NE(alone.path, mixed.path);  // the same second, another name
  EXPECT_GT(peak(test::decodeAudioChannel(alone.path, 0), 0.1, 0.9), 0.25f);
}

TEST_F(AudioOnlyRecorderTest, AMixedFileCountsTheBlocksItsEncoderRefusedAndFinishesOnce) {
  // The encoder is held until every block was offered, so its queue fills whatever the machine's speed.
  std::mutex gateMutex;
  std::condition_variable gateChanged;
  bool gateOpen = false;
  AudioOnlyRecorder both(configuration(true, true, false));
  both.setEncodeGate([&] {
    std::unique_lock lock(gateMutex);
    gateChanged.wait(lock, [&] { return gateOpen; });
  });
  both.prepareRecordingFiles();
  both.startWriting();
  uint64_t refused = 0;
  for (int b = 0; b < 3000; ++b) {
    for (bool microphone : {false, true}) {
      auto sample = SampleBuffer::audio(audioBlock(480, microphone, 0.4f, 440, b * 480LL), seconds(b * 0.01));
      refused += !(microphone ? both.appendMicrophoneAudio(sample) : both.appendSystemAudio(sample));
    }
  }
  {
    std::lock_guard lock(gateMutex);
    gateOpen = true;
  }
  gateChanged.notify_all();
  EXPECT_GT(refused, 0u);
  EXPECT_GE(both.refusedBlocks(), refused);
  Result first;
  finish(both, first);
  EXPECT_FALSE(first.error);  // what was written is kept
  // A second finish is refused at once and leaves the file alone.
  Result second;
  finish(both, second);
  EXPECT_TRUE(second.error);
  EXPECT_TRUE(std::filesystem::exists(first.path));
}

TEST_F(AudioOnlyRecorderTest, AFileNeverFinishedPlaysToWithinTwoSecondsOfWhatItWasGiven) {
  // What is on the disk while recording is what a killed process leaves: a copy of it must play.
  AudioOnlyRecorder recorder(configuration(true, false, false));
  recorder.prepareRecordingFiles();
  recorder.startWriting();
  for (int second = 0; second < 5; ++second) feed(recorder, false, second, 0.5f);
  const std::filesystem::path copy = dir.filePath("copy.m4a").toStdString();
  double lasts = 0;
  EXPECT_TRUE(test::waitUntil([&] {
    std::filesystem::copy_file(*recorder.systemAudioURL(), copy,
                               std::filesystem::copy_options::overwrite_existing);
    try {
      const test::MediaFileInfo info = test::readMediaFile(copy);
      lasts = info.audio().empty() ? 0 : info.audio().front()->endTime;
    } catch (const std::runtime_error&) {
      lasts = 0;
    }
    return lasts >= 3.0;
  })) << "the unfinished file plays "
      << lasts << " s of 5";
  EXPECT_LE(lasts, 5.0);
  Result result;
  finish(recorder, result);
  ASSERT_FALSE(result.error);
  const test::MediaFileInfo finished = test::readMediaFile(result.path);
  ASSERT_EQ(finished.audio().size(), 1u);
  EXPECT_NEAR(finished.audio().front()->endTime, 5.0, 0.05);
}

TEST_F(AudioOnlyRecorderTest, NothingRecordedIsAnErrorNotAnEmptyFile) {
  auto code = [](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const RecordingError& recording) {
      try {
        std::rethrow_exception(recording.underlying());
      } catch (const PlatformError& platform) {
        EXPECT_EQ(platform.domain(), "AudioOnlyRecorder");
        return platform.code();
      }
    }
    return 0;
  };
  AudioOnlyRecorder noSource(configuration(false, false, false));
  noSource.prepareRecordingFiles();
  Result none;
  finish(noSource, none);
  EXPECT_EQ(code(none.error), -3);

  AudioOnlyRecorder silent(configuration(true, false, false));
  silent.prepareRecordingFiles();
  silent.startWriting();
  const auto file = *silent.systemAudioURL();
  Result empty;
  finish(silent, empty);
  EXPECT_EQ(code(empty.error), -2);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(AudioOnlyRecorderTest, NamesAndOutputSettings) {
  const std::string name = AudioOnlyRecorder::outputName(std::chrono::system_clock::now());
  EXPECT_EQ(name.rfind("Audio Recording ", 0), 0u);
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_EQ(name.find(':'), std::string::npos);

  EXPECT_EQ(AudioOnlyRecorder::audioOutputSettings("aac").bitRate, 128000);
  EXPECT_EQ(AudioOnlyRecorder::audioOutputSettings("aac").formatID, "aac ");
  EXPECT_FALSE(AudioOnlyRecorder::audioOutputSettings("alac").bitRate);
  EXPECT_FALSE(AudioOnlyRecorder::audioOutputSettings("flac").bitRate);
  EXPECT_EQ(AudioOnlyRecorder::audioOutputSettings("opus").bitRate, 96000);
  EXPECT_EQ(AudioOnlyRecorder::audioOutputSettings("AAC").formatID, "aac ");
  EXPECT_EQ(AudioOnlyRecorder::audioOutputSettings("mp3").sampleRate, 48000.0);
}

}  // namespace
}  // namespace tk
