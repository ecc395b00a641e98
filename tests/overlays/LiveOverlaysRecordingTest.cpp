// A whole recording with the live overlays on: real clicks through XTest reach the metadata.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

#include "capture/ScreenCaptureEngine.h"
#include "model/RecordingError.h"
#include "overlays/CursorOverlayController.h"
#include "overlays/DesktopDriver.h"
#include "overlays/OverlayWindow.h"
#include "platform/qt/SettingsStore.h"
#include "platform/x11/SystemCursor.h"
#include "recording/RecordingCoordinator.h"
#include "recording/RecordingTestSupport.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;
using test::waitUntil;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(LiveOverlaysRecording, ClicksOnAWindowBecomeClicksAndZoomsInTheMetadata) {
  TK_REQUIRE_DESKTOP();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  SettingsStore::useFileForStandard(folder.filePath("settings.ini"));
  SettingsStore& settings = SettingsStore::standard();
  settings.setBool("enableCustomCursor", true);
  settings.setString("cursorStyle", "arrow");
  settings.setDouble("cursorSize", 20);

  ScreenCaptureEngine engine;
  engine.refreshAvailableContentBlocking();
  ASSERT_TRUE(engine.availableContent() && !engine.availableContent()->displays.empty());
  const RecordingMode mode = RecordingMode::screen(engine.availableContent()->displays.front());
  RecordingConfiguration configuration;
  configuration.mode = mode;
  configuration.frameRate = 30;
  configuration.videoQuality = VideoQuality::low;
  configuration.outputFormat = OutputFormat::mp4;
  configuration.outputDirectory = fs::path(folder.filePath("out").toStdString());
  configuration.countdown = 0;
  configuration.highlightCursor = true;
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableClickToZoom = true;
  configuration.studioConfig->zoomLevel = 2.5;

  test::ForeignClient other;
  other.window(QRect(400, 300, 600, 400), QColor(200, 60, 60));
  other.movePointer(100, 100);

  RecordingCoordinator coordinator;
  coordinator.setResultOpener([](const fs::path&, const fs::path&, bool) {});
  try {
    test::awaitTask(coordinator.prepareRecording(mode, configuration));
    test::awaitTask(coordinator.startRecording());
  } catch (...) {
    FAIL() << describeException(std::current_exception());
  }
  const Clock::time_point started = Clock::now();
  CursorOverlayController& overlay = coordinator.cursorOverlayController();
  ASSERT_TRUE(overlay.isMonitoring());
  EXPECT_TRUE(overlay.useCustomCursor());
  EXPECT_TRUE(SystemCursor::isHidden());

  auto recordUntil = [&](double seconds) {
    return waitUntil([&] { return secondsSince(started) >= seconds; }, std::chrono::seconds(20));
  };
  ASSERT_TRUE(recordUntil(0.8));
  other.movePointer(500, 400);
  ASSERT_TRUE(waitUntil([&] {
    return overlay.mousePointerWindow().geometry() == QRect(480, 380, 40, 40);
  }));
  // A click happens somewhere between starting xdotool and the window seeing the press; on a busy
  // machine that can take a while.
  const double leftFrom = secondsSince(started);
  ASSERT_TRUE(test::xdotool({"click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return other.presses() == 1; }));
  const double leftTo = secondsSince(started);
  ASSERT_TRUE(recordUntil(leftTo + 0.8));
  other.movePointer(700, 500);
  const double rightFrom = secondsSince(started);
  ASSERT_TRUE(test::xdotool({"click", "3"}));
  ASSERT_TRUE(waitUntil([&] { return other.presses() == 2; }));
  const double rightTo = secondsSince(started);
  ASSERT_TRUE(recordUntil(rightTo + 0.6));

  fs::path movie;
  try {
    test::awaitTask(coordinator.stopRecording());
  } catch (...) {
    FAIL() << describeException(std::current_exception());
  }
  auto* completed = coordinator.recordingState().get<RecordingState::Completed>();
  ASSERT_TRUE(completed);
  movie = completed->fileURL;
  EXPECT_FALSE(SystemCursor::isHidden());
  EXPECT_FALSE(overlay.isMonitoring());
  EXPECT_FALSE(overlay.mousePointerWindow().isOrderedIn());

  std::ifstream in(movie.parent_path() / (movie.stem().string() + ".metadata.json"));
  const auto metadata = nlohmann::json::parse(in, nullptr, false);
  ASSERT_TRUE(metadata.is_object());
  const auto& clicks = metadata["cursorClicks"];
  ASSERT_EQ(clicks.size(), 2u) << clicks.dump();
  // Clicks: normalised to the display, y down from its top edge.
  EXPECT_EQ(clicks[0]["clickType"], "leftClick");
  EXPECT_NEAR(clicks[0]["position"][0].get<double>(), 500.0 / 1920, 1e-3);
  EXPECT_NEAR(clicks[0]["position"][1].get<double>(), 400.0 / 1080, 1e-3);
  EXPECT_GE(clicks[0]["timestamp"].get<double>(), leftFrom - 0.3);
  EXPECT_LE(clicks[0]["timestamp"].get<double>(), leftTo + 0.3);
  EXPECT_EQ(clicks[1]["clickType"], "rightClick");
  EXPECT_NEAR(clicks[1]["position"][0].get<double>(), 700.0 / 1920, 1e-3);
  EXPECT_NEAR(clicks[1]["position"][1].get<double>(), 500.0 / 1080, 1e-3);
  EXPECT_GE(clicks[1]["timestamp"].get<double>(), rightFrom - 0.3);
  EXPECT_LE(clicks[1]["timestamp"].get<double>(), rightTo + 0.3);

  // Only the left click zooms; a zoom event keeps y measured up from the bottom edge.
  const auto& zooms = metadata["zoomEvents"];
  ASSERT_EQ(zooms.size(), 1u) << zooms.dump();
  EXPECT_NEAR(zooms[0]["position"][0].get<double>(), 500.0 / 1920, 1e-3);
  EXPECT_NEAR(zooms[0]["position"][1].get<double>(), 1 - 400.0 / 1080, 1e-3);
  EXPECT_DOUBLE_EQ(zooms[0]["level"].get<double>(), 2.5);
  EXPECT_GE(zooms[0]["timestamp"].get<double>(), leftFrom - 0.3);
  EXPECT_LE(zooms[0]["timestamp"].get<double>(), leftTo + 0.3);
  EXPECT_FALSE(metadata["cursorPositions"].empty());
  SettingsStore::useFileForStandard({});
}

}  // namespace
}  // namespace tk
