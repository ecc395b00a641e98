#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "model/RecordingConfiguration.h"
#include "platform/qt/SettingsStore.h"
#include "support/TestSupport.h"

using namespace tk;
using tk::test::CapturedLines;

TEST(RecordingOptionsTest, RawValuesAndCases) {
  EXPECT_EQ(rawValue(VideoQuality::medium), 0.7);
  EXPECT_EQ(rawValue(ResolutionMode::high), 2);
  EXPECT_EQ(rawValue(VideoEncoder::h265), "h265");
  EXPECT_EQ(rawValue(OutputFormat::mp4), "mp4");
  EXPECT_EQ(rawValue(BackgroundType::gray), "gray");

  EXPECT_EQ(fromRawValue<ResolutionMode>(3), std::nullopt);
  EXPECT_EQ(fromRawValue<ResolutionMode>(1), ResolutionMode::normal);
  EXPECT_EQ(fromRawValue<VideoQuality>(0.5), std::nullopt);
  EXPECT_EQ(fromRawValue<VideoQuality>(0.3), VideoQuality::low);
  EXPECT_EQ(fromRawValue<BackgroundType>("Wallpaper"), std::nullopt);
  EXPECT_EQ(fromRawValue<BackgroundType>("custom"), BackgroundType::custom);
  EXPECT_EQ(fromRawValue<VideoEncoder>("H265"), std::nullopt);

  constexpr auto qualities = allCases<VideoQuality>();
  EXPECT_EQ(qualities, (std::array{VideoQuality::low, VideoQuality::medium, VideoQuality::high}));
  constexpr auto backgrounds = allCases<BackgroundType>();
  EXPECT_EQ(backgrounds.size(), 11u);
  EXPECT_EQ(backgrounds.front(), BackgroundType::wallpaper);
  EXPECT_EQ(backgrounds.back(), BackgroundType::custom);
}

TEST(RecordingOptionsTest, StoredValuesFallBackAsTheBuildersRead) {
  EXPECT_EQ(resolutionModeFromStoredValue(2), ResolutionMode::high);
  EXPECT_EQ(resolutionModeFromStoredValue(1), ResolutionMode::normal);
  EXPECT_EQ(resolutionModeFromStoredValue(0), ResolutionMode::low);
  EXPECT_EQ(resolutionModeFromStoredValue(3), ResolutionMode::low);
  EXPECT_EQ(resolutionModeFromStoredValue(-1), ResolutionMode::low);
  EXPECT_EQ(resolutionModeFromStoredValue(4294967298LL), ResolutionMode::low);  // not 2 after narrowing

  EXPECT_EQ(videoQualityFromStoredValue(1.0), VideoQuality::high);
  EXPECT_EQ(videoQualityFromStoredValue(0.7), VideoQuality::medium);
  EXPECT_EQ(videoQualityFromStoredValue(0.3), VideoQuality::low);
  EXPECT_EQ(videoQualityFromStoredValue(0.5), VideoQuality::low);
  EXPECT_EQ(videoQualityFromStoredValue(std::nan("")), VideoQuality::low);

  EXPECT_EQ(videoEncoderFromStoredValue("h265"), VideoEncoder::h265);
  EXPECT_EQ(videoEncoderFromStoredValue("h264"), VideoEncoder::h264);
  EXPECT_EQ(videoEncoderFromStoredValue("H265"), VideoEncoder::h264);
  EXPECT_EQ(videoEncoderFromStoredValue(""), VideoEncoder::h264);
  EXPECT_EQ(videoEncoderFromStoredValue(std::nullopt), VideoEncoder::h264);

  EXPECT_EQ(outputFormatFromStoredValue("mov"), OutputFormat::mov);
  EXPECT_EQ(outputFormatFromStoredValue("MOV"), OutputFormat::mp4);
  EXPECT_EQ(outputFormatFromStoredValue(std::nullopt), OutputFormat::mp4);

  EXPECT_EQ(backgroundTypeFromStoredValue("black"), BackgroundType::black);
  EXPECT_EQ(backgroundTypeFromStoredValue("white"), BackgroundType::white);
  EXPECT_EQ(backgroundTypeFromStoredValue("gray"), BackgroundType::gray);
  EXPECT_EQ(backgroundTypeFromStoredValue("clear"),
            BackgroundType::wallpaper);  // never offered by the builders
  EXPECT_EQ(backgroundTypeFromStoredValue("Black"), BackgroundType::wallpaper);
  EXPECT_EQ(backgroundTypeFromStoredValue(std::nullopt), BackgroundType::wallpaper);
}

class StudioConfigurationTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  SettingsStore store{dir.filePath("settings.conf")};
  RecordingConfiguration configuration;

  std::vector<std::string> load() {
    CapturedLines lines;
    configuration.loadStudioConfiguration(store);
    return lines.lines();
  }
};

TEST_F(StudioConfigurationTest, NoSwitchOnMeansNoStudioConfigurationAndNoLines) {
  configuration.studioConfig = StudioRecordingConfiguration{};
  store.setBool("enableClickToZoom", false);
  EXPECT_TRUE(load().empty());
  EXPECT_FALSE(configuration.studioConfig.has_value());
}

TEST_F(StudioConfigurationTest, AlphaOnlyUsesFixedZoomNumbersAndPrintsFourLines) {
  store.setBool("enableAlphaChannel", true);
  store.setDouble("zoomLevel", 2.8);  // not read while click-to-zoom is off
  const auto lines = load();
  ASSERT_TRUE(configuration.studioConfig.has_value());
  const StudioRecordingConfiguration& studio = *configuration.studioConfig;
  EXPECT_TRUE(studio.enableAlphaChannel);
  EXPECT_FALSE(studio.enableSeparateLayers);
  EXPECT_FALSE(studio.enableClickToZoom);
  EXPECT_EQ(studio.zoomLevel, 2.0);
  EXPECT_EQ(studio.zoomDuration, 0.5);
  EXPECT_EQ(studio.clickThreshold, 0.5);
  EXPECT_EQ(studio.cursorStyle, CursorStyle::circle);
  EXPECT_TRUE(studio.enableCursorAnimations);
  EXPECT_EQ(studio.cursorSize, 24.0);
  EXPECT_TRUE(studio.enableScaleAnimation);
  EXPECT_TRUE(studio.enableRippleEffect);
  EXPECT_EQ(studio.rippleColor.red, 0.0);
  EXPECT_EQ(studio.rippleColor.green, 0.5);
  EXPECT_EQ(studio.rippleColor.blue, 1.0);
  EXPECT_EQ(studio.rippleColor.alpha, 0.5);
  EXPECT_EQ(lines, (std::vector<std::string>{"📋 Loaded Studio configuration:", "   Click-to-Zoom: false",
                                             "   Separate Layers: false", "   Alpha Channel: true"}));
}

TEST_F(StudioConfigurationTest, ClickToZoomReadsTheStoredNumbers) {
  store.setBool("enableClickToZoom", true);
  store.setBool("enableSeparateLayers", true);
  store.setDouble("zoomLevel", 2.5);
  store.setDouble("zoomDuration", 0.8);
  store.setString("clickThreshold", "1.25");  // a number stored as text reads back as the number
  const auto lines = load();
  ASSERT_TRUE(configuration.studioConfig.has_value());
  EXPECT_EQ(configuration.studioConfig->zoomLevel, 2.5);
  EXPECT_EQ(configuration.studioConfig->zoomDuration, 0.8);
  EXPECT_EQ(configuration.studioConfig->clickThreshold, 1.25);
  EXPECT_EQ(lines, (std::vector<std::string>{"📋 Loaded Studio configuration:", "   Click-to-Zoom: true",
                                             "   Separate Layers: true", "   Alpha Channel: false",
                                             "   Zoom Level: 2.5x", "   Zoom Duration: 0.8s",
                                             "   Click Threshold: 1.25s"}));
}

TEST_F(StudioConfigurationTest, UnusableZoomNumbersReadAsTheDefaults) {
  store.setBool("enableClickToZoom", true);
  // zoomLevel never stored; zoomDuration not finite; clickThreshold not above 0.
  store.setDouble("zoomDuration", std::numeric_limits<double>::infinity());
  store.setDouble("clickThreshold", 0);
  const auto lines = load();
  ASSERT_TRUE(configuration.studioConfig.has_value());
  EXPECT_EQ(configuration.studioConfig->zoomLevel, 2.0);
  EXPECT_EQ(configuration.studioConfig->zoomDuration, 0.5);
  EXPECT_EQ(configuration.studioConfig->clickThreshold, 0.5);
  EXPECT_EQ(lines.at(4), "   Zoom Level: 2.0x");

  store.setDouble("zoomLevel", -3);
  store.setString("zoomDuration", "nan");
  store.setString("clickThreshold", "soon");
  load();
  EXPECT_EQ(configuration.studioConfig->zoomLevel, 2.0);
  EXPECT_EQ(configuration.studioConfig->zoomDuration, 0.5);
  EXPECT_EQ(configuration.studioConfig->clickThreshold, 0.5);
}

TEST_F(StudioConfigurationTest, TheStandardStoreIsReadByDefault) {
  SettingsStore::useFileForStandard(dir.filePath("standard.conf"));
  SettingsStore::standard().setBool("enableSeparateLayers", true);
  configuration.loadStudioConfiguration();
  SettingsStore::useFileForStandard({});
  ASSERT_TRUE(configuration.studioConfig.has_value());
  EXPECT_TRUE(configuration.studioConfig->enableSeparateLayers);
}
