#include "editor/OutputAspectRatio.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

using AspectRatio::outputCanvasSize;

TEST(OutputAspectRatioTest, CanvasKeepsTheSourceAndGrowsOneSideToTheRatio) {
  const QSizeF landscape(1920, 1080), portrait(1080, 1920);
  EXPECT_EQ(outputCanvasSize(OutputAspectRatio::original, landscape), landscape);
  EXPECT_EQ(outputCanvasSize(OutputAspectRatio::ratio16x9, landscape), landscape);
  EXPECT_EQ(outputCanvasSize(OutputAspectRatio::ratio1x1, landscape), QSizeF(1920, 1920));
  EXPECT_EQ(outputCanvasSize(OutputAspectRatio::ratio4x3, landscape), QSizeF(1920, 1440));
  const QSizeF tall = outputCanvasSize(OutputAspectRatio::ratio9x16, landscape);
  EXPECT_DOUBLE_EQ(tall.width(), 1920);
  EXPECT_NEAR(tall.height(), 3413.3333333, 1e-6);
  const QSizeF wide = outputCanvasSize(OutputAspectRatio::ratio16x9, portrait);
  EXPECT_NEAR(wide.width(), 3413.3333333, 1e-6);
  EXPECT_DOUBLE_EQ(wide.height(), 1920);
  EXPECT_EQ(outputCanvasSize(OutputAspectRatio::ratio4x5, portrait), QSizeF(1536, 1920));
  EXPECT_EQ(outputCanvasSize(OutputAspectRatio::ratio4x5, QSizeF(1000, 1000)), QSizeF(1000, 1250));
}

TEST(OutputAspectRatioTest, EmptySourceTakesTheWidthKeepingBranchWithoutCrashing) {
  const QSizeF zero = outputCanvasSize(OutputAspectRatio::ratio1x1, QSizeF(0, 0));
  EXPECT_EQ(zero.width(), 0);
  EXPECT_EQ(zero.height(), 0);
}

TEST(OutputAspectRatioTest, RawValuesMatchExactlyAndCaseSensitively) {
  EXPECT_EQ(fromRawValue<OutputAspectRatio>("16:9"), OutputAspectRatio::ratio16x9);
  EXPECT_EQ(fromRawValue<OutputAspectRatio>("Original"), OutputAspectRatio::original);
  EXPECT_EQ(fromRawValue<OutputAspectRatio>("16x9"), std::nullopt);
  EXPECT_EQ(fromRawValue<OutputAspectRatio>("original"), std::nullopt);
  for (auto ratio : allCases<OutputAspectRatio>())
    EXPECT_EQ(fromRawValue<OutputAspectRatio>(rawValue(ratio)), ratio);
}

}  // namespace
}  // namespace tk
