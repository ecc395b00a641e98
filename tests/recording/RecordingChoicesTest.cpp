// The user's choices reach what is recorded: the alpha codec, the camera, the microphone and the
// stored switches, each shown on the files a coordinator writes.

#include <gtest/gtest.h>

#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "capture/SoundServerFixture.h"
#include "capture/SyntheticCamera.h"
#include "model/RecordingError.h"
#include "overlays/CursorOverlayController.h"
#include "platform/media/MonotonicClock.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"
#include "settings/ClickToZoomSettingsSection.h"
#include "settings/CustomCursorSettingsSection.h"
#include "settings/OutputView.h"
#include "settings/RecorderView.h"
#include "settings/RecordingConfigurationBuilder.h"
#include "settings/SPicker.h"
#include "settings/SSteper.h"
#include "settings/SettingsSlider.h"
#include "settings/SettingsView.h"
#include "support/TestSupport.h"
#include "ui/ColorWell.h"
#include "writing/LayerRecordingManager.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

// A private settings file as the standard store for one test.
class StandardSettingsFile {
 public:
  StandardSettingsFile() { SettingsStore::useFileForStandard(path()); }
  ~StandardSettingsFile() { SettingsStore::useFileForStandard({}); }
  QString path() const { return dir_.filePath("settings.ini"); }

 private:
  QTemporaryDir dir_;
};

class RecordingChoicesTest : public test::CoordinatorTest {
 protected:
  // A clear-background area: the left half covered by an opaque window, the right half bare root.
  static constexpr QRect kArea{600, 400, 320, 240};

  RecordingConfiguration alphaConfig(OutputFormat format, bool separateLayers) {
    RecordingMode mode = RecordingMode::screenArea(display, areaInGlobal());
    auto configuration = config(mode);
    configuration.outputFormat = format;
    configuration.backgroundColor = BackgroundType::clear;
    configuration.studioConfig = StudioRecordingConfiguration{};
    configuration.studioConfig->enableAlphaChannel = true;
    configuration.studioConfig->enableSeparateLayers = separateLayers;
    return configuration;
  }
  // The area in the global space (origin bottom left, y up).
  QRectF areaInGlobal() const {
    return QRectF(kArea.x(), display->frame.height() - kArea.bottom() - 1, kArea.width(), kArea.height());
  }
};

nlohmann::json readJson(const fs::path& file) {
  std::ifstream in(file);
  return nlohmann::json::parse(in, nullptr, false);
}

TEST_F(RecordingChoicesTest, AlphaIsWrittenWhereTheContainerTakesItAndTheManifestSaysSo) {
  StandardSettingsFile settings;
  test::PatternWindow cover(QRect(kArea.x(), kArea.y(), kArea.width() / 2, kArea.height()),
                            QColor(30, 160, 90));
  ASSERT_TRUE(cover.showAndWait());
  const int w = kArea.width(), h = kArea.height();
  auto alphaAt = [&](const std::vector<uint8_t>& bgra, int x, int y) {
    return bgra[(size_t(y) * w + x) * 4 + 3];
  };

  struct Case {
    const char* stored;  // the user's codec; the default names HEVC with alpha, which is not here
    const char* profile;
  };
  // Both ProRes choices are written with the 4444 profile, which has no XQ type of its own.
  for (const Case& item : {Case{"hevcWithAlpha", "4444"}, Case{"proRes4444XQ", "4444"}}) {
    SCOPED_TRACE(item.stored);
    SettingsStore::standard().setString("alphaChannelCodec", item.stored);
    auto movie = record(alphaConfig(OutputFormat::mov, false));
    ASSERT_TRUE(movie) << harness.error;
    auto facts = test::probeMovie(*movie);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->videoCodec, "prores");
    EXPECT_EQ(facts->videoProfile, item.profile);
    EXPECT_EQ(facts->pixelFormat.rfind("yuva444p", 0), 0u) << facts->pixelFormat;
    auto frame = test::frameAt(*movie, 0.5, w, h);
    ASSERT_EQ(frame.size(), size_t(w) * h * 4);
    EXPECT_EQ(alphaAt(frame, w / 4, h / 2), 255) << "the window is opaque";
    EXPECT_LT(alphaAt(frame, w * 3 / 4, h / 2), 8) << "the clear background is transparent";
  }

  // An mp4 file takes no alpha codec: a plain recording, said so in the log.
  {
    test::CapturedLines lines;
    auto movie = record(alphaConfig(OutputFormat::mp4, false));
    ASSERT_TRUE(movie) << harness.error;
    EXPECT_TRUE(lines.contains("⚠️ Alpha channel not supported, falling back to standard recording"));
    auto facts = test::probeMovie(*movie);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->videoCodec, "h264");
    EXPECT_EQ(facts->pixelFormat, "yuv420p");
  }

  // The package manifest says alpha only when its screen layer carries it.
  for (OutputFormat format : {OutputFormat::mov, OutputFormat::mp4}) {
    const bool alpha = format == OutputFormat::mov;
    SCOPED_TRACE(alpha ? "mov package" : "mp4 package");
    auto package = record(alphaConfig(format, true));
    ASSERT_TRUE(package) << harness.error;
    auto manifest = readJson(*package / ".package.json");
    ASSERT_TRUE(manifest.is_object());
    EXPECT_EQ(manifest["configuration"]["hasAlphaChannel"], alpha);
    auto facts = test::probeMovie(*package / ".screen.mov");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->pixelFormat.rfind(alpha ? "yuva444p" : "yuv420p", 0), 0u) << facts->pixelFormat;
  }
}

TEST_F(RecordingChoicesTest, TheChosenCameraIsTheOneInTheCameraLayer) {
  // Two cameras: the first (the default) green, the chosen second one magenta.
  const std::vector<std::pair<CaptureDevice, uint32_t>> cameras{
      {test::syntheticDevice("First Camera"), 0xFF00FF00u},
      {test::syntheticDevice("Second Camera"), 0xFFFF00FFu}};
  std::shared_ptr<std::atomic<test::SyntheticCamera*>> opened =
      std::make_shared<std::atomic<test::SyntheticCamera*>>();
  RecordingCoordinator::CameraSupply supply;
  supply.devices = [cameras] {
    std::vector<CaptureDevice> devices;
    for (const auto& camera : cameras) devices.push_back(camera.first);
    return devices;
  };
  supply.factory = [cameras, opened](const CaptureDevice& device) -> std::unique_ptr<VideoCaptureSource> {
    for (const auto& [candidate, colour] : cameras) {
      if (candidate.uniqueID != device.uniqueID) continue;
      auto camera = std::make_unique<test::SyntheticCamera>(device, 160, 120, colour);
      opened->store(camera.get());
      return camera;
    }
    return nullptr;
  };
  harness.coordinator.setCameraSupply(supply);

  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration = config(mode);
  configuration.outputFormat = OutputFormat::mov;
  configuration.recordCamera = true;
  configuration.cameraDevice = "Second Camera";
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.coordinator.cameraEngine());
  EXPECT_EQ(harness.coordinator.cameraEngine()->currentDevice()->localizedName, "Second Camera");
  // The camera delivers about 30 frames a second while the recording runs, as a device would.
  QTimer frames;
  QObject::connect(&frames, &QTimer::timeout, [&] {
    if (auto* camera = opened->load()) camera->deliver(MonotonicClock::nowSeconds());
  });
  frames.start(33);
  ASSERT_TRUE(harness.recordFor(1.5));
  auto package = harness.stop();
  frames.stop();
  ASSERT_TRUE(package) << harness.error;

  auto facts = test::probeMovie(*package / ".camera.mov");
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->width, 160);
  auto frame = test::frameAt(*package / ".camera.mov", 0.5, 160, 120);
  ASSERT_EQ(frame.size(), size_t(160 * 120 * 4));
  size_t centre = (size_t(60) * 160 + 80) * 4;
  EXPECT_GT(frame[centre + 2], 200);  // red and blue: magenta
  EXPECT_GT(frame[centre + 0], 200);
  EXPECT_LT(frame[centre + 1], 60);
}

TEST_F(RecordingChoicesTest, MicrophoneIsTheChosenOneTheDefaultOrAClearFailure) {
  // Two microphones, the first one the default.
  test::VirtualMicrophone first("tk_first_microphone", 440);
  test::VirtualMicrophone second("tk_second_microphone", 660);
  ASSERT_TRUE(first.ready() && second.ready());
  test::pactl("set-default-source tk_first_microphone");
  struct RestoreDefault {
    ~RestoreDefault() {
      test::pactl("set-default-source " + qEnvironmentVariable("TK_TEST_SOURCE").toStdString());
    }
  } restore;
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));

  const std::vector<std::pair<std::string, double>> recorded{{"default", 440}, {"tk_second_microphone", 660}};
  for (const auto& [name, frequency] : recorded) {
    SCOPED_TRACE(name);
    auto configuration = config(mode);
    configuration.recordMicrophone = true;
    configuration.microphoneDevice = name;
    auto movie = record(configuration, 2.0);
    ASSERT_TRUE(movie) << harness.error;
    auto facts = test::probeMovie(*movie);
    ASSERT_TRUE(facts);
    // The microphone fills the movie's sound from its start to its end.
    ASSERT_EQ(facts->audioDurations.size(), 1u);
    EXPECT_NEAR(facts->audioDurations[0], facts->videoDuration, 0.1);
    EXPECT_NEAR(test::dominantAudioFrequency(*movie, 0.1, 1.0), frequency, 15);
    EXPECT_NEAR(test::dominantAudioFrequency(*movie, 1.0, facts->duration - 0.1), frequency, 15);
  }

  // A chosen microphone that is gone fails preparation, naming it, and records nothing else.
  auto configuration = config(mode);
  configuration.recordMicrophone = true;
  configuration.microphoneDevice = "USB Headset";
  ASSERT_TRUE(harness.waitForIdle());
  EXPECT_FALSE(harness.start(mode, configuration));
  ASSERT_TRUE(harness.coordinator.lastError());
  EXPECT_NE(harness.coordinator.lastError()->localizedDescription().find("\"USB Headset\""),
            std::string::npos)
      << harness.error;
  EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
  EXPECT_FALSE(harness.coordinator.mediaWriter());
}

TEST_F(RecordingChoicesTest, StoredSwitchesReadBackTypedAfterARestart) {
  StandardSettingsFile settings;
  {
    // The session that stored them.
    SettingsStore earlier(settings.path());
    earlier.setBool("highlightCursor", true);
    earlier.setBool("enableCustomCursor", true);
    earlier.setBool("enableCursorScaleAnimation", false);
    earlier.setBool("enableCursorRippleEffect", false);
    earlier.setBool("recordMicrophone", false);
    earlier.setBool("enableSeparateLayers", false);
    earlier.setString("outputDirectory", QString::fromStdString(out().string()));
    earlier.sync();
  }
  // A fresh store on the same file: what a restarted application reads.
  SettingsStore::useFileForStandard(settings.path());
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  auto configuration = RecordingConfigurationBuilder::build(mode, SettingsStore::standard());
  configuration.countdown = 0;
  configuration.outputDirectory = out();
  EXPECT_TRUE(configuration.highlightCursor);
  EXPECT_FALSE(configuration.recordMicrophone);
  EXPECT_FALSE(configuration.studioConfig);

  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  const auto& overlay = harness.coordinator.cursorOverlayController();
  EXPECT_TRUE(overlay.useCustomCursor());
  EXPECT_FALSE(overlay.enableScaleAnimation());
  EXPECT_FALSE(overlay.enableRippleEffect());
  ASSERT_TRUE(harness.recordFor(0.3));
  EXPECT_TRUE(harness.stop()) << harness.error;
}

TEST_F(RecordingChoicesTest, StoredValuesTheWindowCannotOfferShowAndRecordAsDefaultsOrNearerEnds) {
  StandardSettingsFile settings;
  {
    // As a hand-edited file or another program may leave it.
    QFile file(settings.path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[General]\nenableClickToZoom=true\nzoomLevel=nan\nzoomDuration=-1\nclickThreshold=inf\n"
        "highlightCursor=true\nenableCustomCursor=true\ncursorSize=1000\ncursorStyle=sparkles\n"
        "cursorRippleColorRed=5\ncursorRippleColorGreen=abc\nframeRate=-5\nresolution=xyz\n"
        "videoQuality=0.5\noutputFormat=MOV\nbackgroundColor=purple\ncountdown=2147483647\n"
        "autoStopMinutes=71583\n");
  }
  SettingsStore::useFileForStandard(settings.path());

  SettingsView window;
  const auto* output = window.page<OutputView>();
  const std::pair<const char*, const char*> pickers[] = {
      {"Frame Rate", "60 FPS"}, {"Resolution", "Normal (1x)"}, {"Quality", "High"}, {"Format", "MOV"}};
  for (auto [title, shown] : pickers) EXPECT_EQ(output->picker(title)->currentText(), shown) << title;
  std::map<QString, QString> recorderRows;
  for (auto* steper : window.page<RecorderView>()->findChildren<SSteper*>())
    recorderRows[steper->label()] = QString::number(steper->value());
  for (auto* picker : window.page<RecorderView>()->findChildren<SPicker*>())
    recorderRows[picker->label()] = picker->currentText();
  EXPECT_EQ(recorderRows["Delay Before Recording"], "99");
  EXPECT_EQ(recorderRows["Auto-Stop After (minutes)"], "999");
  EXPECT_EQ(recorderRows["Background"], "Wallpaper");
  EXPECT_EQ(recorderRows["Style"], "Circle");
  window.setSelectedItem("Recorder");
  auto* zoom = window.page<RecorderView>()->findChild<ClickToZoomSettingsSection*>();
  auto* cursor = window.page<RecorderView>()->findChild<CustomCursorSettingsSection*>();
  ASSERT_TRUE(zoom && cursor);
  struct Shown {
    SettingsSlider* slider;
    double value;
    const char* text;
  };
  for (const Shown& shown : {Shown{zoom->zoomLevel(), 2.0, "2.0x"}, Shown{zoom->duration(), 0.5, "0.5s"},
                             Shown{zoom->clickThreshold(), 0.5, "0.5s"}, Shown{cursor->size(), 48, "48pt"}}) {
    EXPECT_EQ(shown.slider->valueText(), shown.text) << shown.slider->label().toStdString();
    EXPECT_EQ(shown.slider->slider()->value(),
              std::lround((shown.value - shown.slider->minimum()) / shown.slider->step()))
        << shown.slider->label().toStdString();
  }

  // A recording started as the pickers start one uses the same numbers.
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  auto configuration = RecordingConfigurationBuilder::build(mode, SettingsStore::standard());
  configuration.outputDirectory = out();
  ASSERT_TRUE(configuration.studioConfig);
  EXPECT_EQ(configuration.studioConfig->zoomLevel, 2.0);
  EXPECT_EQ(configuration.studioConfig->zoomDuration, 0.5);
  EXPECT_EQ(configuration.studioConfig->clickThreshold, 0.5);
  EXPECT_EQ(configuration.frameRate, 60);
  EXPECT_EQ(configuration.resolution, ResolutionMode::normal);
  EXPECT_EQ(configuration.videoQuality, VideoQuality::high);
  EXPECT_EQ(configuration.outputFormat, OutputFormat::mov);
  EXPECT_EQ(configuration.backgroundColor, BackgroundType::wallpaper);
  EXPECT_EQ(configuration.countdown, 99);
  EXPECT_EQ(configuration.autoStopMinutes, 999);
  configuration.countdown = 0;
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  const auto dueIn = harness.coordinator.autoStopDueIn();
  ASSERT_TRUE(dueIn);
  EXPECT_GT(*dueIn, std::chrono::minutes(998));
  EXPECT_LE(*dueIn, std::chrono::minutes(999));
  const auto& overlay = harness.coordinator.cursorOverlayController();
  EXPECT_EQ(overlay.clickThreshold(), 0.5);
  EXPECT_EQ(overlay.customCursorSize(), 48);
  EXPECT_EQ(overlay.customCursorStyle(), CursorStyle::circle);
  // The ripple as the colour well shows it: red at its end, green at its default.
  EXPECT_EQ(overlay.rippleColor(), QColor::fromRgbF(1, 0.5f, 1, 0.5f));
  EXPECT_EQ(window.page<RecorderView>()->findChild<CustomCursorSettingsSection*>()->rippleColor()->color(),
            QColor::fromRgbF(1, 0.5f, 1, 1));
  ASSERT_TRUE(harness.recordFor(0.3));
  EXPECT_TRUE(harness.stop()) << harness.error;
}

}  // namespace
}  // namespace tk
