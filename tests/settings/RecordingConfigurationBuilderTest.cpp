#include "settings/RecordingConfigurationBuilder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "SettingsTestStore.h"
#include "model/RecordingOptions.h"
#include "settings/SettingsKeys.h"

using namespace tk;

namespace {

// A home folder of the test's own, so the Recordings folder the builder creates is ours to inspect.
class TemporaryHome {
 public:
  TemporaryHome() : oldHome_(qgetenv("HOME")), oldConfig_(qgetenv("XDG_CONFIG_HOME")) {
    qputenv("HOME", dir_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir_.filePath(".config").toUtf8());
  }
  ~TemporaryHome() {
    qputenv("HOME", oldHome_);
    if (oldConfig_.isEmpty())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", oldConfig_);
  }
  QString path(const QString& relative) const { return dir_.filePath(relative); }

 private:
  QTemporaryDir dir_;
  QByteArray oldHome_, oldConfig_;
};

auto display() {
  auto value = std::make_shared<CaptureDisplay>();
  value->displayID = 7;
  value->width = 1920;
  value->height = 1080;
  return CaptureDisplayRef(value);
}

RecordingConfiguration build() {
  return RecordingConfigurationBuilder::build(RecordingMode::screen(display()));
}

class RecordingConfigurationBuilderTest : public ::testing::Test {
 protected:
  test::SettingsTestStore store;
  TemporaryHome home;
};

}  // namespace

TEST_F(RecordingConfigurationBuilderTest, WithEveryKeyAbsentADisplayRecordingGetsTheDefaults) {
  const RecordingConfiguration c = build();
  ASSERT_EQ(c.mode.kind(), RecordingMode::Kind::screen);
  EXPECT_EQ(c.mode.get<RecordingMode::Screen>()->display->displayID, 7u);
  EXPECT_EQ(c.resolution, ResolutionMode::normal);
  EXPECT_EQ(c.frameRate, 60);
  EXPECT_EQ(c.videoQuality, VideoQuality::high);
  EXPECT_EQ(c.encoder, VideoEncoder::h265);
  EXPECT_EQ(c.outputFormat, OutputFormat::mov);
  EXPECT_EQ(c.backgroundColor, BackgroundType::wallpaper);
  EXPECT_TRUE(c.recordSystemAudio);
  EXPECT_FALSE(c.recordMicrophone);
  EXPECT_FALSE(c.microphoneDevice.has_value());
  EXPECT_FALSE(c.recordCamera);
  EXPECT_FALSE(c.cameraDevice.has_value());
  EXPECT_FALSE(c.showCursor);
  EXPECT_FALSE(c.highlightCursor);
  EXPECT_FALSE(c.enableAEC);
  EXPECT_EQ(c.countdown, 0);
  EXPECT_EQ(c.autoStopMinutes, 0);
  EXPECT_TRUE(c.preventSleep);
  EXPECT_FALSE(c.separateAudioTracks);
  EXPECT_FALSE(c.studioConfig.has_value());
  const QString recordings = home.path("Documents/Recordings");
  EXPECT_EQ(QString::fromStdString(c.outputDirectory.string()), recordings);
  EXPECT_TRUE(QFileInfo(recordings).isDir());
}

TEST_F(RecordingConfigurationBuilderTest, ResolutionAndQualityMapStoredNumbersToTheirOptions) {
  const std::pair<long long, ResolutionMode> resolutions[] = {
      {2, ResolutionMode::high}, {1, ResolutionMode::normal}, {0, ResolutionMode::low}};
  for (auto [stored, expected] : resolutions) {
    settings::resolution.write(stored);
    EXPECT_EQ(build().resolution, expected) << stored;
  }
  const std::pair<double, VideoQuality> qualities[] = {
      {1.0, VideoQuality::high}, {0.7, VideoQuality::medium}, {0.3, VideoQuality::low}};
  for (auto [stored, expected] : qualities) {
    settings::videoQuality.write(stored);
    EXPECT_EQ(build().videoQuality, expected) << stored;
  }
}

TEST_F(RecordingConfigurationBuilderTest, TextsMapToOptionsAndUnknownTextsFallBack) {
  const std::pair<const char*, BackgroundType> backgrounds[] = {
      {"wallpaper", BackgroundType::wallpaper}, {"black", BackgroundType::black},
      {"white", BackgroundType::white},         {"gray", BackgroundType::gray},
      {"clear", BackgroundType::wallpaper},     {"custom", BackgroundType::wallpaper},
      {"purple", BackgroundType::wallpaper}};
  for (auto [stored, expected] : backgrounds) {
    settings::backgroundColor.write(stored);
    EXPECT_EQ(build().backgroundColor, expected) << stored;
  }
  // A text that names no format records as the default the Format picker then shows.
  const std::pair<const char*, OutputFormat> formats[] = {{"mov", OutputFormat::mov},
                                                          {"mp4", OutputFormat::mp4},
                                                          {"MOV", OutputFormat::mov},
                                                          {"", OutputFormat::mov}};
  for (auto [stored, expected] : formats) {
    settings::outputFormat.write(stored);
    EXPECT_EQ(build().outputFormat, expected) << stored;
  }
}

TEST_F(RecordingConfigurationBuilderTest, TheEncoderPickedInTheSettingsIsTheEncoderThatRecords) {
  settings::encoder.write("h264");
  EXPECT_EQ(build().encoder, VideoEncoder::h264);
  settings::encoder.write("h265");
  EXPECT_EQ(build().encoder, VideoEncoder::h265);
  // What the picker shows for a text it does not know (H.265) is also what records.
  for (const char* unknown : {"H264", "", "av1"}) {
    settings::encoder.write(unknown);
    EXPECT_EQ(build().encoder, VideoEncoder::h265) << unknown;
  }
  // The old key that nothing wrote is not read.
  settings::encoder.write("h265");
  store.store().setString("videoEncoder", "h264");
  EXPECT_EQ(build().encoder, VideoEncoder::h265);
}

TEST_F(RecordingConfigurationBuilderTest, DevicesTravelOnlyWithTheirSwitch) {
  settings::microphoneDevice.write("USB Mic");
  settings::cameraDevice.write("default");
  RecordingConfiguration c = build();
  EXPECT_FALSE(c.microphoneDevice.has_value());
  EXPECT_FALSE(c.cameraDevice.has_value());

  settings::recordMicrophone.write(true);
  settings::recordCamera.write(true);
  c = build();
  EXPECT_TRUE(c.recordMicrophone);
  EXPECT_EQ(c.microphoneDevice, "USB Mic");
  EXPECT_TRUE(c.recordCamera);
  EXPECT_EQ(c.cameraDevice, "default");
}

TEST_F(RecordingConfigurationBuilderTest, ValuesStoredAsTextByOtherProgramsAreRead) {
  const QString folder = home.path("elsewhere");
  store.writeText(
      "frameRate=30\nresolution=2\nvideoQuality=0.7\nrecordSystemAudio=false\nshowCursor=true\n"
      "highlightCursor=1\nenableAEC=YES\npreventSleep=false\ncountdown=3\nautoStopMinutes=5\n"
      "outputDirectory=" +
      folder.toUtf8() + "\n");
  const RecordingConfiguration c = build();
  EXPECT_EQ(c.frameRate, 30);
  EXPECT_EQ(c.resolution, ResolutionMode::high);
  EXPECT_EQ(c.videoQuality, VideoQuality::medium);
  EXPECT_FALSE(c.recordSystemAudio);
  EXPECT_TRUE(c.showCursor);
  EXPECT_TRUE(c.highlightCursor);
  EXPECT_TRUE(c.enableAEC);
  EXPECT_FALSE(c.preventSleep);
  EXPECT_EQ(c.countdown, 3);
  EXPECT_EQ(c.autoStopMinutes, 5);
  // A stored folder is taken as it is; the coordinator checks that it can be written.
  EXPECT_EQ(QString::fromStdString(c.outputDirectory.string()), folder);
  EXPECT_FALSE(QFileInfo::exists(folder));
}

// Whatever another program or a hand edit left in the file, a recording gets a value the settings
// window offers: what is no valid value reads as the default, what is beyond the window's range as
// its nearer end. Never a refused recording, a timer that wraps or a countdown that never ends.
TEST_F(RecordingConfigurationBuilderTest, StoredValuesTheWindowCannotOfferRecordAsItsDefaultOrNearerEnd) {
  using C = const RecordingConfiguration&;
  struct Row {
    const char* stored;
    double (*field)(C);
    double expected;
  };
  const auto frameRate = [](C c) { return double(c.frameRate); };
  const auto resolution = [](C c) { return double(c.resolution); };
  const auto quality = [](C c) { return double(c.videoQuality); };
  const auto countdown = [](C c) { return double(c.countdown); };
  const auto autoStop = [](C c) { return double(c.autoStopMinutes); };
  const auto encoder = [](C c) { return double(c.encoder); };
  const double normal = double(ResolutionMode::normal), high = double(VideoQuality::high);
  const Row rows[] = {
      {"frameRate=-5", frameRate, 60},
      {"frameRate=abc", frameRate, 60},
      {"frameRate=0", frameRate, 60},
      {"frameRate=75", frameRate, 60},
      {"frameRate=5", frameRate, 10},
      {"frameRate=1099511627776", frameRate, 240},
      {"frameRate=30", frameRate, 30},
      {"resolution=xyz", resolution, normal},
      {"resolution=-1", resolution, normal},
      {"resolution=1.5", resolution, normal},
      {"resolution=3", resolution, double(ResolutionMode::high)},
      {"videoQuality=0.5", quality, high},
      {"videoQuality=nan", quality, high},
      {"videoQuality=2", quality, high},
      {"videoQuality=0.1", quality, double(VideoQuality::low)},
      {"countdown=2147483647", countdown, 99},
      {"countdown=-4", countdown, 0},
      {"countdown=soon", countdown, 0},
      {"autoStopMinutes=71583", autoStop, 999},
      {"autoStopMinutes=40000", autoStop, 999},
      {"autoStopMinutes=-1", autoStop, 0},
      {"autoStopMinutes=30", autoStop, 30},
      {"encoder=H264", encoder, double(VideoEncoder::h265)},
  };
  for (const Row& row : rows) {
    // As text, as a hand-edited file holds it.
    const QStringList keyAndValue = QString(row.stored).split('=');
    store.store().setString(keyAndValue[0], keyAndValue[1]);
    EXPECT_EQ(row.field(build()), row.expected) << row.stored;
  }
}

TEST_F(RecordingConfigurationBuilderTest, ClickToZoomWithUntouchedSlidersRecordsTheShownDefaults) {
  settings::enableClickToZoom.write(true);
  RecordingConfiguration c = build();
  ASSERT_TRUE(c.studioConfig.has_value());
  EXPECT_TRUE(c.studioConfig->enableClickToZoom);
  EXPECT_DOUBLE_EQ(c.studioConfig->zoomLevel, settings::zoomLevel.defaultValue);
  EXPECT_DOUBLE_EQ(c.studioConfig->zoomDuration, settings::zoomDuration.defaultValue);
  EXPECT_DOUBLE_EQ(c.studioConfig->clickThreshold, settings::clickThreshold.defaultValue);

  settings::zoomLevel.write(2.5);
  EXPECT_DOUBLE_EQ(build().studioConfig->zoomLevel, 2.5);

  settings::enableClickToZoom.write(false);
  settings::enableSeparateLayers.write(true);
  c = build();
  ASSERT_TRUE(c.studioConfig.has_value());
  EXPECT_FALSE(c.studioConfig->enableClickToZoom);
  EXPECT_TRUE(c.studioConfig->enableSeparateLayers);
}

TEST_F(RecordingConfigurationBuilderTest, AWindowSelectionOfOneIsOneWindowElseAllOfThem) {
  auto window = [](uint32_t id) {
    auto value = std::make_shared<CaptureWindow>();
    value->windowID = id;
    return CaptureWindowRef(value);
  };
  RecordingMode one = RecordingConfigurationBuilder::windowSelectionMode({window(1)});
  ASSERT_EQ(one.kind(), RecordingMode::Kind::window);
  EXPECT_EQ(one.get<RecordingMode::Window>()->window->windowID, 1u);

  RecordingMode two = RecordingConfigurationBuilder::windowSelectionMode({window(2), window(1)});
  ASSERT_EQ(two.kind(), RecordingMode::Kind::windows);
  ASSERT_EQ(two.get<RecordingMode::Windows>()->windows.size(), 2u);
  EXPECT_EQ(two.get<RecordingMode::Windows>()->windows[0]->windowID, 2u);

  RecordingMode none = RecordingConfigurationBuilder::windowSelectionMode({});
  ASSERT_EQ(none.kind(), RecordingMode::Kind::windows);
  EXPECT_TRUE(none.get<RecordingMode::Windows>()->windows.empty());

  const RecordingConfiguration c = RecordingConfigurationBuilder::build(std::move(two));
  EXPECT_EQ(c.mode.kind(), RecordingMode::Kind::windows);
}
