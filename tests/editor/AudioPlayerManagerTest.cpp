#include "editor/AudioPlayerManager.h"

#include "AudioPackageFixture.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/media/Error.h"
#include "platform/pulse/PulseRecordStream.h"

namespace tk {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class AudioPlayerManagerTest : public test::AudioPackageFixture {
 protected:
  void SetUp() override {
    AudioPackageFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    manager.loadAudioPackage("m4a", package(), "aac", false);
    ASSERT_TRUE(manager.hasSystemAudioFile() && manager.hasMicrophoneAudioFile());
  }

  fs::path scratch() const { return fs::path(folder.path().toStdString()); }

  // Exports and waits for the completion; the written file, or the error's description.
  std::pair<fs::path, std::string> exportTo(const fs::path& url) { return exportTo(manager, url); }
  static std::pair<fs::path, std::string> exportTo(AudioPlayerManager& manager, const fs::path& url) {
    bool done = false;
    std::pair<fs::path, std::string> result;
    manager.exportAudio(url, [&](fs::path written, std::exception_ptr error) {
      result.first = written;
      if (error) {
        try {
          std::rethrow_exception(error);
        } catch (const Error& e) {
          result.second = e.localizedDescription();
        }
      }
      done = true;
    });
    EXPECT_TRUE(manager.exporting());
    EXPECT_TRUE(test::waitUntil([&] { return done; }, 120s));
    EXPECT_FALSE(manager.exporting());
    return result;
  }

  QTemporaryDir folder;
  AudioPlayerManager manager;
};

TEST_F(AudioPlayerManagerTest, LoadingOpensBothTracksAndReportsAMissingOne) {
  const MediaAsset system = MediaAsset::load(package() / "sys.m4a");
  EXPECT_NEAR(manager.audioLength(), system.firstTrack(MediaKind::audio)->duration.seconds(), 1.0 / 48000);
  EXPECT_GT(manager.audioLength(), 3.0);

  fs::copy_file(package() / "sys.m4a", scratch() / "sys.m4a");
  test::CapturedLines lines;
  AudioPlayerManager alone;
  alone.loadAudioPackage("m4a", scratch(), "aac", false);
  EXPECT_TRUE(alone.hasSystemAudioFile());
  EXPECT_FALSE(alone.hasMicrophoneAudioFile());
  EXPECT_TRUE(lines.contains("Error loading audio files: "));
  alone.play();  // without both tracks nothing plays
  alone.seek(1.0);
  EXPECT_FALSE(alone.isPlaying());
  EXPECT_EQ(alone.lastStartFramePosition(), 0);
}

TEST_F(AudioPlayerManagerTest, SeeksLandOnTheirSampleAndStartOnlyWhenAsked) {
  manager.seek(2.5);
  EXPECT_EQ(manager.lastStartFramePosition(), 120000);
  EXPECT_DOUBLE_EQ(manager.progress(), 2.5 / manager.audioLength());
  EXPECT_FALSE(manager.isPlaying());

  manager.seek(-3);  // clamped to the start
  EXPECT_EQ(manager.lastStartFramePosition(), 0);
  EXPECT_EQ(manager.progress(), 0.0);
  EXPECT_EQ(manager.seekTime(), 0.0);

  manager.seek(2.5);
  manager.seek(manager.audioLength() + 1);  // past the end: stopped
  EXPECT_EQ(manager.progress(), 0.0);
  EXPECT_EQ(manager.lastStartFramePosition(), 0);

  manager.shouldPlay = true;
  manager.seek(1.0);
  EXPECT_TRUE(manager.isPlaying());
  EXPECT_TRUE(manager.progressTimerActive());
  ASSERT_TRUE(test::waitUntil([&] { return manager.progress() * manager.audioLength() > 1.2; }, 60s));
  manager.stop();
  EXPECT_FALSE(manager.progressTimerActive());

  // A seek while stopped is where the next play starts, not the beginning of the file.
  manager.shouldPlay = false;
  manager.seek(2.0);
  manager.play();
  EXPECT_EQ(manager.lastStartFramePosition(), 96000);
  ASSERT_TRUE(test::waitUntil([&] { return manager.progress() > 0; }, 60s));
  EXPECT_GE(manager.progress() * manager.audioLength(), 2.0 - 1e-9);
}

TEST_F(AudioPlayerManagerTest, PauseAndResumeContinueWhereTheListenerWas) {
  manager.play();
  ASSERT_TRUE(test::waitUntil([&] { return manager.progress() * manager.audioLength() > 1.0; }, 60s));
  manager.pause();
  EXPECT_FALSE(manager.isPlaying());
  EXPECT_FALSE(manager.progressTimerActive());
  const double pausedAt = manager.progress() * manager.audioLength();
  test::pumpEvents(300ms);

  manager.play();
  const double resumedAt = manager.lastStartFramePosition() / 48000.0;
  // The resume starts where the last tick saw the listener, or up to one tick after it: no jump
  // back (a repeat) and no skip ahead (a gap).
  EXPECT_GE(resumedAt, pausedAt);
  EXPECT_LE(resumedAt, pausedAt + 0.15);
  ASSERT_TRUE(
      test::waitUntil([&] { return manager.progress() * manager.audioLength() > resumedAt + 0.2; }, 60s));
  manager.stop();
  EXPECT_EQ(manager.progress(), 0.0);
  EXPECT_EQ(manager.lastStartFramePosition(), 0);
}

TEST_F(AudioPlayerManagerTest, TheEndStopsPlaybackOnceAndASeekCancelsIt) {
  manager.shouldPlay = true;
  manager.seek(manager.audioLength() - 0.2);
  ASSERT_TRUE(test::waitUntil([&] { return manager.endOfTrackStopPending(); }, 60s));
  manager.seek(1.0);  // the pending stop must not cut this new run short
  EXPECT_FALSE(manager.endOfTrackStopPending());
  test::pumpEvents(700ms);
  EXPECT_TRUE(manager.isPlaying());

  manager.seek(manager.audioLength() - 0.2);
  ASSERT_TRUE(test::waitUntil([&] { return !manager.isPlaying(); }, 60s));
  EXPECT_EQ(manager.progress(), 0.0);
  EXPECT_FALSE(manager.progressTimerActive());
}

TEST_F(AudioPlayerManagerTest, PlaybackReachesTheSinkAtTheChosenVolumes) {
  test::CollectedSamples heard;
  PulseRecordStream::Options options;
  options.monitorOfDefaultSink = true;
  auto monitor = PulseRecordStream::start(
      options, [&](const SampleBuffer& sample) { heard.add(sample); }, [](const std::string&) {});
  auto levelsOfLastHalfSecond = [&] {
    const auto left = test::channelOf(heard.all(), 0);
    const std::vector<float> last(left.end() - 24000, left.end());
    return std::pair{toneLevel(last, kSystemTone, 0, 0.5), toneLevel(last, kMicrophoneTone, 0, 0.5)};
  };

  manager.setSysVol(0.0f);
  manager.setMicVol(1.0f);
  manager.play();
  ASSERT_TRUE(test::waitUntil([&] { return test::channelOf(heard.all(), 0).size() >= 96000; }, 20s));
  const auto [systemMuted, microphoneFull] = levelsOfLastHalfSecond();
  EXPECT_GT(microphoneFull, 0.05);
  EXPECT_LT(systemMuted, microphoneFull / 20);

  manager.setSysVol(1.0f);
  manager.setMicVol(0.0f);
  const size_t before = test::channelOf(heard.all(), 0).size();
  ASSERT_TRUE(test::waitUntil([&] { return test::channelOf(heard.all(), 0).size() >= before + 72000; }, 20s));
  const auto [systemFull, microphoneMuted] = levelsOfLastHalfSecond();
  EXPECT_GT(systemFull, 0.05);
  EXPECT_LT(microphoneMuted, systemFull / 20);
  manager.stop();
}

TEST_F(AudioPlayerManagerTest, ExportWritesEveryFormatWithTheMixedLevels) {
  const auto system = decoded(package() / "sys.m4a");
  const auto microphone = decoded(package() / "mic.m4a");
  // Where both tracks hold sound: a track the sound server handed over less of ends early.
  const double shorter = double(std::min(system.size(), microphone.size())) / 48000;
  const double from = 1.0, to = std::min(shorter - 0.5, 4.0);
  ASSERT_GE(to - from, 0.5) << "the package holds too little of both tracks";
  const double systemLevel = toneLevel(system, kSystemTone, from, to);
  const double microphoneLevel = toneLevel(microphone, kMicrophoneTone, from, to);
  ASSERT_GT(systemLevel, 0.05);
  ASSERT_GT(microphoneLevel, 0.05);

  struct Case {
    std::string encoder;
    std::string codec;
    float sysVol, micVol;
  };
  for (const Case& c : {Case{"aac", "aac", 1.0f, 0.0f}, Case{"alac", "alac", 0.25f, 1.0f},
                        Case{"flac", "flac", 0.5f, 0.5f}, Case{"opus", "opus", 0.0f, 0.75f}}) {
    SCOPED_TRACE(c.encoder);
    manager.loadAudioPackage("m4a", package(), c.encoder, false);
    manager.setSysVol(c.sysVol);
    manager.setMicVol(c.micVol);
    const fs::path url = scratch() / ("mix-" + c.encoder + ".m4a");
    const auto [written, error] = exportTo(url);
    ASSERT_EQ(error, "");
    EXPECT_EQ(written, url);
    const MediaAsset asset = MediaAsset::load(url);
    ASSERT_TRUE(asset.firstTrack(MediaKind::audio));
    EXPECT_EQ(asset.firstTrack(MediaKind::audio)->codec, c.codec);
    EXPECT_NEAR(asset.duration().seconds(), manager.audioLength(), 0.03);
    const auto mixed = decoded(url);
    EXPECT_NEAR(toneLevel(mixed, kSystemTone, from, to), c.sysVol * systemLevel, 0.02 + 0.05 * systemLevel);
    EXPECT_NEAR(toneLevel(mixed, kMicrophoneTone, from, to), c.micVol * microphoneLevel,
                0.02 + 0.05 * microphoneLevel);
  }
}

TEST_F(AudioPlayerManagerTest, AFailedExportLeavesNoFileAndPlaybackGoesOn) {
  // The export's own reading of a track fails after the file was created.
  fs::copy_file(package() / "sys.m4a", scratch() / "sys.m4a");
  fs::copy_file(package() / "mic.m4a", scratch() / "mic.m4a");
  fs::create_directory(scratch() / "out");
  manager.loadAudioPackage("m4a", scratch(), "flac", false);
  fs::remove(scratch() / "mic.m4a");
  const auto [written, error] = exportTo(scratch() / "out" / "mix.m4a");
  EXPECT_NE(error, "");
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(fs::is_empty(scratch() / "out"));

  manager.play();
  EXPECT_TRUE(manager.isPlaying());
  EXPECT_TRUE(test::waitUntil([&] { return manager.progress() > 0; }, 60s));
  manager.stop();

  AudioPlayerManager empty;
  EXPECT_EQ(exportTo(empty, scratch() / "out" / "nothing.m4a").second, "Audio files not loaded");
  try {
    empty.exportMixedAudio(scratch() / "out" / "nothing.m4a");
    ADD_FAILURE() << "exported without tracks";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.domain(), "AudioPlayerManager");
    EXPECT_EQ(e.code(), -1);
    EXPECT_EQ(e.localizedDescription(), "Audio files not loaded");
  }
}

}  // namespace
}  // namespace tk
