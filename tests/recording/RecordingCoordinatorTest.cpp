#include "recording/RecordingCoordinator.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCoroTask>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QToolTip>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "app/FloatingRecordingPanel.h"
#include "app/FloatingRecordingPanelController.h"
#include "app/StatusBarController.h"
#include "capture/DesktopFixture.h"
#include "capture/ScreenCaptureEngine.h"
#include "capture/SyntheticCamera.h"
#include "capture/iOSDeviceCaptureEngine.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "editor_ui/VideoTrimmerView.h"
#include "model/MetadataRecorder.h"
#include "model/RecordingError.h"
#include "overlays/ZoomRenderer.h"
#include "platform/media/GlobalCoordinates.h"
#include "platform/qt/SettingsStore.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class RecordingCoordinatorTest : public test::CoordinatorTest {};
using test::ToneInNullSink;

std::string reasonOf(const std::function<void()>& call);

nlohmann::json readJson(const fs::path& file) {
  std::ifstream in(file);
  return nlohmann::json::parse(in, nullptr, false);
}

// x264 takes its first frames slowly (it allocates and first touches its own frames as they come),
// on a small or busy machine for a quarter of a second or more, while the capture goes on at 60 fps.
// The writer holds the frames meanwhile: a display take turns none of its start away.
TEST_F(RecordingCoordinatorTest, ADisplayTakeAt60FpsKeepsTheFramesItsEncoderTakesAWhileToStartOn) {
  struct Hold {
    test::CapturedLines lines;
    std::atomic<bool> begun{false}, ended{false}, refused{false};
  };
  // Shared with the encode thread, which may outlive a failed assertion here.
  auto hold = std::make_shared<Hold>();
  harness.coordinator.setEncodeGate([hold] {
    if (hold->begun.exchange(true)) return;
    std::this_thread::sleep_for(250ms);
    // Whatever came meanwhile waits in the writer or was refused (and said so).
    hold->refused = hold->lines.contains("input not ready");
    hold->ended = true;
  });
  RecordingMode mode = RecordingMode::screen(display);
  auto configuration = config(mode);
  configuration.frameRate = 60;
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(test::waitUntil([&] { return hold->ended.load(); }));
  EXPECT_FALSE(hold->refused) << "frames of the take's start were turned away";
  ASSERT_TRUE(harness.recordFor(1.0));
  auto movie = harness.stop();
  ASSERT_TRUE(movie) << harness.error;
  auto facts = test::probeMovie(*movie);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, display->width);
}

TEST_F(RecordingCoordinatorTest, DisplayRecordingLeavesPlayableMovieWithMetadataBeside) {
  RecordingMode mode = RecordingMode::screen(display);
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(3.0));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  EXPECT_EQ(result->parent_path(), out());
  EXPECT_EQ(result->filename().string().rfind("Recording at ", 0), 0u);

  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->videoCodec, "h264");
  EXPECT_EQ(facts->width, display->width);
  EXPECT_EQ(facts->height, display->height);
  EXPECT_NEAR(facts->duration, 3.0, 0.6);

  fs::path metadata = result->parent_path() / (result->stem().string() + ".metadata.json");
  EXPECT_TRUE(readJson(metadata).is_object()) << metadata;
  ASSERT_TRUE(harness.waitForIdle());
  test::waitUntil([&] { return !harness.opened.empty(); });
  EXPECT_EQ(harness.opened, std::vector<fs::path>{*result});
}

TEST_F(RecordingCoordinatorTest, AreaRecordingHasTheAreaSize) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(100, 200, 640, 480));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.5));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, 640);
  EXPECT_EQ(facts->height, 480);
  EXPECT_NEAR(facts->duration, 1.5, 0.6);
}

TEST_F(RecordingCoordinatorTest, WindowRecordingShowsTheWindow) {
  test::PatternWindow window(QRect(300, 200, 400, 300), QColor(20, 200, 60));
  ASSERT_TRUE(window.showAndWait());
  CaptureWindowRef target = test::windowFor(window);
  ASSERT_TRUE(target);
  RecordingMode mode = RecordingMode::window(target);
  ASSERT_TRUE(harness.start(mode, windowConfig(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.5));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, 400);
  EXPECT_EQ(facts->height, 300);
  auto frame = test::frameAt(*result, 1.0, facts->width, facts->height);
  ASSERT_EQ(frame.size(), size_t(400 * 300 * 4));
  size_t centre = (size_t(150) * 400 + 200) * 4;
  EXPECT_NEAR(frame[centre + 1], 200, 30);  // green
  EXPECT_LT(frame[centre + 2], 70);         // little red
}

TEST_F(RecordingCoordinatorTest, SystemAudioCarriesTheToneInTheNullSink) {
  test::ToneInNullSink tone;
  ASSERT_TRUE(tone.playing());
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration = systemAudioConfig(mode);
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(2.5));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->audioCodec, "aac");
  EXPECT_NEAR(test::dominantAudioFrequency(*result, 0.5, 2.0), 440, 15);
}

TEST_F(RecordingCoordinatorTest, AudioOnlyRecordingIsOneAudioFileWithTheTone) {
  test::ToneInNullSink tone;
  ASSERT_TRUE(tone.playing());
  RecordingMode mode = RecordingMode::systemAudio();
  auto configuration = systemAudioConfig(mode);
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  // The sound server hands the output's monitor over in large fragments: record long enough for
  // the first ones to arrive.
  ASSERT_TRUE(harness.recordFor(4.0));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  EXPECT_EQ(result->extension(), ".m4a");
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->audioCodec, "aac");
  EXPECT_TRUE(facts->videoCodec.empty());
  EXPECT_NEAR(test::dominantAudioFrequency(*result, 0.2, 1.0), 440, 15);
  ASSERT_TRUE(test::waitUntil([&] { return !harness.opened.empty(); }));
  EXPECT_EQ(harness.opened.front(), *result);
}

TEST_F(RecordingCoordinatorTest, SeparateLayersMakeAPackageWithManifestAndMetadata) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 480, 320));
  auto configuration = config(mode);
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableSeparateLayers = true;
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.5));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  EXPECT_TRUE(fs::is_directory(*result));
  EXPECT_EQ(result->filename().string().rfind("Recording-", 0), 0u);
  auto manifest = readJson(*result / ".package.json");
  EXPECT_TRUE(manifest.is_object());
  EXPECT_TRUE(readJson(*result / ".metadata.json").is_object());
  auto facts = test::probeMovie(*result / ".screen.mov");
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, 480);
  EXPECT_NEAR(facts->duration, 1.5, 0.6);
}

TEST_F(RecordingCoordinatorTest, PauseLeavesThePausedSecondOutOfMovieAndMetadata) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.0));
  harness.coordinator.pauseRecording();
  EXPECT_TRUE(harness.coordinator.isPaused());
  double atPause = harness.coordinator.recordingDuration();
  test::pumpEvents(1000ms);
  EXPECT_NEAR(harness.coordinator.recordingDuration(), atPause, 0.05);  // frozen while paused
  harness.coordinator.resumeRecording();
  ASSERT_TRUE(harness.recordFor(2.0));
  auto result = harness.stop();
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(result) << harness.error;
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_NEAR(facts->duration, 2.0, 0.5);
  EXPECT_GT(wall - facts->duration, 0.8);

  auto metadata = readJson(result->parent_path() / (result->stem().string() + ".metadata.json"));
  ASSERT_TRUE(metadata.is_object());
  ASSERT_FALSE(metadata["cursorPositions"].empty());
  for (const auto& position : metadata["cursorPositions"]) {
    EXPECT_LE(position["timestamp"].get<double>(), facts->duration + 0.15);
  }
}

TEST_F(RecordingCoordinatorTest, ClickToZoomInWindowRecordingZoomsTheWrittenFrames) {
  const int stripe = 16;
  test::PatternWindow window(QRect(200, 150, 640, 480), Qt::white, stripe);
  ASSERT_TRUE(window.showAndWait());
  CaptureWindowRef target = test::windowFor(window);
  ASSERT_TRUE(target);
  RecordingMode mode = RecordingMode::window(target);
  auto configuration = windowConfig(mode);
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableClickToZoom = true;
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.coordinator.shouldUseWindowPump());
  ASSERT_TRUE(harness.recordFor(1.0));
  double clickedAt = harness.coordinator.recordingDuration();
  // The centre of the window, in the global space (y up).
  QPointF click = GlobalCoordinates::current().fromX11(QPointF(200 + 330, 150 + 250));
  harness.coordinator.handleCursorMove(click);
  harness.coordinator.handleClick(click, ClickType::leftClick);
  ASSERT_TRUE(harness.recordFor(clickedAt + 1.2));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->width, 640);

  auto before = test::frameAt(*result, clickedAt - 0.5, 640, 480);
  auto after = test::frameAt(*result, clickedAt + 0.9, 640, 480);
  ASSERT_EQ(after.size(), size_t(640 * 480 * 4));
  double plain = test::medianRunLength(before, 640, 240, 0, 640);
  double zoomed = test::medianRunLength(after, 640, 240, 0, 640);
  EXPECT_NEAR(plain, stripe, 2);
  EXPECT_NEAR(zoomed / plain, 2.25, 0.3);

  auto metadata = readJson(result->parent_path() / (result->stem().string() + ".metadata.json"));
  EXPECT_EQ(metadata["zoomEvents"].size(), 1u);
  EXPECT_EQ(metadata["cursorClicks"].size(), 1u);
}

TEST_F(RecordingCoordinatorTest, RecordingsInARowEachKeepTheirOwnFile) {
  struct Kept {
    fs::path file;
    uintmax_t size;
    fs::file_time_type written;
  };
  std::vector<Kept> kept;
  std::vector<RecordingMode> modes{RecordingMode::screen(display),
                                   RecordingMode::screenArea(display, QRectF(10, 10, 320, 240)),
                                   RecordingMode::screenArea(display, QRectF(50, 50, 200, 100))};
  for (const auto& mode : modes) {
    ASSERT_TRUE(harness.waitForIdle());
    ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
    ASSERT_TRUE(harness.recordFor(1.1));
    auto result = harness.stop();
    ASSERT_TRUE(result) << harness.error;
    for (const auto& earlier : kept) {
      EXPECT_NE(earlier.file, *result);
      EXPECT_EQ(fs::file_size(earlier.file), earlier.size) << earlier.file;
      EXPECT_EQ(fs::last_write_time(earlier.file), earlier.written) << earlier.file;
    }
    kept.push_back({*result, fs::file_size(*result), fs::last_write_time(*result)});
  }
  EXPECT_EQ(test::probeMovie(kept[1].file)->width, 320);
  EXPECT_EQ(test::probeMovie(kept[2].file)->width, 200);
}

TEST_F(RecordingCoordinatorTest, UnusableOutputFoldersFailClearlyAndReturnToIdle) {
  RecordingMode mode = RecordingMode::screen(display);
  std::ofstream(dir() / "plain-file") << "x";
  // A regular file where the folder should be; a folder on a file system that holds nothing.
  std::vector<std::pair<fs::path, RecordingError::Kind>> cases{
      {dir() / "plain-file", RecordingError::Kind::outputDirectoryNotWritable},
      {"/proc/1", RecordingError::Kind::insufficientDiskSpace}};
  for (const auto& [folder, kind] : cases) {
    auto configuration = test::baseConfiguration(mode, folder);
    EXPECT_FALSE(harness.start(mode, configuration)) << folder;
    EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
    ASSERT_TRUE(harness.coordinator.lastError());
    EXPECT_EQ(harness.coordinator.lastError()->kind(), kind) << harness.error;
  }
  EXPECT_EQ(fs::file_size(dir() / "plain-file"), 1u);
  // And the next recording works.
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(0.5));
  EXPECT_TRUE(harness.stop());
}

TEST_F(RecordingCoordinatorTest, AGrowingWindowGrowsTheStreamToItsSizeAndNoFurther) {
  test::PatternWindow window(QRect(200, 150, 320, 240), QColor(40, 40, 200));
  ASSERT_TRUE(window.showAndWait());
  RecordingMode mode = RecordingMode::window(test::windowFor(window));
  ASSERT_TRUE(harness.start(mode, windowConfig(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(0.3));
  // Grown in steps, as a person drags a corner: every frame in between asks for a resize.
  for (QSize size : {QSize(400, 300), QSize(520, 390), QSize(640, 480)}) {
    window.resize(size);
    test::pumpEvents(100ms);
  }
  auto stream = [&] {
    const auto& configuration = *harness.coordinator.screenEngine()->configuration();
    return QSize(configuration.width, configuration.height);
  };
  EXPECT_TRUE(test::waitUntil([&] { return stream() == QSize(640, 480); }))
      << stream().width() << "x" << stream().height();
  ASSERT_TRUE(harness.recordFor(harness.coordinator.recordingDuration() + 1.0));
  EXPECT_EQ(stream(), QSize(640, 480));
  EXPECT_TRUE(harness.stop());
}

TEST_F(RecordingCoordinatorTest, WindowDestroyedMidRecordingKeepsThePartialMovie) {
  auto window = std::make_unique<test::PatternWindow>(QRect(100, 100, 320, 240), QColor(200, 40, 40));
  ASSERT_TRUE(window->showAndWait());
  CaptureWindowRef target = test::windowFor(*window);
  ASSERT_TRUE(target);
  RecordingMode mode = RecordingMode::window(target);
  ASSERT_TRUE(harness.start(mode, windowConfig(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.5));
  window.reset();
  ASSERT_TRUE(test::waitUntil([&] { return harness.coordinator.lastError().has_value(); }));
  EXPECT_EQ(harness.coordinator.lastError()->kind(), RecordingError::Kind::streamInterrupted);
  EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
  std::vector<fs::path> movies;
  for (const auto& entry : fs::directory_iterator(out())) {
    if (entry.path().extension() == ".mp4") movies.push_back(entry.path());
  }
  ASSERT_EQ(movies.size(), 1u);
  auto facts = test::probeMovie(movies.front());
  ASSERT_TRUE(facts);
  EXPECT_GT(facts->duration, 1.0);
}

TEST_F(RecordingCoordinatorTest, SecondStartDuringCountdownIsRefused) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  auto configuration = config(mode);
  configuration.countdown = 1;
  test::awaitTask(harness.coordinator.prepareRecording(mode, configuration));
  auto first = harness.coordinator.startRecording();
  EXPECT_EQ(harness.coordinator.countdownValue(), 1);
  try {
    test::awaitTask(harness.coordinator.startRecording());
    FAIL() << "a second start during the countdown was accepted";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.reason(), "Recording is already starting");
  }
  test::awaitTask(std::move(first));
  EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::recording);
  EXPECT_EQ(harness.coordinator.countdownValue(), 0);
  ASSERT_TRUE(harness.recordFor(0.3));
  EXPECT_TRUE(harness.stop());
}

TEST_F(RecordingCoordinatorTest, AStartGivenUpEndsItsCountdownAtOnceAndLeavesNothing) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  auto configuration = config(mode);
  const auto leftInTheFolder = [&] {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(out())) found.push_back(entry.path());
    return found;
  };
  for (const bool countingDown : {true, false}) {
    SCOPED_TRACE(countingDown ? "during a countdown" : "prepared, before its start");
    configuration.countdown = countingDown ? 600 : 0;
    test::awaitTask(harness.coordinator.prepareRecording(mode, configuration));
    ASSERT_FALSE(leftInTheFolder().empty()) << "nothing prepared";
    std::optional<QCoro::Task<void>> start;
    if (countingDown) start = harness.coordinator.startRecording();
    const auto asked = std::chrono::steady_clock::now();
    test::awaitTask(harness.coordinator.cancelStart());
    if (start) test::awaitTask(std::move(*start));  // returns without recording
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(60));
    EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
    EXPECT_EQ(harness.coordinator.countdownValue(), 0);
    EXPECT_TRUE(leftInTheFolder().empty()) << leftInTheFolder().front();
  }
  // A take that records is not given up, and the next one starts as usual.
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  test::awaitTask(harness.coordinator.cancelStart());
  ASSERT_TRUE(harness.recordFor(0.3));
  EXPECT_TRUE(harness.stop());
}

// A timer waits at most an int of milliseconds (24.8 days). An auto-stop of more minutes than that
// neither wraps to a few seconds (71583 minutes are 2^32 ms and 12.9 s) nor is refused (40000): it
// waits on, piece by piece, and stops at its deadline. The clock jumps here; each piece is 20 ms.
TEST_F(RecordingCoordinatorTest, AnAutoStopLongerThanOneTimerWaitStopsAtItsDeadline) {
  double now = 1000;
  harness.coordinator.setAutoStopTiming({[&] { return now; }, std::chrono::milliseconds(20)});
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  for (int minutes : {40000, 71583}) {
    if (minutes != 40000) {
      ASSERT_TRUE(harness.stop()) << harness.error;
      ASSERT_TRUE(harness.waitForIdle());
    }
    auto configuration = config(mode);
    configuration.autoStopMinutes = minutes;
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    EXPECT_EQ(harness.coordinator.autoStopDueIn(), std::chrono::minutes(minutes)) << minutes;
    ASSERT_TRUE(harness.recordFor(0.5));
    EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::recording) << minutes;
  }
  harness.opened.clear();
  now += 71583 * 60.0 - 1;
  ASSERT_TRUE(harness.recordFor(0.8));
  EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::recording);
  EXPECT_EQ(harness.coordinator.autoStopDueIn(), std::chrono::seconds(1));
  now += 1;
  ASSERT_TRUE(test::waitUntil([&] { return !harness.opened.empty(); })) << "the take never stopped";
  EXPECT_FALSE(harness.coordinator.lastError());
  EXPECT_FALSE(harness.coordinator.autoStopDueIn());
}

TEST_F(RecordingCoordinatorTest, ClickHandlerRecordsClicksInsideTheAreaWhileNotPaused) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(100, 100, 400, 300));
  auto configuration = config(mode);
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableClickToZoom = true;
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  EXPECT_EQ(reasonOf([&] { test::awaitTask(harness.coordinator.prepareRecording(mode, configuration)); }),
            "Cannot prepare while recording is active");
  auto rect = harness.coordinator.captureRect();
  ASSERT_TRUE(rect);
  // Global space, y up: a point a quarter in from the left and a fifth down from the top.
  QPointF inside(rect->left() + rect->width() / 4, rect->bottom() - rect->height() / 5);
  harness.coordinator.handleClick(inside, ClickType::leftClick);
  harness.coordinator.handleClick(inside, ClickType::rightClick);
  harness.coordinator.handleClick(rect->bottomRight() + QPointF(10, 10), ClickType::leftClick);
  harness.coordinator.pauseRecording();
  harness.coordinator.handleClick(inside, ClickType::leftClick);
  harness.coordinator.resumeRecording();
  const auto& metadata = harness.coordinator.metadataRecorder()->metadata();
  ASSERT_EQ(metadata.cursorClicks.size(), 2u);
  EXPECT_NEAR(metadata.cursorClicks[0].position.x(), 0.25, 1e-9);
  EXPECT_NEAR(metadata.cursorClicks[0].position.y(), 0.2, 1e-9);  // measured down from the top
  ASSERT_EQ(metadata.zoomEvents.size(), 1u);                      // the right click zooms nothing
  EXPECT_NEAR(metadata.zoomEvents[0].position.y(), 0.8, 1e-9);    // measured up from the bottom
  auto zoom = harness.coordinator.zoomRenderer()->snapshot();
  EXPECT_DOUBLE_EQ(zoom.zoomScaleTarget, 2.25);
  EXPECT_NEAR(zoom.anchorNormalizedCurrent.y(), 0.2, 1e-9);
  EXPECT_FALSE(harness.coordinator.shouldUseWindowPump());  // area recordings write frames directly
  ASSERT_TRUE(harness.recordFor(0.5));
  EXPECT_TRUE(harness.stop());
}

TEST_F(RecordingCoordinatorTest, TrimAfterRecordOpensThePackagesScreenLayerInTheEditor) {
  QTemporaryDir settingsDir;
  SettingsStore::useFileForStandard(settingsDir.filePath("settings.ini"));
  SettingsStore::standard().setBool("trimAfterRecord", true);
  auto& editor = VideoTrimmerManager::shared();
  RecordingCoordinator coordinator;  // with the real hand-off
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration = config(mode);
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableSeparateLayers = true;
  test::awaitTask(coordinator.prepareRecording(mode, configuration));
  test::awaitTask(coordinator.startRecording());
  // The duration counts from before the start's waits: a loaded machine may spend most of the
  // first second there, so the movie gets its 0.6 s from the moment the start returned.
  const double started = coordinator.recordingDuration();
  test::waitUntil([&] { return coordinator.recordingDuration() >= started + 0.6; });
  test::awaitTask(coordinator.stopRecording());
  SettingsStore::useFileForStandard({});
  auto* completed = coordinator.recordingState().get<RecordingState::Completed>();
  ASSERT_TRUE(completed);
  fs::path screenLayer = completed->fileURL / ".screen.mov";
  ASSERT_TRUE(test::waitUntil([&] { return editor.openTrimmerWindow(screenLayer) != nullptr; }));
  QWidget* window = editor.openTrimmerWindow(screenLayer);
  EXPECT_EQ(window->windowTitle(), "Video Trimmer - .screen.mov");
  // The window is the editor on the recorded movie, which loads and plays.
  auto* trimmer = window->findChild<VideoTrimmerView*>();
  ASSERT_TRUE(trimmer);
  EXPECT_EQ(trimmer->videoURL(), screenLayer);
  ASSERT_TRUE(test::waitUntil([&] { return !trimmer->viewModel().isLoading() || trimmer->loadFailed(); }));
  ASSERT_FALSE(trimmer->loadFailed()) << trimmer->errorMessage();
  EXPECT_EQ(trimmer->videoNaturalSize(), QSizeF(320, 240));
  EXPECT_TRUE(trimmer->viewModel().cameraURL() == std::nullopt);  // no camera was recorded
  trimmer->viewModel().player()->play();
  EXPECT_TRUE(test::waitUntil([&] { return trimmer->isPlaying() && trimmer->currentTime() > 0.2; }));
  EXPECT_TRUE(test::waitUntil([&] { return trimmer->viewModel().player()->currentFrame() != nullptr; }));
  window->close();
  EXPECT_EQ(trimmer->viewModel().player(), nullptr);  // closing tore the editor down
}

TEST_F(RecordingCoordinatorTest, StatusItemAndPanelFollowTheRecordingAndStayOutOfIt) {
  auto& status = StatusBarController::shared();
  auto& panel = FloatingRecordingPanelController::shared();
  ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
  // Something bright where the panel will float, so a captured panel would show.
  QRect screen = QRect(display->frame.toRect());
  test::PatternWindow backdrop(QRect(screen.right() - 400, screen.top(), 400, 200), QColor(0, 255, 0));
  ASSERT_TRUE(backdrop.showAndWait());

  RecordingMode mode = RecordingMode::screen(display);
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(test::waitUntil([&] { return status.statusItem() && panel.isVisible(); }));
  EXPECT_TRUE(status.statusItem()->isVisible());
  EXPECT_EQ(panel.recordingCoordinator(), &harness.coordinator);
  ASSERT_TRUE(harness.recordFor(1.2));
  test::waitUntil([&] { return status.recordingDuration() != "00:00"; });
  // The title heads the menu, in characters the fonts have; no tooltip drops over the panel.
  EXPECT_TRUE(status.statusItem()->toolTip().isEmpty());
  const QString title = QString::fromStdString(status.title());
  EXPECT_TRUE(title.endsWith(QString::fromStdString(status.recordingDuration()))) << status.title();
  const QFontMetrics metrics(QToolTip::font());
  for (char32_t c : title.toUcs4())
    EXPECT_TRUE(metrics.inFontUcs4(c)) << "no glyph for U+" << std::hex << uint32_t(c);
  auto texts = [&] {
    std::vector<std::string> all;
    status.statusBarButtonClicked();
    for (auto* action : status.menu()->actions()) all.push_back(action->text().toStdString());
    status.menu()->hide();
    return all;
  };
  EXPECT_EQ(texts()[1], "Stop Recording");
  EXPECT_EQ(texts()[2], "Pause Recording");

  // Pausing from the panel reaches the coordinator, the panel and the status item.
  panel.panel()->pauseButton()->click();
  ASSERT_TRUE(test::waitUntil(
      [&] { return harness.coordinator.isPaused() && panel.isPaused() && status.isPaused(); }));
  EXPECT_EQ(texts()[2], "Resume Recording");
  EXPECT_EQ(panel.panel()->pauseButton()->toolTip(), "Resume");
  status.handlePauseResumeFromMenu();
  ASSERT_TRUE(test::waitUntil(
      [&] { return !harness.coordinator.isPaused() && !panel.isPaused() && !status.isPaused(); }));
  ASSERT_TRUE(harness.recordFor(1.5));

  QRect panelFrame = panel.panel()->frameGeometry();
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  ASSERT_TRUE(test::waitUntil([&] { return !status.statusItem() && !panel.isVisible(); }));
  EXPECT_FALSE(panel.recordingCoordinator());

  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  auto frame = test::frameAt(*result, 1.0, facts->width, facts->height);
  QPoint probe = panelFrame.center() - screen.topLeft();
  size_t at = (size_t(probe.y()) * facts->width + probe.x()) * 4;
  ASSERT_LT(at + 3, frame.size());
  EXPECT_GT(frame[at + 1], 200) << "the panel appeared in the recording";  // green backdrop
  EXPECT_LT(frame[at + 2], 60);
}

// Clicks on the private desktop through XTest, as a person's pointer would.
void clickAt(QPoint at, int button = 1) {
  QProcess::execute("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y())});
  QProcess::execute("xdotool", {"click", QString::number(button)});
}

// Where a click reaches the tray icon, once the tray host has taken the icon in and shows it
// uncovered. Until the host embeds it, the icon reports the place it was made at, the screen's
// top-left corner, where a click reaches something else.
std::optional<QPoint> trayIconPoint(const QSystemTrayIcon* item, test::DesktopFixture& desktop) {
  if (!item) return std::nullopt;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() != "QSystemTrayIconSys") continue;
    const QPoint centre = item->geometry().center();
    if (desktop.windowAt(centre) == widget->winId()) return centre;
  }
  return std::nullopt;
}

TEST_F(RecordingCoordinatorTest, TheTrayMenuStaysOpenThroughDurationUpdatesAndActsOnceOnEachChoice) {
  auto& status = StatusBarController::shared();
  ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
  RecordingMode mode = RecordingMode::screen(display);
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  test::DesktopFixture desktop;
  std::optional<QPoint> shownAt;
  ASSERT_TRUE(test::waitUntil([&] {
    return (shownAt = trayIconPoint(status.statusItem(), desktop)).has_value();
  })) << "the tray host did not show the icon";
  const QPoint icon = *shownAt;
  QMenu* menu = status.menu();
  ASSERT_TRUE(menu);
  int openings = 0;
  QObject::connect(menu, &QMenu::aboutToShow, [&] { ++openings; });
  test::CapturedLines lines;
  const auto logged = [&](const std::string& fragment) {
    const auto all = lines.lines();
    return std::count_if(all.begin(), all.end(),
                         [&](const std::string& line) { return line.find(fragment) != std::string::npos; });
  };
  // Open (the release of the opening click lands wherever the menu put itself).
  const auto open = [&](int button) {
    clickAt(icon, button);
    return test::waitUntil(
        [&] { return menu->isVisible() && QGuiApplication::mouseButtons() == Qt::NoButton; });
  };
  const auto choose = [&](int entry) {
    QAction* action = menu->actions().at(entry);
    clickAt(menu->mapToGlobal(menu->actionGeometry(action).center()));
  };

  for (int button : {1, 3}) {
    ASSERT_TRUE(open(button)) << "button " << button;
    const QList<QAction*> actions = menu->actions();
    const std::string before = status.recordingDuration();
    // Two seconds of duration updates, ten a second, while the menu is open.
    ASSERT_TRUE(harness.recordFor(harness.coordinator.recordingDuration() + 2.0));
    ASSERT_TRUE(test::waitUntil([&] { return status.recordingDuration() != before; }));
    EXPECT_TRUE(menu->isVisible()) << "button " << button;
    EXPECT_EQ(menu->actions(), actions) << "button " << button;
    EXPECT_TRUE(actions.front()->text().endsWith(QString::fromStdString(status.recordingDuration())));
    EXPECT_EQ(openings, button == 1 ? 1 : 2);
    EXPECT_EQ(logged("button clicked"), 0) << "an entry acted unasked";
    EXPECT_FALSE(harness.coordinator.isPaused());
    menu->hide();
  }

  ASSERT_TRUE(open(1));
  choose(2);  // Pause Recording
  ASSERT_TRUE(test::waitUntil([&] { return harness.coordinator.isPaused() && status.isPaused(); }));
  EXPECT_EQ(logged("Pause/Resume button clicked"), 1);
  ASSERT_TRUE(open(1));
  EXPECT_EQ(menu->actions().at(2)->text(), "Resume Recording");
  choose(1);  // Stop Recording
  ASSERT_TRUE(test::waitUntil([&] { return !harness.opened.empty() && !status.statusItem(); }));
  EXPECT_EQ(logged("Stop button clicked"), 1);
  EXPECT_EQ(logged("Pause/Resume button clicked"), 1);
  EXPECT_EQ(harness.opened.size(), 1u);
}

TEST_F(RecordingCoordinatorTest, HideThenShowAtOnceLeavesAShownPanelInControl) {
  auto& panel = FloatingRecordingPanelController::shared();
  panel.hide();
  panel.show(harness.coordinator);
  ASSERT_TRUE(test::waitUntil([&] { return panel.isVisible(); }));
  test::pumpEvents(100ms);
  EXPECT_TRUE(panel.isVisible());
  EXPECT_EQ(panel.recordingCoordinator(), &harness.coordinator);
  panel.hide();
  ASSERT_TRUE(test::waitUntil([&] { return !panel.isVisible(); }));
}

}  // namespace
}  // namespace tk

namespace tk {
namespace {

std::string reasonOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RecordingError& error) {
    return error.reason();
  }
  return "(no error)";
}

TEST(RecordingCoordinatorStateTest, OperationsOutOfTurnAreRefusedAndChangeNothing) {
  RecordingCoordinator coordinator;
  EXPECT_EQ(reasonOf([&] { test::awaitTask(coordinator.stopRecording()); }),
            "Cannot stop recording in current state");
  EXPECT_EQ(reasonOf([&] { coordinator.pauseRecording(); }), "Cannot pause when not recording");
  EXPECT_EQ(reasonOf([&] { coordinator.resumeRecording(); }), "Cannot resume when not paused");
  EXPECT_EQ(reasonOf([&] { test::awaitTask(coordinator.startRecording()); }), "Recording not prepared");
  EXPECT_EQ(coordinator.recordingState().kind(), RecordingState::Kind::idle);
  EXPECT_FALSE(coordinator.lastError());
}

TEST(RecordingCoordinatorStateTest, OutputNameWithoutConfigurationFallsBackToTheTemporaryFolder) {
  RecordingCoordinator coordinator;
  EXPECT_EQ(coordinator.makeOutputURL(), std::filesystem::temp_directory_path() / "recording.mp4");
}

// An attached device previewing through a synthetic source, handed to the coordinator, and every
// state the coordinator publishes from then on.
class RecordingCoordinatorDeviceTest : public ::testing::Test {
 protected:
  RecordingCoordinatorDeviceTest() {
    CaptureDevice device = test::syntheticDevice("grabber");
    device.isExternal = true;
    engine = std::make_shared<iOSDeviceCaptureEngine>(
        [](const CaptureDevice& d, iOSRecordingQuality) {
          return std::make_unique<test::SyntheticCamera>(d, 64, 48);
        },
        [device] { return std::vector<CaptureDevice>{device}; }, "");
    engine->startDevicePreview(engine->availableDevices().front(), iOSRecordingQuality::low);
    coordinator->setIOSDeviceEngine(engine);
    QObject::connect(coordinator.get(), &RecordingCoordinator::recordingStateChanged,
                     [this] { states.push_back(coordinator->recordingState().kind()); });
  }

  // The engine stopped, forgot its device and was let go; only the test still holds it.
  void expectEngineReleased() {
    EXPECT_FALSE(engine->isPreviewActive());
    EXPECT_FALSE(engine->currentDevice());
    EXPECT_EQ(coordinator->iOSDeviceEngine(), nullptr);
    EXPECT_EQ(engine.use_count(), 1);
  }

  std::unique_ptr<RecordingCoordinator> coordinator = std::make_unique<RecordingCoordinator>();
  std::shared_ptr<iOSDeviceCaptureEngine> engine;
  std::vector<RecordingState::Kind> states;
};

TEST_F(RecordingCoordinatorDeviceTest, AFinishedDeviceMovieCompletesReleasesTheEngineAndReturnsToIdle) {
  ASSERT_TRUE(engine->isPreviewActive());
  // The engine's file output reports the end from its own thread.
  std::thread([&] { engine->recordingFinished("/recordings/device.mov", nullptr); }).join();
  ASSERT_TRUE(test::waitUntil([&] { return !states.empty(); }));
  ASSERT_EQ(states.front(), RecordingState::Kind::completed);
  expectEngineReleased();
  ASSERT_TRUE(test::waitUntil([&] {
    return coordinator->recordingState().kind() == RecordingState::Kind::idle;
  })) << "a coordinator left completed refuses the next recording";
}

TEST_F(RecordingCoordinatorDeviceTest, AFailedDeviceMovieIsADeviceFailureUnlessItIsARecordingError) {
  engine->recordingFinished("/recordings/device.mov",
                            std::make_exception_ptr(std::runtime_error("unplugged")));
  ASSERT_TRUE(test::waitUntil([&] { return states.size() == 2; }));
  EXPECT_EQ(states, (std::vector{RecordingState::Kind::failed, RecordingState::Kind::idle}));
  ASSERT_TRUE(coordinator->lastError());
  EXPECT_EQ(coordinator->lastError()->kind(), RecordingError::Kind::captureDeviceUnavailable);
  expectEngineReleased();

  // Straight from the device, a recording error is kept as it is; no engine is there to release.
  coordinator->iOSDeviceRecordingDidFail(std::make_exception_ptr(RecordingError::insufficientDiskSpace()));
  EXPECT_EQ(coordinator->lastError()->kind(), RecordingError::Kind::insufficientDiskSpace);
}

TEST_F(RecordingCoordinatorDeviceTest, AFinishThatArrivesAfterTheCoordinatorIsGoneIsDropped) {
  engine->recordingFinished("/recordings/device.mov", nullptr);
  coordinator.reset();
  test::pumpEvents(std::chrono::milliseconds(50));
  EXPECT_TRUE(engine->isPreviewActive());
}

TEST(RecordingCoordinatorWindowsTest, AnEditorWindowLeavesTheListWhenItAcceptsItsClose) {
  struct Stubborn : QWidget {
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
  };
  RecordingCoordinator coordinator;
  QWidget first, second;
  Stubborn stubborn;
  for (QWidget* window : {&first, &second, static_cast<QWidget*>(&stubborn)}) {
    coordinator.keepStudioEditorWindow(window);
    window->show();
  }
  first.close();
  stubborn.close();
  EXPECT_EQ(coordinator.studioEditorWindows(), (std::vector<QPointer<QWidget>>{&second, &stubborn}));
  EXPECT_TRUE(stubborn.isVisible());
}

}  // namespace
}  // namespace tk
