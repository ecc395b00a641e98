#include "writing/MediaWriter.h"

#include <QCoroTask>
#include <QTemporaryDir>
#include <fstream>
#include <thread>

#include "MediaFileReader.h"
#include "WritingTestSupport.h"
#include "support/TestSupport.h"
#include "writing/AlphaChannelRecorder.h"

namespace tk {
namespace {

using test::audioBlock;
using test::readMediaFile;
using test::seconds;
using test::splitFrame;
using test::writerConfiguration;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;

class MediaWriterTest : public ::testing::Test {
 protected:
  std::filesystem::path file(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

  // Writes `frames` frames at `frameRate` from source time 100 s, with 1024-frame audio blocks.
  void writeMovie(MediaWriter& writer, const WriterConfiguration& configuration, int frames, int frameRate,
                  int sourceWidth, int sourceHeight, bool withAudio = true) {
    writer.configure(configuration);
    writer.startWriting();
    writer.startSession(seconds(100));
    auto picture = splitFrame(sourceWidth, sourceHeight, kRed, kBlue);
    for (int i = 0; i < frames; ++i) {
      ASSERT_TRUE(appendPatiently([&] { return writer.appendVideoBuffer(SampleBuffer::video(picture, seconds(100) + MediaTime(i, frameRate))); }));
    }
    if (withAudio) {
      const int blocks = frames * 48000 / frameRate / 1024;
      for (int b = 0; b < blocks; ++b) {
        auto sample = SampleBuffer::audio(audioBlock(1024, b % 2 == 0, 0.25f, 440, b * 1024LL),
                                          seconds(100) + MediaTime(b * 1024LL, 48000));
        ASSERT_TRUE(appendPatiently([&] { return writer.appendMicrophoneAudio(sample, false, false); }));
      }
    }
  }

  // The test produces faster than real time: a refused sample is offered again once the encoder
  // has caught up, as a real-time source never needs.
  template <typename Append>
  static bool appendPatiently(Append append) {
    for (int attempt = 0; attempt < 2'000'000; ++attempt) {
      if (append()) return true;
      std::this_thread::yield();
    }
    return false;
  }

  std::filesystem::path finish(MediaWriter& writer) { return QCoro::waitFor(writer.finishWriting()); }

  QTemporaryDir dir;
};


TEST_F(MediaWriterTest, H264InMp4HasTaggedVideoFramesAndAudio) {
  MediaWriter writer;
  writeMovie(writer, writerConfiguration(file("a.mp4"), OutputFormat::mp4, 320, 240, 30), 60, 30, 320, 240);
  EXPECT_EQ(finish(writer), file("a.mp4"));

  auto info = readMediaFile(file("a.mp4"));
  ASSERT_NE(info.video(), nullptr);
  EXPECT_EQ(info.video()->codec, "h264");
  EXPECT_EQ(info.video()->width, 320);
  EXPECT_EQ(info.video()->height, 240);
  EXPECT_EQ(info.video()->packetCount, 60);
  EXPECT_NEAR(info.video()->duration, 2.0, 0.001);
  EXPECT_EQ(info.video()->colorPrimaries, "bt709");
  EXPECT_EQ(info.video()->colorTransfer, "bt709");
  EXPECT_EQ(info.video()->colorSpace, "bt709");
  EXPECT_EQ(info.video()->colorRange, "tv");
  ASSERT_EQ(info.audio().size(), 1u);
  EXPECT_EQ(info.audio()[0]->codec, "aac");
  EXPECT_EQ(info.audio()[0]->sampleRate, 48000);
  EXPECT_EQ(info.audio()[0]->channels, 2);
  EXPECT_NEAR(info.audio()[0]->duration, 2.0, 0.03);
}

TEST_F(MediaWriterTest, ConvertsWithTheBt709MatrixIntoLimitedRange) {
  MediaWriter writer;
  writeMovie(writer, writerConfiguration(file("colour.mov"), OutputFormat::mov, 64, 64, 30), 5, 30, 64, 64, false);
  finish(writer);
  // Red is Y 63 with BT.709 in limited range (BT.601 would give 81); blue on the right is Y 32.
  auto left = test::decodeVideoPixel(file("colour.mov"), 0, 8, 32);
  auto right = test::decodeVideoPixel(file("colour.mov"), 0, 56, 32);
  EXPECT_NEAR(left.y, 63, 2);
  EXPECT_NEAR(left.v, 240, 3);
  EXPECT_NEAR(right.y, 32, 2);
  EXPECT_NEAR(right.u, 240, 3);
}

}  // namespace
}  // namespace tk
