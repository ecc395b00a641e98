#include "export/BackgroundImage.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

BackgroundSettings gradientOf(std::vector<CodableColor> colors, double angle) {
  BackgroundSettings b;
  b.type = StudioBackgroundType::gradient;
  b.gradient = GradientSettings{std::move(colors), angle, std::nullopt};
  return b;
}

TEST(BackgroundImageTest, TheSameDrawingIsRecognisedAndAnyColourChangeIsNot) {
  const CodableColor red{1, 0, 0, 1}, blue{0, 0, 1, 1}, green{0, 1, 0, 1};
  using BackgroundImage::drawsTheSame;
  EXPECT_TRUE(drawsTheSame(gradientOf({red, blue}, 45), gradientOf({red, blue}, 45)));
  EXPECT_FALSE(drawsTheSame(gradientOf({red, blue}, 45), gradientOf({red, green}, 45)));
  EXPECT_FALSE(drawsTheSame(gradientOf({red, blue}, 45), gradientOf({red, blue}, 46)));
  EXPECT_FALSE(drawsTheSame(gradientOf({red, blue}, 45), gradientOf({red, blue, green}, 45)));
  EXPECT_FALSE(drawsTheSame(gradientOf({red}, 0), std::nullopt));
  EXPECT_TRUE(drawsTheSame(std::nullopt, std::nullopt));
  BackgroundSettings a, b;
  a.type = b.type = StudioBackgroundType::solidColor;
  a.color = red;
  b.color = CodableColor{1, 0, 0, 0.5};
  EXPECT_FALSE(drawsTheSame(a, b));
  a.type = b.type = StudioBackgroundType::image;
  EXPECT_TRUE(drawsTheSame(a, b));  // drawn black either way
}

TEST(BackgroundImageTest, ColoursArePremultipliedAndClamped) {
  EXPECT_EQ(BackgroundImage::premultiplied({1, 0.5, 0, 1}), 0xffff8000u);
  EXPECT_EQ(BackgroundImage::premultiplied({1, 1, 1, 0.5}), 0x80808080u);
  EXPECT_EQ(BackgroundImage::premultiplied({2, -1, std::numeric_limits<double>::quiet_NaN(), 1}),
            0xffff0000u);
}

}  // namespace
}  // namespace tk
