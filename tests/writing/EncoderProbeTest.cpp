#include "platform/ffmpeg/EncoderProbe.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

TEST(EncoderProbeTest, AnswersFromTheInstalledEncoders) {
  EXPECT_TRUE(EncoderProbe::hasEncoder("libx264"));
  EXPECT_TRUE(EncoderProbe::hasEncoder("prores_ks"));
  EXPECT_FALSE(EncoderProbe::hasEncoder("no-such-encoder"));
  EXPECT_TRUE(EncoderProbe::canEncode(VideoCodecKind::h264, 1920, 1080));
  EXPECT_TRUE(EncoderProbe::canEncode(VideoCodecKind::h264, 1921, 1081));  // encoded at the even size below
  EXPECT_FALSE(EncoderProbe::canEncode(VideoCodecKind::h264, 1, 1));
  EXPECT_FALSE(EncoderProbe::canEncode(VideoCodecKind::h264, 1 << 20, 1 << 20));
}

}  // namespace
}  // namespace tk
