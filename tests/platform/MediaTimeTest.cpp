#include <gtest/gtest.h>

#include <cmath>

#include "platform/media/MediaTime.h"

using tk::MediaTime;

TEST(MediaTimeTest, SecondsOnA600GridRoundToTheNearestTickHalvesAwayFromZero) {
  EXPECT_EQ(MediaTime::fromSeconds(1.0, 600), MediaTime(600, 600));
  EXPECT_EQ(MediaTime::fromSeconds(1.0 / 60.0, 600).value(), 10);
  // 0.00125 s is 0.75 ticks, 0.000833 s is 0.5 ticks: both round up, -0.5 ticks rounds down.
  EXPECT_EQ(MediaTime::fromSeconds(0.00125, 600).value(), 1);
  EXPECT_EQ(MediaTime::fromSeconds(0.5 / 600.0, 600).value(), 1);
  EXPECT_EQ(MediaTime::fromSeconds(-0.5 / 600.0, 600).value(), -1);
  EXPECT_FALSE(MediaTime::fromSeconds(std::nan(""), 600).isValid());
  EXPECT_FALSE(MediaTime::fromSeconds(INFINITY, 600).isValid());
}

TEST(MediaTimeTest, ArithmeticAcrossTimescalesIsExact) {
  const MediaTime a(1, 3);   // 1/3 s
  const MediaTime b(1, 600);
  const MediaTime sum = a + b;
  EXPECT_EQ(sum, MediaTime(201, 600));
  EXPECT_EQ(sum - b, a);
  // Nanosecond host times minus a 600-grid offset keep nanosecond precision.
  const MediaTime host = MediaTime::fromNanoseconds(5'000'000'001);
  EXPECT_EQ((host - MediaTime(3000, 600)).value(), 1);
}

TEST(MediaTimeTest, InvalidTimesPoisonArithmeticAndSortFirst) {
  const MediaTime invalid;
  EXPECT_FALSE((invalid + MediaTime(1, 1)).isValid());
  EXPECT_FALSE((MediaTime(1, 1) - invalid).isValid());
  EXPECT_LT(invalid, MediaTime(-100, 1));
  EXPECT_NE(invalid, MediaTime::zero());
  EXPECT_EQ(invalid.description(), "invalid");
}

TEST(MediaTimeTest, ComparisonAndConversionDoNotOverflowWithLargeValues) {
  const MediaTime hours = MediaTime::fromNanoseconds(int64_t(100) * 3600 * 1'000'000'000);
  EXPECT_GT(hours, MediaTime(3600 * 99, 1));
  EXPECT_EQ(hours.convertScale(600).value(), int64_t(100) * 3600 * 600);
  EXPECT_EQ(MediaTime(7, 10).convertScale(1, MediaTime::Rounding::Floor).value(), 0);
  EXPECT_EQ(MediaTime(-7, 10).convertScale(1, MediaTime::Rounding::Floor).value(), -1);
  EXPECT_EQ(MediaTime(7, 10).convertScale(1, MediaTime::Rounding::TowardZero).value(), 0);
}
