#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <thread>

#include "capture/SoundServerFixture.h"
#include "support/TestMovies.h"

#include "platform/ffmpeg/AudioSampleReader.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/ffmpeg/VideoFrameReader.h"

namespace tk {
namespace {

// Movies written once for the whole suite.
class MediaReadingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new QTemporaryDir();
    test::TestMovieSpec spec;
    spec.seconds = 3.0;
    spec.silentUntil = 1.0;
    spec.keyframeInterval = 30;
    test::writeTestMovie(movie(), spec);
    test::TestMovieSpec hevc;
    hevc.format = ContainerFormat::mp4;
    hevc.codec = VideoCodecKind::hevc;
    hevc.frameRate = 24;
    hevc.withAudio = false;
    test::writeTestMovie(hevcMovie(), hevc);
    test::TestMovieSpec sound;
    sound.format = ContainerFormat::m4a;
    sound.withVideo = false;
    sound.toneHz = 1000;
    test::writeTestMovie(soundOnly(), sound);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }

  static std::filesystem::path path(const char* name) { return folder_->filePath(name).toStdString(); }
  static std::filesystem::path movie() { return path("bands.mov"); }
  static std::filesystem::path hevcMovie() { return path("bands.mp4"); }
  static std::filesystem::path soundOnly() { return path("tone.m4a"); }

  static QTemporaryDir* folder_;
};

QTemporaryDir* MediaReadingTest::folder_ = nullptr;

std::vector<float> firstChannel(AudioSampleReader& reader, int64_t* firstFrame = nullptr) {
  std::vector<float> values;
  bool first = true;
  while (auto block = reader.nextBlock()) {
    if (first && firstFrame) *firstFrame = block->presentationTime().value();
    first = false;
    const AudioBlock& samples = *block->audioBlock();
    for (int i = 0; i < samples.frameCount; ++i) values.push_back(samples.sample(i, 0));
  }
  return values;
}

TEST_F(MediaReadingTest, AssetListsTracksInFileOrderWithSizesRangesAndDuration) {
  const MediaAsset asset = MediaAsset::load(movie());
  ASSERT_EQ(asset.tracks().size(), 2u);
  const MediaTrack& video = asset.tracks()[0];
  const MediaTrack& audio = asset.tracks()[1];
  EXPECT_EQ(video.trackID, 1);
  EXPECT_EQ(video.kind, MediaKind::video);
  EXPECT_EQ(video.codec, "h264");
  EXPECT_EQ(video.width, 320);
  EXPECT_EQ(video.height, 180);
  EXPECT_NEAR(video.nominalFrameRate, 30.0, 0.01);
  EXPECT_NEAR(video.duration.seconds(), 3.0, 0.05);
  EXPECT_EQ(audio.kind, MediaKind::audio);
  EXPECT_EQ(audio.sampleRate, 48000);
  EXPECT_EQ(audio.channels, 2);
  EXPECT_NEAR(asset.duration().seconds(), 3.0, 0.05);
  EXPECT_EQ(asset.firstTrack(MediaKind::audio)->trackID, 2);

  const MediaAsset sound = MediaAsset::load(soundOnly());
  EXPECT_TRUE(sound.tracks(MediaKind::video).empty());
  ASSERT_EQ(sound.tracks(MediaKind::audio).size(), 1u);
  EXPECT_NEAR(sound.duration().seconds(), 2.0, 0.05);
}

TEST_F(MediaReadingTest, MissingOrForeignFilesFailWithTheirName) {
  try {
    MediaAsset::load(path("absent.mov"));
    FAIL() << "a missing file loaded";
  } catch (const FfmpegError& error) {
    EXPECT_NE(error.localizedDescription().find("absent.mov"), std::string::npos);
  }
  const auto text = path("notes.mov");
  std::ofstream(text) << "not a movie at all\n";
  EXPECT_THROW(MediaAsset::load(text), FfmpegError);
  EXPECT_THROW(VideoFrameReader{text}, FfmpegError);
  EXPECT_THROW(VideoFrameReader{soundOnly()}, FfmpegError);  // no video track to read
  EXPECT_THROW(AudioSampleReader(hevcMovie(), AudioFormat{}), FfmpegError);

  // A movie cut short (a disk that filled up): a clear error, or the frames that are there.
  for (double kept : {0.1, 0.6, 0.97}) {
    const auto cut = path("cut.mov");
    std::filesystem::copy_file(movie(), cut, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(cut, static_cast<uintmax_t>(std::filesystem::file_size(cut) * kept));
    try {
      VideoFrameReader reader(cut);
      int frames = 0;
      while (reader.nextFrame() && frames < 1000) ++frames;
      EXPECT_LE(frames, 90) << kept;
      reader.frameAt(MediaTime(1, 1));
    } catch (const FfmpegError& error) {
      EXPECT_FALSE(error.localizedDescription().empty());
    }
  }
}

TEST_F(MediaReadingTest, ExactSeekReturnsTheFrameShownAtThatTime) {
  VideoFrameReader reader(movie());
  // Forward inside a keyframe run, across runs, backwards, on and between frame boundaries, and
  // outside the movie at both ends.
  const std::vector<std::pair<double, int>> cases = {
      {0.0, 0},   {0.01, 0},  {0.034, 1},   {0.5, 15},   {0.999, 29}, {1.0, 30},
      {1.49, 44}, {2.95, 88}, {0.2, 6},     {1.7, 51},   {1.6, 48},   {2.0, 60},
      {-1.0, 0},  {99.0, 89}, {1.0334, 31}, {0.0667, 2}, {2.9999, 89}};
  for (const auto& [seconds, expected] : cases) {
    const SampleBuffer frame = reader.frameAt(MediaTime::fromSeconds(seconds, 1'000'000));
    ASSERT_TRUE(frame.isValid()) << seconds;
    EXPECT_EQ(test::frameIndexShown(*frame.pixelBuffer()), expected) << "at " << seconds << " s";
    EXPECT_EQ(frame.presentationTime(), MediaTime(expected, 30)) << "at " << seconds << " s";
  }
}

TEST_F(MediaReadingTest, ExactSeekWorksInHevcWithItsOwnRate) {
  VideoFrameReader reader(hevcMovie());
  for (const auto& [seconds, expected] :
       std::vector<std::pair<double, int>>{{1.5, 36}, {0.3, 7}, {1.99, 47}}) {
    const SampleBuffer frame = reader.frameAt(MediaTime::fromSeconds(seconds, 1'000'000));
    EXPECT_EQ(test::frameIndexShown(*frame.pixelBuffer()), expected) << seconds;
  }
}

TEST_F(MediaReadingTest, SequentialReadingGivesEveryFrameInOrderFromAnyStart) {
  VideoFrameReader reader(movie());
  int expected = 0;
  while (auto frame = reader.nextFrame()) {
    ASSERT_EQ(test::frameIndexShown(*frame->pixelBuffer()), expected);
    EXPECT_EQ(frame->presentationTime(), MediaTime(expected, 30));
    ++expected;
  }
  EXPECT_EQ(expected, 90);

  reader.seek(MediaTime::fromSeconds(1.51, 600));
  for (int index : {45, 46, 47}) EXPECT_EQ(test::frameIndexShown(*reader.nextFrame()->pixelBuffer()), index);
  // An exact read in between does not disturb the sequence's place.
  reader.seek(MediaTime(2, 1));
  EXPECT_EQ(test::frameIndexShown(*reader.nextFrame()->pixelBuffer()), 60);
  EXPECT_EQ(test::frameIndexShown(*reader.nextFrame()->pixelBuffer()), 61);
}

TEST_F(MediaReadingTest, FramesAreFullRangeBgraAtTheRequestedSize) {
  VideoFrameReader reader(movie());
  // Frame 1: band 0 white, band 1 black.
  const SampleBuffer natural = reader.frameAt(MediaTime(1, 30));
  const PixelBuffer& pixels = *natural.pixelBuffer();
  EXPECT_EQ(pixels.width(), 320);
  // Limited-range video expanded: black is 0 and white 255, not 16 and 235.
  const uint32_t white = pixels.pixel(20, 90), black = pixels.pixel(60, 90);
  EXPECT_GE(white & 0xFF, 250u);
  EXPECT_GE((white >> 16) & 0xFF, 250u);
  EXPECT_LE(black & 0xFF, 5u);
  EXPECT_EQ(black >> 24, 0xFFu);

  reader.setOutputSize(160, 90);
  const SampleBuffer small = reader.frameAt(MediaTime(85, 30));
  EXPECT_EQ(small.pixelBuffer()->width(), 160);
  EXPECT_EQ(small.pixelBuffer()->height(), 90);
  EXPECT_EQ(test::frameIndexShown(*small.pixelBuffer()), 85);
}

TEST_F(MediaReadingTest, ColoursComeBackThroughTheHighDefinitionMatrix) {
  const auto file = path("colour.mp4");
  {
    AssetWriter writer(file, ContainerFormat::mp4);
    VideoInputSettings video;
    video.width = 64;
    video.height = 64;
    video.frameRate = 10;
    video.bitRate = 2'000'000;
    writer.addVideoInput(video);
    writer.start();
    for (int i = 0; i < 5; ++i) {
      auto frame = PixelBuffer::create(64, 64);
      frame->fill(0xFFC83C1E);  // red 200, green 60, blue 30
      while (!writer.isReadyForVideo()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      ASSERT_TRUE(writer.appendVideo(frame, MediaTime(i, 10)));
    }
    writer.finish();
  }
  VideoFrameReader reader(file);
  const uint32_t pixel = reader.frameAt(MediaTime(2, 10)).pixelBuffer()->pixel(32, 32);
  // Decoding with the standard-definition matrix instead would miss green by more than 15.
  EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 200, 5);
  EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), 60, 5);
  EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 30, 5);
}

TEST_F(MediaReadingTest, AudioComesInTheRequestedFormatPlacedByTime) {
  AudioSampleReader reader(movie(), AudioFormat{48000, 2, true});
  int64_t expectedStart = 0;
  std::vector<float> left;
  bool channelsAgree = true;
  while (auto block = reader.nextBlock()) {
    ASSERT_EQ(block->presentationTime().timescale(), 48000);
    EXPECT_EQ(block->presentationTime().value(), expectedStart);
    const AudioBlock& samples = *block->audioBlock();
    EXPECT_EQ(samples.format, (AudioFormat{48000, 2, true}));
    expectedStart += samples.frameCount;
    for (int i = 0; i < samples.frameCount; ++i) {
      left.push_back(samples.sample(i, 0));
      channelsAgree = channelsAgree && samples.sample(i, 0) == samples.sample(i, 1);
    }
  }
  EXPECT_TRUE(channelsAgree);
  EXPECT_NEAR(static_cast<double>(left.size()) / 48000, 3.0, 0.05);
  EXPECT_NEAR(static_cast<double>(test::firstAbove(left, 0.1f)) / 48000, 1.0, 0.02);
  EXPECT_NEAR(test::spectrumPeak({left.begin() + 60000, left.begin() + 120000}, 48000), 440, 10);

  // Another rate, one channel, planar.
  AudioSampleReader mono(soundOnly(), AudioFormat{44100, 1, false});
  auto block = mono.nextBlock();
  ASSERT_TRUE(block);
  EXPECT_EQ(block->audioBlock()->format, (AudioFormat{44100, 1, false}));
  const std::vector<float> values = firstChannel(mono);
  EXPECT_NEAR(test::spectrumPeak({values.begin() + 4410, values.begin() + 30000}, 44100, 500, 1500), 1000,
              10);
}

TEST_F(MediaReadingTest, AudioSeekStartsExactlyAtTheTarget) {
  AudioSampleReader reader(movie(), AudioFormat{48000, 2, true});
  reader.seek(MediaTime(2, 1));
  int64_t first = -1;
  std::vector<float> after = firstChannel(reader, &first);
  EXPECT_EQ(first, 96000);
  EXPECT_NEAR(static_cast<double>(after.size()) / 48000, 1.0, 0.05);
  EXPECT_LT(test::firstAbove(after, 0.1f), 10u);  // the tone is already on

  reader.seek(MediaTime(1, 2));
  std::vector<float> fromHalf = firstChannel(reader, &first);
  EXPECT_EQ(first, 24000);
  EXPECT_NEAR(static_cast<double>(test::firstAbove(fromHalf, 0.1f)) / 48000, 0.5, 0.02);
}

}  // namespace
}  // namespace tk
