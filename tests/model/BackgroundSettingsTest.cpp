#include <gtest/gtest.h>

#include "model/BackgroundSettings.h"
#include "model/CameraShape.h"
#include "model/CursorOverlaySettings.h"
#include "model/CursorStyle.h"

using namespace tk;

TEST(BackgroundSettingsTest, AbsentOptionalsAreLeftOut) {
  BackgroundSettings background;
  background.type = StudioBackgroundType::solidColor;
  background.opacity = 0.5;
  JsonWriter out;
  encode(out, background);
  const Json json = out.take();
  EXPECT_EQ(json, Json::parse(R"({"type": "solidColor", "opacity": 0.5})"));

  GradientSettings gradient{{CodableColor{1, 0, 0, 1}}, 90, std::nullopt};
  JsonWriter gradientOut;
  encode(gradientOut, gradient);
  EXPECT_FALSE(gradientOut.take().contains("preset"));
}

TEST(BackgroundSettingsTest, ColourNeedsAllFourComponents) {
  EXPECT_THROW(decodeCodableColor(JsonReader(Json::parse(R"({"red": 1, "green": 0, "blue": 0})"))),
               JsonError);
  const CodableColor color =
      decodeCodableColor(JsonReader(Json::parse(R"({"red": 1, "green": 0.5, "blue": 0, "alpha": 0.25})")));
  EXPECT_EQ(color.green, 0.5);
  EXPECT_EQ(color.alpha, 0.25);
}

TEST(BackgroundSettingsTest, StoredValuesAreExactAndCaseSensitive) {
  EXPECT_EQ(fromRawValue<CursorAnimationSpeed>("Quick"), CursorAnimationSpeed::quick);
  EXPECT_EQ(fromRawValue<CursorAnimationSpeed>("quick"), std::nullopt);
  EXPECT_EQ(rawValue(CursorAnimationSpeed::mellow), "Mellow");
  EXPECT_EQ(fromRawValue<CursorStyle>("pointer"), CursorStyle::pointer);
  EXPECT_EQ(fromRawValue<CursorStyle>("Pointer"), std::nullopt);
  EXPECT_EQ(fromRawValue<CameraShape>("roundedRect"), CameraShape::roundedRect);
  EXPECT_EQ(fromRawValue<StudioBackgroundType>("solidColor"), StudioBackgroundType::solidColor);
  EXPECT_EQ(fromRawValue<GradientPreset>("Ocean"), std::nullopt);
}

TEST(CursorOverlaySettingsTest, SharedDefaultIsTheTableAndRoundTrips) {
  const CursorOverlaySettings table{true,  1.5,  0.5,  1.3,  0.15,
                                    false, true, 0.25, 0.49, CursorAnimationSpeed::quick};
  EXPECT_EQ(CursorOverlaySettings::defaultSettings(), table);
  CursorOverlaySettings copy = CursorOverlaySettings::defaultSettings();
  copy.scale = 2;

  JsonWriter out;
  encode(out, copy);
  const Json json = out.take();
  EXPECT_EQ(json["animationSpeed"], "Quick");
  EXPECT_EQ(decodeCursorOverlaySettings(JsonReader(json)), copy);
}
