// The file layer under every recording: a fragmented file keeps each track on its own clock, however
// the fragments fall.

#include "platform/ffmpeg/AssetWriter.h"

#include <QTemporaryDir>
#include <cmath>

#include "MediaFileReader.h"
#include "WritingTestSupport.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using test::seconds;

TEST(AssetWriterTest, SoundThatStartsAfterTheFirstFragmentPlaysAtItsOwnTime) {
  QTemporaryDir dir;
  const std::filesystem::path path = dir.filePath("late-sound.mp4").toStdString();
  AssetWriter writer(path, ContainerFormat::mp4);
  writer.setFragmented(true);
  VideoInputSettings video;
  video.width = 64;
  video.height = 64;
  video.frameRate = 30;
  video.bitRate = 200000;
  writer.addVideoInput(video);
  writer.addAudioInput(AudioInputSettings{});
  writer.start();
  const auto picture = test::splitFrame(64, 64, 0xffff0000, 0xff0000ff);
  for (int i = 0; i < 90; ++i) {
    ASSERT_TRUE(test::waitUntil([&] { return writer.isReadyForVideo(); }));
    ASSERT_TRUE(writer.appendVideo(picture, MediaTime(i, 30)));
  }
  // The header goes out with the first fragment: from then on it cannot change.
  ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::file_size(path) > 0; }))
      << "no fragment was written";
  // A tone from 2 s to 3 s; the track is silent before it.
  for (int b = 0; b < 100; ++b) {
    ASSERT_TRUE(test::waitUntil([&] { return writer.isReadyForAudio(0); }));
    ASSERT_TRUE(
        writer.appendAudio(0, test::audioBlock(480, false, 0.5f, 440, b * 480LL), seconds(2.0 + b * 0.01)));
  }
  writer.finish(seconds(3.0));

  const auto info = test::readMediaFile(path);
  ASSERT_NE(info.video(), nullptr);
  EXPECT_NEAR(info.video()->firstTime, 0.0, 1e-6);
  int rate = 0;
  const auto sound = test::decodeAudioChannel(path, 0, &rate);
  size_t onset = 0;
  while (onset < sound.size() && std::abs(sound[onset]) < 0.1f) ++onset;
  // The encoder's priming is 21 ms: a track placed by it would start the tone that much late.
  EXPECT_NEAR(static_cast<double>(onset) / rate, 2.0, 0.008);
  EXPECT_NEAR(static_cast<double>(sound.size()) / rate, 3.0, 0.03);
}

}  // namespace
}  // namespace tk
