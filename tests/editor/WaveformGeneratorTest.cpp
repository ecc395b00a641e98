#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include <QCoroTask>
#include "support/TestMovies.h"
#include "support/TestSupport.h"

#include "editor/WaveformGenerator.h"

namespace tk {
namespace {

TEST(WaveformGeneratorTest, FiftyBucketsASecondWithinTwoHundredAndTwoThousand) {
  EXPECT_EQ(WaveformGenerator::bucketCount(2), 200u);
  EXPECT_EQ(WaveformGenerator::bucketCount(3.99), 200u);
  EXPECT_EQ(WaveformGenerator::bucketCount(10), 500u);
  EXPECT_EQ(WaveformGenerator::bucketCount(60), 2000u);
  EXPECT_EQ(WaveformGenerator::bucketCount(0), 0u);
  EXPECT_EQ(WaveformGenerator::bucketCount(-1), 0u);
  // Durations no movie has give nothing rather than an undefined count.
  EXPECT_EQ(WaveformGenerator::bucketCount(std::numeric_limits<double>::quiet_NaN()), 0u);
  EXPECT_EQ(WaveformGenerator::bucketCount(std::numeric_limits<double>::infinity()), 0u);
  EXPECT_EQ(WaveformGenerator::bucketCount(1e300), 0u);
}

class WaveformOfMovies : public ::testing::Test {
 protected:
  std::filesystem::path write(const char* name, test::TestMovieSpec spec) {
    const std::filesystem::path file = folder_.filePath(name).toStdString();
    test::writeTestMovie(file, spec);
    return file;
  }
  QTemporaryDir folder_;
};

TEST_F(WaveformOfMovies, AToneAfterSilenceFillsTheLaterBucketsAtFullHeight) {
  test::TestMovieSpec spec;
  spec.width = 64;
  spec.height = 36;
  spec.seconds = 4.0;
  spec.silentUntil = 2.0;
  spec.toneLevel = 0.25f;
  const MediaAsset asset = MediaAsset::load(write("tone.mov", spec));
  const std::vector<float> buckets = QCoro::waitFor(WaveformGenerator::generateWaveform(asset, 4.0));
  ASSERT_EQ(buckets.size(), 200u);
  // 50 buckets a second: silent up to bucket 100, the steady tone after it is the loudest.
  for (size_t i = 0; i < 95; ++i) EXPECT_LT(buckets[i], 0.02f) << i;
  for (size_t i = 105; i < 195; ++i) EXPECT_NEAR(buckets[i], 1.0f, 0.05f) << i;
  EXPECT_EQ(*std::max_element(buckets.begin(), buckets.end()), 1.0f);
}

TEST_F(WaveformOfMovies, MoviesWithoutSoundGiveZerosAndBadDurationsNothing) {
  test::TestMovieSpec spec;
  spec.width = 64;
  spec.height = 36;
  spec.withAudio = false;
  const MediaAsset silent = MediaAsset::load(write("mute.mov", spec));
  EXPECT_EQ(WaveformGenerator::generate(silent, 2.0), std::vector<float>(200, 0.0f));
  EXPECT_TRUE(WaveformGenerator::generate(silent, 0).empty());
  EXPECT_TRUE(WaveformGenerator::generate(silent, std::nan("")).empty());

  // Sound that cannot be read any more: zeros, and the reason is printed.
  spec.withAudio = true;
  const auto file = write("gone.mov", spec);
  const MediaAsset gone = MediaAsset::load(file);
  std::filesystem::remove(file);
  test::CapturedLines lines;
  EXPECT_EQ(WaveformGenerator::generate(gone, 2.0), std::vector<float>(200, 0.0f));
  EXPECT_TRUE(lines.contains("Error generating waveform: "));
}

TEST_F(WaveformOfMovies, SoundShorterThanTheDurationLeavesTheLastBucketsEmpty) {
  test::TestMovieSpec spec;
  spec.width = 64;
  spec.height = 36;
  spec.seconds = 2.0;
  const MediaAsset asset = MediaAsset::load(write("short.mov", spec));
  const std::vector<float> buckets = WaveformGenerator::generate(asset, 6.0);  // 300 buckets
  ASSERT_EQ(buckets.size(), 300u);
  EXPECT_NEAR(buckets[50], 1.0f, 0.05f);
  for (size_t i = 105; i < 300; ++i) EXPECT_EQ(buckets[i], 0.0f) << i;
}

}  // namespace
}  // namespace tk
