#include "writing/AlphaChannelRecorder.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

AlphaRecordingError validationError(int width, int height, AlphaVideoCodec codec) {
  try {
    AlphaChannelRecorder::validateAlphaResolution(width, height, codec);
  } catch (const AlphaRecordingError& error) {
    return error;
  }
  ADD_FAILURE() << width << "x" << height << " passed";
  return AlphaRecordingError::alphaChannelNotSupported();
}

TEST(AlphaChannelRecorderTest, ValidatesSizesInOrder) {
  EXPECT_NO_THROW(AlphaChannelRecorder::validateAlphaResolution(8192, 8192, AlphaVideoCodec::hevcWithAlpha));
  EXPECT_NO_THROW(AlphaChannelRecorder::validateAlphaResolution(1919, 1080, AlphaVideoCodec::proRes4444));

  auto tooLarge = validationError(8193, 100, AlphaVideoCodec::hevcWithAlpha);
  EXPECT_EQ(tooLarge.kind(), AlphaRecordingError::Kind::resolutionTooLarge);
  EXPECT_EQ(tooLarge.localizedDescription(),
            "Resolution 8193x100 exceeds maximum supported dimension of 8192.");
  EXPECT_EQ(tooLarge.recoverySuggestion(), "Choose a smaller resolution.");

  auto odd = validationError(1919, 1080, AlphaVideoCodec::hevcWithAlpha);
  EXPECT_EQ(odd.localizedDescription(),
            "Resolution 1919x1080 has invalid alignment. Dimensions must be multiples of 2.");
  EXPECT_EQ(odd.recoverySuggestion(), "Adjust resolution so both width and height are multiples of 2.");

  // Zero fails as invalid before the size or alignment checks.
  auto zero = validationError(0, 1080, AlphaVideoCodec::hevcWithAlpha);
  EXPECT_EQ(zero.localizedDescription(),
            "Invalid resolution: 0x1080. Width and height must be greater than 0.");
  EXPECT_EQ(AlphaRecordingError::codecNotSupported(AlphaVideoCodec::proRes4444XQ).localizedDescription(),
            "Alpha codec 'ProRes 4444 XQ' is not supported on this system");
}

TEST(AlphaChannelRecorderTest, CodecsAndSettingsOnThisFfmpeg) {
  // FFmpeg 5.1's HEVC encoder takes no alpha: ProRes stands in, and only in mov.
  EXPECT_FALSE(AlphaChannelRecorder::isHEVCWithAlphaSupported());
  EXPECT_EQ(AlphaChannelRecorder::supportedAlphaCodecs(),
            (std::vector<AlphaVideoCodec>{AlphaVideoCodec::proRes4444, AlphaVideoCodec::proRes4444XQ}));
  EXPECT_EQ(AlphaChannelRecorder::preferredAlphaCodec(OutputFormat::mov), AlphaVideoCodec::proRes4444);
  EXPECT_EQ(AlphaChannelRecorder::preferredAlphaCodec(OutputFormat::mp4), std::nullopt);

  auto hevc = AlphaChannelRecorder::alphaOutputSettings(0.7, 1920, 1080, AlphaVideoCodec::hevcWithAlpha);
  EXPECT_EQ(hevc.averageBitRate, 1000000);  // 217728 raised to the floor
  EXPECT_EQ(hevc.expectedFrameRate, 60);
  EXPECT_FALSE(hevc.allowFrameReordering);
  EXPECT_EQ(AlphaChannelRecorder::alphaOutputSettings(1.0, 64, 64, AlphaVideoCodec::proRes4444XQ).codec,
            VideoCodecKind::prores4444);
}

}  // namespace
}  // namespace tk
