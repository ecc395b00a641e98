// Recordings that end badly: a full disk, a stream that stops, a stop that fails, names that are
// taken. Each must keep what was recorded, save the metadata beside it and tell the person.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <future>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "app/FloatingRecordingPanel.h"
#include "app/FloatingRecordingPanelController.h"
#include "app/RecordingFailureAlert.h"
#include "app/SavedRecordingNotice.h"
#include "app/StatusBarController.h"
#include "capture/ScreenCaptureEngine.h"
#include "capture/SyntheticCamera.h"
#include "export/ExportDestination.h"
#include "model/AudioPackageInfo.h"
#include "model/MetadataEvents.h"
#include "model/RecordingError.h"
#include "model/RecordingMetadata.h"
#include "model/RecordingPackage.h"
#include "overlays/KeyboardShortcutHandler.h"
#include "platform/ffmpeg/LeftoverFiles.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "platform/qt/TestHold.h"
#include "platform/x11/ShortcutGrab.h"
#include "support/ChildTests.h"
#include "support/TestSupport.h"
#include "writing/AudioOnlyRecorder.h"
#include "writing/LayerRecordingManager.h"
#include "writing/MediaWriter.h"

namespace tk {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The failure alert of the application, with the file manager replaced by a list.
struct ToldUser {
  explicit ToldUser(RecordingCoordinator& coordinator)
      : alert(coordinator, [this](const fs::path& path) { revealed.push_back(path); }) {
    QObject::connect(&coordinator, &RecordingCoordinator::recordingFailed, &alert,
                     [this](const RecordingError& error, const fs::path& saved) {
                       errors.push_back(error.kind());
                       savedPaths.push_back(saved);
                     });
  }
  std::string text() const { return alert.alert() ? alert.alert()->text().toStdString() : ""; }
  std::string details() const { return alert.alert() ? alert.alert()->informativeText().toStdString() : ""; }

  RecordingFailureAlert alert;
  std::vector<fs::path> revealed;
  std::vector<RecordingError::Kind> errors;
  std::vector<fs::path> savedPaths;
};

std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

using test::startChildTests;

// Runs the child test `filter` (see startChildTests), with `flag` set to 1 when given, until it
// kills itself.
void runChildUntilKilled(const char* variable, const QString& folder, const QString& filter, const char* flag,
                         const QStringList& wrapper = {}) {
  if (flag) qputenv(flag, "1");
  QProcess child;
  startChildTests(child, variable, folder, filter, wrapper);
  if (flag) qunsetenv(flag);
  ASSERT_TRUE(child.waitForStarted());
  ASSERT_TRUE(child.waitForFinished(300000));
  ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << "the recording was not killed";
}

// A window of fresh noise every frame, so that the encoder has plenty to write.
class NoiseWindow : public QWidget {
 public:
  explicit NoiseWindow(QRect geometry) : image_(geometry.size(), QImage::Format_RGB32) {
    setGeometry(geometry);
    setWindowFlag(Qt::FramelessWindowHint);
    connect(&timer_, &QTimer::timeout, this, [this] { update(); });
    timer_.start(16);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* bits = reinterpret_cast<quint32*>(image_.bits());
    QRandomGenerator::global()->fillRange(bits, image_.sizeInBytes() / 4);
    QPainter(this).drawImage(0, 0, image_);
  }

 private:
  QImage image_;
  QTimer timer_;
};

// ---- a full disk ----

// Runs inside the small file system that AFullDiskEndsTheTake mounts for it (TK_SMALL_DISK).
class SmallDiskRecording : public test::CoordinatorTest {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("TK_SMALL_DISK"))
      GTEST_SKIP() << "runs inside the small file system the full-disk test mounts";
    test::CoordinatorTest::SetUp();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove(disk() / "filler", ignored);
    fs::remove_all(disk() / "out", ignored);
  }
  fs::path disk() const { return qEnvironmentVariable("TK_SMALL_DISK").toStdString(); }
  RecordingConfiguration noisyConfig(QSize size = {640, 480}) {
    noise = std::make_unique<NoiseWindow>(QRect(QPoint(100, 100), size));
    noise->show();
    // The area's rectangle is in global space (y up): the window's place seen from the bottom.
    const double bottom = display->frame.height() - 100 - size.height();
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(100, bottom, size.width(), size.height()));
    auto configuration = test::baseConfiguration(mode, disk() / "out");
    return configuration;
  }
  // Takes all but `room` bytes of what is left.
  void fillLeaving(uint64_t room) { test::fillDiskLeaving(disk(), room); }
  // Records a few seconds, then another program takes all but `room` of the disk; records until
  // the coordinator has given up.
  void recordUntilFull(const RecordingConfiguration& configuration, uint64_t room) {
    RecordingMode mode = configuration.mode;
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    ASSERT_TRUE(harness.recordFor(3.0));
    fillLeaving(room);
    ASSERT_TRUE(test::waitUntil([&] { return !told.errors.empty(); }, 240s))
        << "the full disk went unnoticed";
    ASSERT_TRUE(harness.waitForIdle());
  }
  // The movie plays to its last frame: read on from a second before its end, the editor's reader
  // delivers every frame the file holds there, through the last, and a time past the end shows the
  // last. Where the frames lie is the capture's business: a loaded machine keeps fewer of them.
  static void expectPlayableToItsEnd(const fs::path& movie, double atLeast) {
    const auto facts = test::probeMovie(movie);
    ASSERT_TRUE(facts && !facts->videoFrameTimes.empty()) << movie;
    EXPECT_GT(MediaAsset::load(movie).duration().seconds(), atLeast) << movie;
    std::vector<double> expected;
    for (double time : facts->videoFrameTimes)
      if (time >= facts->videoFrameTimes.back() - 1.0) expected.push_back(time);
    VideoFrameReader reader(movie);
    reader.seek(MediaTime::fromSeconds(expected.front() + 0.0005, 1000000));
    std::vector<double> played;
    while (const auto time = reader.advance())
      if (time->seconds() > expected.front() - 0.0005) played.push_back(time->seconds());
    ASSERT_EQ(played.size(), expected.size());
    for (size_t i = 0; i < played.size(); ++i) EXPECT_NEAR(played[i], expected[i], 0.001) << i;
    EXPECT_NEAR(reader.frameAt(MediaTime::fromSeconds(facts->duration + 1, 600)).presentationTime().seconds(),
                expected.back(), 0.001);
  }
  static void expectMetadataWithDuration(const fs::path& file, double atLeast) {
    ASSERT_TRUE(fs::exists(file)) << file;
    EXPECT_GT(fs::file_size(file), 0u);
    EXPECT_GT(readRecordingMetadata(file).duration, atLeast);
  }

  std::unique_ptr<NoiseWindow> noise;
  ToldUser told{harness.coordinator};
};

TEST_F(SmallDiskRecording, AMovieStopsAtTheFirstFailedWriteAndStaysPlayable) {
  // A large, busy picture: the disk fills within seconds of the other program leaving 20 MB.
  auto configuration = noisyConfig({1600, 900});
  configuration.frameRate = 60;
  configuration.videoQuality = VideoQuality::high;
  recordUntilFull(configuration, 20 << 20);
  EXPECT_EQ(told.errors, std::vector{RecordingError::Kind::insufficientDiskSpace});
  EXPECT_EQ(harness.coordinator.lastError()->kind(), RecordingError::Kind::insufficientDiskSpace);
  ASSERT_EQ(told.savedPaths.size(), 1u);
  const fs::path movie = told.savedPaths.front();
  EXPECT_EQ(told.revealed, std::vector{movie});
  EXPECT_EQ(told.text(), RecordingError::insufficientDiskSpace().localizedDescription());

  ASSERT_TRUE(test::probeMovie(movie)) << "the movie does not open";
  expectPlayableToItsEnd(movie, 2.5);
  EXPECT_EQ(test::frameAt(movie, 0.05, 1600, 900).size(), size_t(1600 * 900 * 4));
  expectMetadataWithDuration(movie.parent_path() / (movie.stem().string() + ".metadata.json"), 2.5);
  // The reserve went back to the disk.
  for (const auto& file : filesIn(movie.parent_path()))
    EXPECT_EQ(file.string().find(".reserve"), std::string::npos) << file;
}

TEST_F(SmallDiskRecording, APackageKeepsItsPlayableScreenLayerAndMetadata) {
  auto configuration = noisyConfig();
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableSeparateLayers = true;
  recordUntilFull(configuration, 64 * 1024);
  ASSERT_EQ(told.savedPaths.size(), 1u);
  const fs::path package = told.savedPaths.front();
  ASSERT_TRUE(fs::is_directory(package)) << package;
  ASSERT_TRUE(test::probeMovie(package / ".screen.mov")) << "the screen layer does not open";
  expectPlayableToItsEnd(package / ".screen.mov", 2.5);
  expectMetadataWithDuration(package / ".metadata.json", 2.5);
}

TEST(RecordingCoordinatorFullDiskTest, AFullDiskEndsTheTakeWithAPlayableMovie) {
  TK_REQUIRE_DESKTOP();
  // The check before a recording wants 1 GiB free; the test fills the rest once it runs.
  if (const auto reason = test::runTestsOnSmallDisk("SmallDiskRecording.*", "1200m"))
    GTEST_SKIP() << "the full disk is not tested: " << *reason;
}

// ---- a stream that stops, a stop that fails ----

// Removes a folder a take is writing into. The writer names its file or saves its metadata there
// meanwhile, so an entry listed may be gone when its turn comes: then the removal goes round again.
void removeLiveFolder(const fs::path& folder) {
  std::error_code error;
  for (int round = 0; round < 100; ++round) {
    fs::remove_all(folder, error);
    if (!error) return;
  }
  FAIL() << "could not remove " << folder << ": " << error.message();
}

// Puts someone's plain file where `folder` was. A take's watch that saw the folder gone meanwhile
// made it again: then it goes again, until the file holds the name.
void replaceByAFile(const fs::path& folder) {
  for (int round = 0; round < 100 && !fs::is_regular_file(folder); ++round) {
    removeLiveFolder(folder);
    std::ofstream(folder) << "someone's file";
  }
  ASSERT_TRUE(fs::is_regular_file(folder)) << folder;
}

// Holds the movie's place watch (MediaWriter::setPlaceWatchGate) when asked, so that a stop surely
// comes before the watch has seen what became of the folder.
class PlaceWatch {
 public:
  explicit PlaceWatch(MediaWriter& writer) {
    writer.setPlaceWatchGate([state = state_] {
      if (!state->held) return true;
      ++state->refused;
      return false;
    });
  }
  // Once it returns, no check is under way: one was refused since.
  bool hold() {
    const int before = state_->refused;
    state_->held = true;
    return test::waitUntil([&] { return state_->refused > before; }, 60s);
  }
  void release() { state_->held = false; }

 private:
  struct State {
    std::atomic<bool> held{false};
    std::atomic<int> refused{0};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// While it lives, `folder` takes no new names (immutable, which holds even for root) and is the home
// folder too: a movie whose own folder is gone, with `folder` the one above it, has nowhere to go.
class NowhereToWrite {
 public:
  explicit NowhereToWrite(fs::path folder) : folder_(std::move(folder)), home_(qgetenv("HOME")) {
    qputenv("HOME", QByteArray::fromStdString(folder_.string()));
    held_ = QProcess::execute("chattr", {"+i", QString::fromStdString(folder_.string())}) == 0;
  }
  ~NowhereToWrite() {
    QProcess::execute("chattr", {"-i", QString::fromStdString(folder_.string())});
    qputenv("HOME", home_);
  }
  // False where the file system cannot make a folder immutable (chattr +i).
  bool held() const { return held_; }

 private:
  fs::path folder_;
  QByteArray home_;
  bool held_ = false;
};

bool holdsReserve(const fs::path& folder) {
  for (const auto& file : filesIn(folder))
    if (file.filename().string().find("reserve") != std::string::npos) return true;
  return false;
}

class RecordingFailureTest : public test::CoordinatorTest {
 protected:
  void goWhileTheStartIsHeldAt(const char* place);
  // What the take lost, told on the panel and then in the saved notice, each naming `words`.
  bool panelTells(const std::string& words) {
    return test::waitUntil([&] { return panel.problem().find(words) != std::string::npos; }, 60s);
  }
  std::string noticed() {
    test::waitUntil([&] { return notice.window() != nullptr; }, 60s);
    return notice.window() ? notice.window()->problems().join("\n").toStdString() : "";
  }
  // Once the coordinator has a problem naming `words`.
  bool noted(const std::string& words) {
    return test::waitUntil(
        [&] {
          const auto problems = harness.coordinator.takeProblems();
          return std::any_of(problems.begin(), problems.end(), [&](const std::string& problem) {
            return problem.find(words) != std::string::npos;
          });
        },
        60s);
  }
  // The configuration of `mode` with `microphone` recorded too.
  RecordingConfiguration withMicrophone(RecordingConfiguration configuration,
                                        const test::VirtualMicrophone& microphone) const {
    configuration.recordMicrophone = true;
    configuration.microphoneDevice = microphone.name();
    return configuration;
  }
  // What the panel's line says, as shown.
  std::string panelShows() const { return panel.panel() ? panel.panel()->problemText().toStdString() : ""; }
  void closeThePictureMidTake(bool hiddenFirst);
  // A red window a test may close and a blue one beside it, titled as given, both picked and
  // recorded for a second.
  void recordTwoWindows(const QString& closingTitle, const QString& hidingTitle) {
    closing = std::make_unique<test::PatternWindow>(QRect(100, 100, 320, 240), QColor(200, 40, 40));
    closing->setWindowTitle(closingTitle);
    hiding = std::make_unique<test::PatternWindow>(QRect(460, 100, 320, 240), QColor(40, 40, 200));
    hiding->setWindowTitle(hidingTitle);
    ASSERT_TRUE(closing->showAndWait());
    ASSERT_TRUE(hiding->showAndWait());
    RecordingMode mode = RecordingMode::windows({test::windowFor(*closing), test::windowFor(*hiding)});
    ASSERT_TRUE(harness.start(mode, windowConfig(mode))) << harness.error;
    ASSERT_TRUE(harness.recordFor(1.0));
  }

  std::unique_ptr<test::PatternWindow> closing;
  std::unique_ptr<test::PatternWindow> hiding;

  ToldUser told{harness.coordinator};
  FloatingRecordingPanelController& panel = FloatingRecordingPanelController::shared();
  SavedRecordingNotice notice;
};

// ---- a process killed outright ----

// Runs in the child process that AKilledRecordingKeepsItsMovieAndMetadata starts (TK_KILL_FOLDER;
// TK_KILL_LAYERS records a package): records, clicks, and dies by SIGKILL, leaving a note of the
// movie, of how much of it had been handed to the writer and of the metadata file.
TEST_F(RecordingFailureTest, RecordsAndIsKilledOutright) {
  if (qEnvironmentVariableIsEmpty("TK_KILL_FOLDER"))
    GTEST_SKIP() << "runs in the child process that the kill test starts";
  const fs::path folder = qEnvironmentVariable("TK_KILL_FOLDER").toStdString();
  NoiseWindow noise(QRect(100, 100, 640, 480));
  noise.show();
  const double bottom = display->frame.height() - 100 - 480;
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(100, bottom, 640, 480));
  auto configuration = test::baseConfiguration(mode, folder / "out");
  const bool layers = !qEnvironmentVariableIsEmpty("TK_KILL_LAYERS");
  if (layers) {
    configuration.studioConfig = StudioRecordingConfiguration{};
    configuration.studioConfig->enableSeparateLayers = true;
  }
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(0.5));
  harness.coordinator.handleClick(QPointF(300, bottom + 200), ClickType::leftClick);

  MediaWriter* writer = layers ? harness.coordinator.layerRecordingManager()->screenWriter().get()
                               : harness.coordinator.mediaWriter();
  ASSERT_TRUE(writer);
  const fs::path movie = *writer->outputURL();
  const fs::path metadata = layers ? movie.parent_path() / ".metadata.json"
                                   : movie.parent_path() / (movie.stem().string() + ".metadata.json");
  ASSERT_TRUE(test::waitUntil(
      [&] {
        try {
          return readRecordingMetadata(metadata).cursorClicks.size() == 1;
        } catch (const std::exception&) {
          return false;
        }
      },
      30s))
      << "the click was never saved while recording";
  auto handedOver = [&] {
    const auto last = writer->lastPTS();
    return last ? (*last - *writer->sessionStartTime()).seconds() : 0.0;
  };
  ASSERT_TRUE(test::waitUntil([&] { return handedOver() >= 5.0; }, 60s)) << "no frames reached the writer";
  std::ofstream(folder / "note") << movie.string() << "\n"
                                 << metadata.string() << "\n"
                                 << handedOver() << "\n";
  ::kill(::getpid(), SIGKILL);
}

TEST(RecordingCoordinatorKillTest, AKilledRecordingKeepsItsMovieAndMetadata) {
  TK_REQUIRE_DESKTOP();
  for (const bool layers : {false, true}) {
    SCOPED_TRACE(layers ? "package" : "movie");
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    runChildUntilKilled("TK_KILL_FOLDER", folder.path(), "RecordingFailureTest.RecordsAndIsKilledOutright",
                        layers ? "TK_KILL_LAYERS" : nullptr);
    ASSERT_FALSE(HasFatalFailure());

    std::ifstream note(fs::path(folder.path().toStdString()) / "note");
    std::string movie, metadataFile;
    double handedOver = 0;
    ASSERT_TRUE(std::getline(note, movie) && std::getline(note, metadataFile) && note >> handedOver)
        << "the child left no note";
    // What follows holds after the next start's sweep too: it takes nothing of the take.
    LeftoverFiles::removeStale();
    // Within two seconds of what was handed to the writer, and exact seeking works to there.
    const double duration = MediaAsset::load(movie).duration().seconds();
    EXPECT_GE(duration, handedOver - 2.0);
    // Exact seeking finds the frame shown at each time, however unevenly a busy machine captured
    // them: the last one at or before it, or the one before that where a fragment's last frame
    // carries the nominal duration (the muxer cannot know the next frame's time) and so still
    // covers the time.
    std::vector<double> frameTimes;
    {
      VideoFrameReader sequential(movie);
      while (const auto time = sequential.advance()) frameTimes.push_back(time->seconds());
    }
    ASSERT_FALSE(frameTimes.empty());
    VideoFrameReader reader(movie);
    for (double seconds : {handedOver - 2.0, 1.0}) {
      const MediaTime at = MediaTime::fromSeconds(seconds, 600);
      const auto shown = std::upper_bound(frameTimes.begin(), frameTimes.end(), at.seconds() + 1e-6);
      ASSERT_NE(shown, frameTimes.begin()) << seconds;
      const double found = reader.frameAt(at).presentationTime().seconds();
      const double earliest =
          std::prev(shown) == frameTimes.begin() ? *std::prev(shown) : *std::prev(shown, 2);
      EXPECT_TRUE(found >= earliest - 1e-3 && found <= *std::prev(shown) + 1e-3)
          << seconds << ": found the frame at " << found << ", the last before it is at "
          << *std::prev(shown);
    }
    const RecordingMetadata metadata = readRecordingMetadata(metadataFile);
    ASSERT_EQ(metadata.cursorClicks.size(), 1u);
    EXPECT_EQ(metadata.cursorClicks.front().clickType, ClickType::leftClick);
    EXPECT_GT(metadata.duration, 0.5);
    if (layers) {
      // The package keeps a manifest that sends a reader to the layer that plays, and to nothing
      // that was never written.
      const fs::path packageFolder = fs::path(movie).parent_path();
      const RecordingPackage package =
          recordingPackageFromJson(readJsonFile(packageFolder / RecordingPackage::manifestFileName));
      EXPECT_EQ(package.packageURL, packageFolder);
      EXPECT_EQ(package.screenVideoURL, fs::path(movie));
      EXPECT_EQ(package.metadataURL, fs::path(metadataFile));
      EXPECT_FALSE(package.cameraVideoURL) << "no camera was recorded";
      EXPECT_FALSE(package.audioURL) << "no audio file was written";
      EXPECT_TRUE(package.configuration.hasSeparateLayers);
      EXPECT_EQ(package.configuration.resolution, QSizeF(640, 480));
      // Known as a package, its exports go beside the folder rather than hidden inside it.
      EXPECT_EQ(
          ExportDestination::plainURL(movie, "Edited", "mp4", QDateTime::currentDateTime()).parent_path(),
          packageFolder.parent_path());
    }
  }
}

// A take of one window that is closed 1 s in. A client unmaps a window before destroying it:
// with `hiddenFirst` the window is unmapped alone until the take has told it as off the screen,
// and only then destroyed. Either way the take ends there, saved, and the window is told as closed.
void RecordingFailureTest::closeThePictureMidTake(bool hiddenFirst) {
  auto& status = StatusBarController::shared();
  auto window = std::make_unique<test::PatternWindow>(QRect(100, 100, 320, 240), QColor(200, 40, 40));
  ASSERT_TRUE(window->showAndWait());
  RecordingMode mode = RecordingMode::window(test::windowFor(*window));
  ASSERT_TRUE(harness.start(mode, windowConfig(mode))) << harness.error;
  ASSERT_TRUE(test::waitUntil([&] { return panel.isVisible() && status.statusItem(); }));
  ASSERT_TRUE(harness.recordFor(1.0));
  if (hiddenFirst) {
    window->hide();
    ASSERT_TRUE(panelTells("The window \"Pattern\" was minimised at 00:0")) << panel.problem();
    EXPECT_TRUE(told.errors.empty()) << "a window off the screen ended the take";
  }
  window.reset();

  ASSERT_TRUE(test::waitUntil([&] { return !told.errors.empty(); }));
  EXPECT_EQ(told.errors, std::vector{RecordingError::Kind::streamInterrupted});
  EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
  ASSERT_TRUE(told.alert.alert());
  EXPECT_FALSE(told.alert.alert()->isModal());
  EXPECT_TRUE(told.alert.alert()->isVisible());
  EXPECT_EQ(told.text(), "Recording stream was interrupted. The recording has been stopped.");
  EXPECT_EQ(told.details().rfind("The partial recording has been saved. Try starting a new recording.", 0),
            0u)
      << told.details();
  // The window that was the whole picture is named, with when it closed, on the panel and in the
  // alert; nothing says it was only minimised.
  EXPECT_NE(told.details().find("The window \"Pattern\" closed at 00:0"), std::string::npos)
      << told.details();
  EXPECT_EQ(told.details().find("minimised"), std::string::npos) << told.details();
  EXPECT_TRUE(panelTells("The window \"Pattern\" closed at 00:0")) << panel.problem();
  EXPECT_EQ(panel.problem().find("more"), std::string::npos) << panel.problem();
  const fs::path movie = told.savedPaths.front();
  EXPECT_EQ(told.revealed, std::vector{movie});
  ASSERT_TRUE(test::probeMovie(movie));
  EXPECT_TRUE(fs::exists(movie.parent_path() / (movie.stem().string() + ".metadata.json")));
  EXPECT_TRUE(test::waitUntil([&] { return !panel.isVisible() && !status.statusItem(); }));
  EXPECT_FALSE(KeyboardShortcutHandler::shared().holdsDesktopGrab());
  told.alert.alert()->close();
}

TEST_F(RecordingFailureTest, AnInterruptedStreamSavesTheTakeTellsTheUserAndClearsTheShell) {
  closeThePictureMidTake(false);
}

TEST_F(RecordingFailureTest, AWindowUnmappedAndThenDestroyedIsToldAsClosed) {
  closeThePictureMidTake(true);
}

TEST_F(RecordingFailureTest, PickedWindowsThatCloseOrAreMinimisedMidTakeAreToldAndTheTakeGoesOn) {
  ASSERT_NO_FATAL_FAILURE(recordTwoWindows("Closing pattern", "Hiding pattern"));
  closing.reset();
  EXPECT_TRUE(panelTells("The window \"Closing pattern\" closed at 00:0")) << panel.problem();
  hiding->showMinimized();
  // No graver than the first: the panel keeps the first in view and counts this one.
  EXPECT_TRUE(panelTells("\nand 1 more")) << panel.problem();
  EXPECT_NE(panel.problem().find("\"Closing pattern\" closed at 00:0"), std::string::npos) << panel.problem();
  ASSERT_TRUE(harness.recordFor(2.5)) << "the recording ended with a window";
  EXPECT_TRUE(told.errors.empty());
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  const auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  // Both windows are in the picture at first, and neither is at its end.
  auto shows = [&](double at, QPoint where, QColor colour) {
    const auto frame = test::frameAt(*result, at, display->width, display->height);
    const size_t i = (size_t(where.y()) * size_t(display->width) + size_t(where.x())) * 4;
    return frame.size() > i + 2 && std::abs(frame[i + 2] - colour.red()) < 40 &&
           std::abs(frame[i + 1] - colour.green()) < 40 && std::abs(frame[i] - colour.blue()) < 40;
  };
  EXPECT_TRUE(shows(0.5, {260, 220}, QColor(200, 40, 40)));
  EXPECT_TRUE(shows(0.5, {620, 220}, QColor(40, 40, 200)));
  EXPECT_FALSE(shows(facts->duration - 0.3, {260, 220}, QColor(200, 40, 40)));
  EXPECT_FALSE(shows(facts->duration - 0.3, {620, 220}, QColor(40, 40, 200)));
  const std::string problems = noticed();
  EXPECT_NE(problems.find("\"Closing pattern\" closed at 00:0"), std::string::npos) << problems;
  EXPECT_NE(problems.find("\"Hiding pattern\" was minimised at 00:0"), std::string::npos) << problems;
}

TEST_F(RecordingFailureTest, AWindowClosedLeavesWhatWasToldOfAnotherOfTheSameName) {
  // Two windows the person knows by one name: one is minimised and stays so, then the other closes.
  ASSERT_NO_FATAL_FAILURE(recordTwoWindows("Pattern", "Pattern"));
  hiding->showMinimized();
  ASSERT_TRUE(panelTells("The window \"Pattern\" was minimised at 00:0")) << panel.problem();
  closing.reset();
  ASSERT_TRUE(test::waitUntil([&] { return harness.coordinator.takeProblems().size() >= 2; }, 60s))
      << panel.problem();
  const auto problems = harness.coordinator.takeProblems();
  EXPECT_EQ(problems.front().find("The window \"Pattern\" was minimised at 00:0"), 0u) << problems.front();
  EXPECT_EQ(problems.back().find("The window \"Pattern\" closed at 00:0"), 0u) << problems.back();
  ASSERT_TRUE(harness.stop()) << harness.error;
}

// A monitor of the private X server's screen that the test adds, and may take away.
class VanishingMonitor {
 public:
  static constexpr const char* kName = "TK-VANISHING";
  VanishingMonitor() {
    added_ = QProcess::execute("xrandr", {"--setmonitor", kName, "640/170x480/127+0+0", "none"}) == 0;
  }
  ~VanishingMonitor() { remove(); }
  bool added() const { return added_; }
  void remove() {
    if (added_) QProcess::execute("xrandr", {"--delmonitor", kName});
    added_ = false;
  }
  CaptureDisplayRef display() const {
    ScreenCaptureEngine engine;
    engine.refreshAvailableContentBlocking();
    for (const auto& display : engine.availableContent()->displays)
      if (display->name == kName) return display;
    return nullptr;
  }

 private:
  bool added_ = false;
};

TEST_F(RecordingFailureTest, ADisplayThatGoesAwayEndsTheTakeSavedAndTold) {
  VanishingMonitor monitor;
  ASSERT_TRUE(monitor.added());
  CaptureDisplayRef going = monitor.display();
  ASSERT_TRUE(going);
  RecordingMode mode = RecordingMode::screen(going);
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.0));
  monitor.remove();
  ASSERT_TRUE(test::waitUntil([&] { return !told.errors.empty(); }))
      << "the recording went on without its display";
  EXPECT_EQ(told.errors.front(), RecordingError::Kind::streamInterrupted);
  EXPECT_TRUE(harness.waitForIdle());
  auto facts = test::probeMovie(told.savedPaths.front());
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, 640);
  EXPECT_GT(facts->duration, 0.8);
}

// Keeps every worker of the shared pool busy until released: work handed to a worker meanwhile
// waits, however quick the machine.
class HeldWorkers {
 public:
  HeldWorkers() : held_(release_.get_future().share()) {
    for (int i = 0; i < QThreadPool::globalInstance()->maxThreadCount(); ++i)
      QThreadPool::globalInstance()->start([held = held_] { held.wait(); });
  }
  ~HeldWorkers() { release(); }
  void release() {
    if (!released_) release_.set_value();
    released_ = true;
  }

 private:
  std::promise<void> release_;
  std::shared_future<void> held_;
  bool released_ = false;
};

TEST_F(RecordingFailureTest, AStreamThatFailsWhileStartingLeavesNothingRunning) {
  auto& status = StatusBarController::shared();
  auto& panel = FloatingRecordingPanelController::shared();
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  // The stream's end reaches the main thread while the start waits for the stream to be made, or
  // only after the stream was made and handed back: both orders, made to happen, fail the start.
  for (const bool newsAfterTheStream : {false, true}) {
    SCOPED_TRACE(newsAfterTheStream ? "the news comes after the stream" : "the news comes first");
    test::awaitTask(harness.coordinator.prepareRecording(mode, config(mode)));
    ScreenCaptureEngine* engine = harness.coordinator.screenEngine();
    ASSERT_TRUE(engine);
    HeldWorkers workers;  // the start surely waits for its stream
    if (!newsAfterTheStream) engine->streamDidStop("The captured display was disconnected");
    auto start = harness.coordinator.startRecording();
    workers.release();
    if (newsAfterTheStream) {
      // Without running the event loop: the worker makes the stream and posts its result, and only
      // then does the stream's end post its own news.
      ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(60000));
      engine->streamDidStop("The captured display was disconnected");
    }
    EXPECT_THROW(test::awaitTask(std::move(start)), RecordingError);
    // Events are handled in the order they were posted: once this one is, so is the stream's news.
    bool newsHandled = false;
    QMetaObject::invokeMethod(
        qApp, [&] { newsHandled = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(test::waitUntil([&] { return newsHandled; }));
    test::pumpEvents(300ms);  // what a start left behind would show by now
    EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(status.statusItem());
    EXPECT_FALSE(KeyboardShortcutHandler::shared().holdsDesktopGrab());
    EXPECT_EQ(harness.coordinator.recordingDuration(), 0.0);
    EXPECT_FALSE(harness.coordinator.screenEngine() && harness.coordinator.screenEngine()->isCapturing());
    // Only the news that came first, while the start still waited, is told as an interrupted take.
    EXPECT_EQ(told.errors.size(), 1u);
  }
}

// A coordinator that goes (at exit, say) while its start is held at `place`: opening the system
// audio on a worker, or making the screen streams inside the engine's gate (held there until the
// engine's end waits for it, so an end that did not wait frees what the worker goes on to read).
// What was opened meanwhile reaches nothing of the freed engine, and the start resumes without it.
void RecordingFailureTest::goWhileTheStartIsHeldAt(const char* place) {
#ifndef TK_TEST_HOOKS
  GTEST_SKIP() << "needs the test holds";
#endif
  qputenv("TK_TEST_HOLD", place);
  auto coordinator = std::make_unique<RecordingCoordinator>();
  const RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  test::awaitTask(coordinator->prepareRecording(mode, systemAudioConfig(mode)));
  auto start = [](RecordingCoordinator* starting) -> QCoro::Task<void> {
    try {
      co_await starting->startRecording();
    } catch (...) {
    }
  }(coordinator.get());
  ASSERT_TRUE(test::waitUntil([&] { return TestHold::isHeld(place); }, 60s));
  coordinator.reset();
  TestHold::releaseAll();
  qunsetenv("TK_TEST_HOLD");
  // The held worker goes on and then the start resumes, with nothing left to start.
  ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(60000));
  EXPECT_TRUE(test::waitUntil([&] { return start.isReady(); }, 60s));
  test::pumpEvents(300ms);  // a stream left running would deliver into the freed engine by now
}

TEST_F(RecordingFailureTest, ACoordinatorThatGoesWhileItsStartOpensTheSoundLeavesNothingReachingIt) {
  goWhileTheStartIsHeldAt("sound-opening");
}

TEST_F(RecordingFailureTest, ACoordinatorThatGoesWhileItsStartMakesTheStreamsWaitsForThemFirst) {
  goWhileTheStartIsHeldAt("stream-making");
}

TEST_F(RecordingFailureTest, AStopFromThePanelThatFailsIsToldAndLeavesIdle) {
  auto& panel = FloatingRecordingPanelController::shared();
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(test::waitUntil([&] { return panel.isVisible(); }));
  ASSERT_TRUE(harness.recordFor(1.5));
  // Nowhere takes the movie again: a file has the folder's name, and neither the folder above it
  // nor the home folder takes new names.
  PlaceWatch watch(*harness.coordinator.mediaWriter());
  ASSERT_TRUE(watch.hold());
  removeLiveFolder(out());
  std::ofstream(out()) << "someone's file";
  NowhereToWrite nowhere(dir());
  if (!nowhere.held()) {
    watch.release();
    harness.stop();
    GTEST_SKIP() << "this file system cannot make a folder immutable (chattr +i)";
  }
  panel.stopClicked();
  ASSERT_TRUE(test::waitUntil([&] { return !told.errors.empty(); }));
  EXPECT_EQ(told.errors.front(), RecordingError::Kind::fileWriteError);
  EXPECT_EQ(told.text().rfind("Failed to write recording file", 0), 0u) << told.text();
  // Given up, and why.
  EXPECT_NE(told.details().find("could not be made again (Not a directory; " + dir().string() +
                                " refused it too: Operation not permitted): the recording cannot be kept"),
            std::string::npos)
      << told.details();
  EXPECT_TRUE(told.revealed.empty());  // nothing was left to show
  EXPECT_TRUE(harness.waitForIdle());
  EXPECT_TRUE(test::waitUntil([&] { return !panel.isVisible(); }));
  EXPECT_TRUE(harness.opened.empty());
}

TEST_F(RecordingFailureTest, AnAudioRecordingStoppedAtOnceEndsCleanly) {
  // Stopped before the sound server handed over a block: the finish reports that nothing was
  // recorded (once), instead of finishing the files a second time.
  RecordingMode mode = RecordingMode::systemAudio();
  auto configuration = systemAudioConfig(mode);
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  auto result = harness.stop();
  EXPECT_TRUE(harness.waitForIdle());
  if (!result) {
    ASSERT_TRUE(harness.coordinator.lastError());
    EXPECT_EQ(harness.coordinator.lastError()->kind(), RecordingError::Kind::fileWriteError);
  }
  // And the next one works.
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(2.5));
  EXPECT_TRUE(harness.stop()) << harness.error;
}

// ---- the sound server going away ----

// A sound server of the test's own, which the recordings made while it lives connect to, and
// which the test may stop.
class PrivateSoundServer {
 public:
  PrivateSoundServer() : previous_(qgetenv("PULSE_SERVER")) {
    const QString socket = dir_.filePath("native");
    QFile script(dir_.filePath("server.pa"));
    if (!script.open(QIODevice::WriteOnly)) return;
    script.write(("load-module module-native-protocol-unix socket=" + socket + " auth-anonymous=1\n" +
                  "load-module module-null-sink sink_name=private_sink rate=48000 channels=2\n" +
                  "set-default-sink private_sink\n")
                     .toUtf8());
    script.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Nothing of the desktop's own server is shared: its runtime folder, home and configuration.
    for (const char* name : {"HOME", "PULSE_RUNTIME_PATH", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"})
      environment.insert(name, dir_.path());
    // Nor its session bus, where the desktop's server already holds the name a second one would take.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir_.filePath("no-bus"));
    server_.setProcessEnvironment(environment);
    server_.setProcessChannelMode(QProcess::MergedChannels);
    server_.start("pulseaudio", {"-n", "-F", script.fileName(), "--daemonize=no", "--exit-idle-time=-1",
                                 "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr"});
    qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
    // Until it answers, or ended without answering; a loaded machine may take long to start it.
    running_ = test::waitUntil(
                   [this] {
                     if (server_.state() == QProcess::NotRunning) return true;
                     QProcess pactl;
                     pactl.start("pactl", {"info"});
                     return pactl.waitForFinished(30000) && pactl.exitStatus() == QProcess::NormalExit &&
                            pactl.exitCode() == 0;
                   },
                   std::chrono::seconds(120)) &&
               server_.state() != QProcess::NotRunning;
    if (!running_) log_ = QString::fromUtf8(server_.readAll()).toStdString();
  }
  ~PrivateSoundServer() {
    stop();
    qputenv("PULSE_SERVER", previous_);
  }
  bool running() const { return running_; }
  // What the server wrote, when it did not come up.
  const std::string& log() const { return log_; }
  void stop() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.kill();
    server_.waitForFinished(10000);
  }

 private:
  QTemporaryDir dir_;
  QProcess server_;
  QByteArray previous_;
  bool running_ = false;
  std::string log_;
};

TEST_F(RecordingFailureTest, AScreenRecordingWhoseSoundServerStopsKeepsRecordingThePicture) {
  PrivateSoundServer server;
  ASSERT_TRUE(server.running()) << "the private sound server did not answer:\n" << server.log();
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration = systemAudioConfig(mode);
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.0));
  server.stop();
  // Told while it goes on, and again once saved: the sound is gone from about a second in.
  EXPECT_TRUE(panelTells("The sound stopped at 00:0")) << panel.problem();
  ASSERT_TRUE(harness.recordFor(2.5)) << "the recording ended with its sound";
  EXPECT_TRUE(told.errors.empty());
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->audioCodec, "aac");
  EXPECT_NEAR(facts->duration, 2.5, 0.7);
  EXPECT_NE(noticed().find("The sound stopped at 00:0"), std::string::npos) << noticed();
  EXPECT_EQ(notice.window()->path().toStdString(), result->string());
}

TEST_F(RecordingFailureTest, AMicrophoneWhoseSourceGoesAwayIsToldAndThePictureGoesOn) {
  auto microphone = std::make_unique<test::VirtualMicrophone>("tk_leaving_microphone", 660);
  ASSERT_TRUE(microphone->ready());
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration = withMicrophone(config(mode), *microphone);
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.0));
  microphone.reset();  // its source is unloaded
  EXPECT_TRUE(panelTells("The sound stopped at 00:0")) << panel.problem();
  ASSERT_TRUE(harness.recordFor(2.5)) << "the recording ended with its sound";
  EXPECT_TRUE(told.errors.empty());
  ASSERT_TRUE(harness.stop()) << harness.error;
  EXPECT_NE(noticed().find("Microphone"), std::string::npos) << noticed();
}

// Whatever comes later, the panel keeps the gravest problem in view (the earliest among equals)
// and counts the rest; the notice at the end lists them all, the gravest first.
TEST_F(RecordingFailureTest, ThePanelKeepsTheGravestProblemInViewAndCountsTheRest) {
  {
    SCOPED_TRACE("the microphone lost, then the system sound, then the folder moved");
    PrivateSoundServer server;
    ASSERT_TRUE(server.running()) << "the private sound server did not answer:\n" << server.log();
    auto microphone = std::make_unique<test::VirtualMicrophone>("tk_first_lost_microphone", 660);
    ASSERT_TRUE(microphone->ready());
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
    auto configuration = withMicrophone(systemAudioConfig(mode), *microphone);
    configuration.outputDirectory = out() / "moving";
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    ASSERT_TRUE(harness.recordFor(1.0));
    microphone.reset();
    ASSERT_TRUE(panelTells("Microphone")) << panel.problem();
    const std::string first = panel.problem();
    server.stop();
    ASSERT_TRUE(test::waitUntil([&] { return harness.coordinator.takeProblems().size() >= 2; }, 60s));
    fs::rename(out() / "moving", out() / "moved");
    ASSERT_TRUE(noted("was moved at"));
    const size_t more = harness.coordinator.takeProblems().size() - 1;
    EXPECT_TRUE(test::waitUntil([&] {
      return panelShows() == first + "\nand " + std::to_string(more) + " more";
    })) << panelShows();
    ASSERT_TRUE(harness.stop()) << harness.error;
    const std::string problems = noticed();
    EXPECT_EQ(problems.find(first), 0u) << problems;
    EXPECT_LT(problems.find("The sound stopped", first.size()), problems.find("was moved at")) << problems;
  }
  {
    SCOPED_TRACE("the take lost with its folder, and its metadata");
    ASSERT_TRUE(harness.waitForIdle());
    const fs::path folder = out() / "replaced";
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
    auto configuration = config(mode);
    configuration.outputDirectory = folder;
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    const fs::path movie = *harness.coordinator.mediaWriter()->outputURL();
    ASSERT_TRUE(test::waitUntil(
        [&] { return fs::exists(movie) && fs::exists(folder / (movie.stem().string() + ".metadata.json")); },
        60s));
    // A file where the folder was, and no folder above takes the movie: it cannot be kept, nor the
    // metadata saved.
    PlaceWatch watch(*harness.coordinator.mediaWriter());
    ASSERT_TRUE(watch.hold());
    removeLiveFolder(folder);
    std::ofstream(folder) << "not a folder";
    NowhereToWrite nowhere(out());
    if (!nowhere.held()) {
      watch.release();
      harness.stop();
      GTEST_SKIP() << "this file system cannot make a folder immutable (chattr +i)";
    }
    watch.release();
    ASSERT_TRUE(noted("the recording cannot be kept"));
    ASSERT_TRUE(noted("metadata (clicks, cursor, zooms) could not be saved"));
    EXPECT_TRUE(test::waitUntil([&] {
      const std::string shown = panelShows();
      return shown.find("the recording cannot be kept") != std::string::npos &&
             shown.ends_with("\nand 1 more");
    })) << panelShows();
    EXPECT_FALSE(harness.stop());
    ASSERT_TRUE(test::waitUntil([&] { return !told.details().empty(); }, 60s));
    const std::string details = told.details();
    EXPECT_LT(details.find("the recording cannot be kept"), details.find("metadata (clicks, cursor, zooms)"))
        << details;
  }
}

TEST_F(RecordingFailureTest, AnAudioRecordingWhoseSoundServerStopsIsSavedAndTold) {
  PrivateSoundServer server;
  ASSERT_TRUE(server.running()) << "the private sound server did not answer:\n" << server.log();
  RecordingMode mode = RecordingMode::systemAudio();
  auto configuration = systemAudioConfig(mode);
  ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
  ASSERT_TRUE(harness.recordFor(2.5));
  server.stop();
  ASSERT_TRUE(test::waitUntil([&] { return !told.errors.empty(); })) << "the recording went on without sound";
  EXPECT_EQ(told.errors.front(), RecordingError::Kind::streamInterrupted);
  EXPECT_TRUE(harness.waitForIdle());
  ASSERT_FALSE(told.savedPaths.front().empty());
  EXPECT_TRUE(test::probeMovie(told.savedPaths.front()));
}

TEST_F(RecordingFailureTest, WithoutASoundServerTheErrorNamesTheSoundServer) {
  PrivateSoundServer server;
  ASSERT_TRUE(server.running()) << "the private sound server did not answer:\n" << server.log();
  server.stop();
  RecordingMode mode = RecordingMode::systemAudio();
  for (bool microphone : {false, true}) {
    auto configuration = config(mode);
    configuration.recordSystemAudio = true;
    configuration.recordMicrophone = microphone;
    configuration.microphoneDevice = "default";
    harness.error.clear();
    EXPECT_FALSE(harness.start(mode, configuration));
    EXPECT_NE(harness.error.find("The sound server is not running"), std::string::npos) << harness.error;
    EXPECT_EQ(harness.error.find("capture device"), std::string::npos) << harness.error;
    EXPECT_EQ(harness.error.find("Permission"), std::string::npos) << harness.error;
    EXPECT_EQ(harness.coordinator.recordingState().kind(), RecordingState::Kind::idle);
  }
}

// ---- names and what the recording holds on to ----

TEST_F(RecordingFailureTest, ARecordingInATakenSecondGetsTheNextNameAndLeavesOtherFilesAlone) {
  // Whatever second the recording starts in, its first name is taken, and so is the metadata
  // name of its second.
  fs::create_directories(out());
  const QDateTime now = QDateTime::currentDateTime();
  std::vector<fs::path> taken;
  for (int second = 0; second < 4; ++second) {
    const std::string date = now.addSecs(second).toString("yyyy-MM-dd HH.mm.ss").toStdString();
    taken.push_back(out() / ("Recording at " + date + ".mp4"));
    taken.push_back(out() / ("Recording at " + date + " 2.metadata.json"));
  }
  for (const auto& file : taken) std::ofstream(file) << "someone else's";

  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(0.5));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  EXPECT_EQ(result->stem().string().substr(result->stem().string().size() - 2), " 2") << *result;
  EXPECT_TRUE(test::probeMovie(*result));
  EXPECT_TRUE(fs::exists(out() / (result->stem().string() + ".metadata 2.json")));
  for (const auto& file : taken) {
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "someone else's") << file;
  }
}

TEST_F(RecordingFailureTest, TheShortcutIsTheDesktopsOnlyWhileARecordingRuns) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(0.3));
  EXPECT_TRUE(KeyboardShortcutHandler::shared().holdsDesktopGrab());
  EXPECT_EQ(ShortcutGrab::grab('m', [](const ShortcutGrab::Press&) {}), nullptr);
  ASSERT_TRUE(harness.stop());
  EXPECT_FALSE(KeyboardShortcutHandler::shared().holdsDesktopGrab());
  // Another program can have it now.
  std::string error;
  EXPECT_NE(ShortcutGrab::grab(
                'm', [](const ShortcutGrab::Press&) {}, &error),
            nullptr)
      << error;
}

// ---- the folder pulled from under a take ----

TEST_F(RecordingFailureTest, AFolderRemovedOrMovedMidTakeKeepsTheWholeTakeWithItsMetadataAndIsTold) {
  enum class Pulled { removed, moved, removedBehindALink, replacedByAFile };
  for (const Pulled pulled :
       {Pulled::removed, Pulled::moved, Pulled::removedBehindALink, Pulled::replacedByAFile}) {
    const std::string name = pulled == Pulled::removed              ? "removed"
                             : pulled == Pulled::moved              ? "moved"
                             : pulled == Pulled::removedBehindALink ? "linked"
                                                                    : "replaced";
    SCOPED_TRACE(name);
    const fs::path folder = out() / name;
    const fs::path movedTo = dir() / "moved elsewhere";
    const fs::path linkTarget = out() / "link target";
    if (pulled == Pulled::removedBehindALink) {
      fs::create_directories(linkTarget);
      fs::create_directory_symlink(linkTarget, folder);
    }
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
    auto configuration = config(mode);
    configuration.outputDirectory = folder;
    ASSERT_TRUE(harness.waitForIdle());
    if (notice.window()) delete notice.window();
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    PlaceWatch watch(*harness.coordinator.mediaWriter());
    // The movie, its metadata and its reserve are on the disk before the folder goes.
    const fs::path movie = *harness.coordinator.mediaWriter()->outputURL();
    ASSERT_TRUE(test::waitUntil(
        [&] { return fs::exists(movie) && fs::exists(folder / (movie.stem().string() + ".metadata.json")); },
        60s));
    ASSERT_TRUE(holdsReserve(folder));
    ASSERT_TRUE(harness.recordFor(2.5));
    // The watch sees the folder only after a save of the metadata found it gone, and the file that
    // takes its name comes in one step as the watch sees it.
    ASSERT_TRUE(watch.hold());
    {
      test::CapturedLines lines;
      switch (pulled) {
        case Pulled::removed:
          removeLiveFolder(folder);
          break;
        case Pulled::moved:
          fs::rename(folder, movedTo);
          break;
        case Pulled::removedBehindALink:
          removeLiveFolder(linkTarget);
          break;
        case Pulled::replacedByAFile:
          removeLiveFolder(folder);
          std::ofstream(folder) << "someone's file";
          break;
      }
      ASSERT_TRUE(test::waitUntil([&] { return lines.contains("Failed to save metadata"); }, 60s));
    }
    watch.release();
    EXPECT_TRUE(panelTells(pulled == Pulled::moved ? "was moved at 00:0" : "was removed at 00:0"))
        << panel.problem();
    ASSERT_TRUE(harness.recordFor(5.0));
    const auto result = harness.stop();
    ASSERT_TRUE(result) << harness.error;
    EXPECT_TRUE(told.errors.empty());
    // Where no folder could be made, in the nearest one above.
    const fs::path keptIn = pulled == Pulled::moved             ? movedTo
                            : pulled == Pulled::replacedByAFile ? out()
                                                                : folder;
    EXPECT_EQ(result->parent_path(), keptIn);
    // Whole: from the first frame to the last (frames of the first half second are there, however
    // few a loaded machine captured), and the metadata beside it covers it all.
    const double duration = MediaAsset::load(*result).duration().seconds();
    EXPECT_GT(duration, 4.0);
    EXPECT_LE(
        VideoFrameReader(*result).frameAt(MediaTime::fromSeconds(0.5, 600)).presentationTime().seconds(),
        0.5);
    const fs::path metadata = result->parent_path() / (result->stem().string() + ".metadata.json");
    ASSERT_TRUE(fs::exists(metadata)) << metadata;
    EXPECT_GT(readRecordingMetadata(metadata).duration, 4.0);
    const std::string news = pulled == Pulled::moved ? "it goes on in " + movedTo.string()
                             : pulled == Pulled::replacedByAFile
                                 ? "the recording goes on in " + out().string()
                                 : "was made again";
    EXPECT_NE(noticed().find(news), std::string::npos) << noticed();
    // That save was not lost: the next went where the movie is.
    EXPECT_EQ(noticed().find("could not be saved"), std::string::npos) << noticed();
    // Its reserve went with it, wherever the folder went.
    EXPECT_FALSE(holdsReserve(keptIn));
    // The link still leads to the folder; the file that took the folder's name is untouched.
    EXPECT_EQ(fs::is_symlink(fs::symlink_status(folder)), pulled == Pulled::removedBehindALink);
    EXPECT_EQ(fs::is_regular_file(folder), pulled == Pulled::replacedByAFile);
  }
}

TEST_F(RecordingFailureTest, AFolderRemovedJustBeforeTheStopKeepsTheTakeAndIsToldWhicheverComesFirst) {
  // The watch checks the folder every second and at each fragment: the stop may come before it has
  // seen the folder go, or after.
  for (const bool watchFirst : {false, true}) {
    SCOPED_TRACE(watchFirst ? "the watch first" : "the stop first");
    ASSERT_TRUE(harness.waitForIdle());
    if (notice.window()) delete notice.window();
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
    ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
    PlaceWatch watch(*harness.coordinator.mediaWriter());
    ASSERT_TRUE(harness.recordFor(1.0));
    if (!watchFirst) {
      ASSERT_TRUE(watch.hold());
    }
    removeLiveFolder(out());
    if (watchFirst) {
      EXPECT_TRUE(panelTells("was removed at 00:0")) << panel.problem();
    }
    const auto result = harness.stop();
    ASSERT_TRUE(result) << harness.error;
    EXPECT_TRUE(told.errors.empty());
    EXPECT_EQ(result->parent_path(), out());
    EXPECT_TRUE(test::probeMovie(*result));
    EXPECT_TRUE(fs::exists(out() / (result->stem().string() + ".metadata.json")));
    EXPECT_NE(noticed().find("was made again"), std::string::npos) << noticed();
  }
}

TEST_F(RecordingFailureTest, APackageWhoseFolderIsMovedOrReplacedMidTakeGoesOnWholeAndIsTold) {
  // The one camera attached delivers about 30 frames a second while a take runs.
  auto camera = std::make_shared<std::atomic<test::SyntheticCamera*>>(nullptr);
  RecordingCoordinator::CameraSupply supply;
  supply.devices = [] { return std::vector<CaptureDevice>{test::syntheticDevice()}; };
  supply.factory = [camera](const CaptureDevice& device) -> std::unique_ptr<VideoCaptureSource> {
    auto source = std::make_unique<test::SyntheticCamera>(device, 160, 120);
    camera->store(source.get());
    return source;
  };
  harness.coordinator.setCameraSupply(supply);
  QTimer frames;
  QObject::connect(&frames, &QTimer::timeout, [&] {
    if (auto* source = camera->load()) source->deliver(MonotonicClock::nowSeconds());
  });

  for (const bool replaced : {false, true}) {
    SCOPED_TRACE(replaced ? "replaced by a file" : "moved");
    ASSERT_TRUE(harness.waitForIdle());
    if (notice.window()) delete notice.window();
    frames.start(33);
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
    auto configuration = config(mode);
    configuration.studioConfig = StudioRecordingConfiguration{};
    configuration.studioConfig->enableSeparateLayers = true;
    configuration.recordCamera = true;
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    auto& layers = *harness.coordinator.layerRecordingManager();
    const fs::path package = layers.recordingPackage()->packageURL;
    PlaceWatch screenWatch(*layers.screenWriter());
    PlaceWatch cameraWatch(*layers.cameraWriter());
    // Both layers, the manifest and the metadata are in the package before its folder goes.
    ASSERT_TRUE(test::waitUntil(
        [&] {
          return fs::exists(package / ".screen.mov") && fs::exists(package / ".camera.mov") &&
                 fs::exists(package / RecordingPackage::manifestFileName) &&
                 fs::exists(package / ".metadata.json");
        },
        60s));
    ASSERT_TRUE(harness.recordFor(2.5));
    // Neither layer's watch sees the folder go before it is where it goes, or the file has its name.
    ASSERT_TRUE(screenWatch.hold());
    ASSERT_TRUE(cameraWatch.hold());
    const fs::path movedTo = dir() / "moved package";
    {
      test::CapturedLines lines;
      if (replaced)
        replaceByAFile(package);
      else
        fs::rename(package, movedTo);
      ASSERT_TRUE(test::waitUntil([&] { return lines.contains("Failed to save metadata"); }, 60s));
    }
    screenWatch.release();
    cameraWatch.release();
    EXPECT_TRUE(panelTells(replaced ? "could not be made again" : "was moved at 00:0")) << panel.problem();
    ASSERT_TRUE(harness.recordFor(5.0));
    const auto result = harness.stop();
    frames.stop();
    camera->store(nullptr);
    ASSERT_TRUE(result) << harness.error;
    EXPECT_TRUE(told.errors.empty());
    // Where it was moved; or a package of its own beside the file that took its name, under the
    // next free name. Nothing of it lies loose.
    EXPECT_EQ(*result, replaced ? out() / (package.filename().string() + " 2") : movedTo);
    const std::vector<fs::path> left =
        replaced ? std::vector<fs::path>{package, *result} : std::vector<fs::path>{};
    EXPECT_EQ(filesIn(out()), left);
    ASSERT_TRUE(fs::is_directory(*result));
    // Its manifest sends a reader to its own layers and metadata, under the names they had.
    const RecordingPackage manifest =
        recordingPackageFromJson(readJsonFile(*result / RecordingPackage::manifestFileName));
    EXPECT_EQ(manifest.packageURL, *result);
    EXPECT_EQ(manifest.screenVideoURL, *result / ".screen.mov");
    ASSERT_TRUE(manifest.cameraVideoURL);
    EXPECT_EQ(*manifest.cameraVideoURL, *result / ".camera.mov");
    EXPECT_EQ(manifest.metadataURL, *result / ".metadata.json");
    // Whole: the screen layer from its first frames to the stop, the camera layer as long, and the
    // metadata covering it all.
    EXPECT_GT(MediaAsset::load(manifest.screenVideoURL).duration().seconds(), 4.0);
    EXPECT_LE(VideoFrameReader(manifest.screenVideoURL)
                  .frameAt(MediaTime::fromSeconds(0.5, 600))
                  .presentationTime()
                  .seconds(),
              0.5);
    const auto cameraLayer = test::probeMovie(*manifest.cameraVideoURL);
    ASSERT_TRUE(cameraLayer);
    EXPECT_EQ(cameraLayer->width, 160);
    EXPECT_GT(cameraLayer->duration, 4.0);
    ASSERT_TRUE(fs::exists(manifest.metadataURL));
    EXPECT_GT(readRecordingMetadata(manifest.metadataURL).duration, 4.0);
    // Told where it went and why; the metadata save that found no folder was not a loss.
    const std::string news = replaced ? "The recording's folder " + package.string() + " was removed at 00:0"
                                      : "The recording was moved at 00:0";
    EXPECT_NE(noticed().find(news), std::string::npos) << noticed();
    EXPECT_NE(noticed().find("goes on in " + result->string() + "."), std::string::npos) << noticed();
    EXPECT_EQ(noticed().find("could not be saved"), std::string::npos) << noticed();
  }
}

TEST_F(RecordingFailureTest, AnAudioRecordingWhoseFolderIsReplacedMidTakeGoesOnAboveItAndIsTold) {
  test::ToneInNullSink tone;
  ASSERT_TRUE(tone.playing());
  // The output renders in small steps, so that the take's sound starts as it does.
  test::MonitorListener output(qEnvironmentVariable("TK_TEST_SINK").toStdString());
  ASSERT_TRUE(output.waitUntilFlowing());
  test::VirtualMicrophone microphone("tk_replaced_folder_microphone", 880);
  ASSERT_TRUE(microphone.ready());
  RecordingMode mode = RecordingMode::systemAudio();
  // System audio alone in one file, and beside the microphone in a package.
  for (const bool package : {false, true}) {
    SCOPED_TRACE(package ? "package" : "one file");
    ASSERT_TRUE(harness.waitForIdle());
    if (notice.window()) delete notice.window();
    fs::remove(out());
    auto configuration =
        package ? withMicrophone(systemAudioConfig(mode), microphone) : systemAudioConfig(mode);
    configuration.separateAudioTracks = package;
    ASSERT_TRUE(harness.start(mode, configuration)) << harness.error;
    const AudioOnlyRecorder& recorder = *harness.coordinator.audioOnlyRecorder();
    const fs::path take = package ? *recorder.packageURL() : *recorder.systemAudioURL();
    const fs::path metadata = out() / (take.stem().string() + ".metadata.json");
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(metadata); }, 60s));
    ASSERT_TRUE(harness.recordFor(2.5));
    replaceByAFile(out());
    EXPECT_TRUE(panelTells("could not be made again")) << panel.problem();
    ASSERT_TRUE(harness.recordFor(5.0));
    const auto result = harness.stop();
    ASSERT_TRUE(result) << harness.error;
    EXPECT_TRUE(told.errors.empty());
    // In the folder above, under its own name, whole from the first sound, its metadata beside it.
    EXPECT_EQ(*result, dir() / take.filename());
    for (const fs::path& file : package ? std::vector<fs::path>{*result / "sys.m4a", *result / "mic.m4a"}
                                        : std::vector<fs::path>{*result}) {
      SCOPED_TRACE(file.filename().string());
      const auto facts = test::probeMovie(file);
      ASSERT_TRUE(facts);
      EXPECT_EQ(facts->audioCodec, "aac");
      EXPECT_GT(facts->duration, 4.0);
    }
    EXPECT_NEAR(test::dominantAudioFrequency(package ? *result / "sys.m4a" : *result, 0.5, 2.0), 440, 15);
    EXPECT_EQ(fs::exists(*result / AudioPackageInfo::fileName), package);
    const fs::path keptMetadata = dir() / metadata.filename();
    ASSERT_TRUE(fs::exists(keptMetadata));
    EXPECT_GT(readRecordingMetadata(keptMetadata).duration, 4.0);
    EXPECT_NE(noticed().find("goes on in " + (package ? result->string() : dir().string()) + "."),
              std::string::npos)
        << noticed();
    EXPECT_TRUE(fs::is_regular_file(out()));
  }
}

TEST_F(RecordingFailureTest, AFolderTurnedReadOnlyMidTakeIsToldAndItsReserveGivesBackItsRoom) {
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  const fs::path movie = *harness.coordinator.mediaWriter()->outputURL();
  const fs::path metadata = out() / (movie.stem().string() + ".metadata.json");
  ASSERT_TRUE(test::waitUntil([&] { return fs::exists(metadata); }, 60s))
      << "no metadata saved while recording";
  // Immutable, it refuses new names even to root, as a read-only folder does to its user.
  if (QProcess::execute("chattr", {"+i", QString::fromStdString(out().string())}) != 0) {
    harness.stop();
    GTEST_SKIP() << "this file system cannot make a folder immutable (chattr +i)";
  }
  struct Writable {
    fs::path folder;
    ~Writable() { QProcess::execute("chattr", {"-i", QString::fromStdString(folder.string())}); }
  } writableAgain{out()};
  EXPECT_TRUE(panelTells("metadata (clicks, cursor, zooms) could not be saved at 00:0")) << panel.problem();
  ASSERT_TRUE(harness.recordFor(3.0));
  const auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  EXPECT_TRUE(test::probeMovie(*result));
  EXPECT_NE(noticed().find("could not be saved"), std::string::npos) << noticed();
  // The reserve's name could not go, its 16 MB did.
  for (const auto& file : filesIn(out())) {
    if (file.filename().string().find(".reserve-") != std::string::npos) {
      EXPECT_EQ(fs::file_size(file), 0u) << file;
    }
  }
}

// ---- the desktop's opener ----

TEST_F(RecordingFailureTest, AnOpenerThatFailsLeavesTheSavedNoticeWithThePath) {
  // An xdg-open that is there but fails, as one with no application for the type does.
  QTemporaryDir bin;
  ASSERT_TRUE(bin.isValid());
  const QString opener = bin.filePath("xdg-open");
  QFile script(opener);
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/asked\"\nexit 3\n");
  script.close();
  script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + path);
  struct RestorePath {
    QByteArray path;
    ~RestorePath() { qputenv("PATH", path); }
  } restore{path};

  harness.coordinator.setResultOpener({});  // the product's own hand-off
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(0.5));
  const auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  ASSERT_TRUE(test::waitUntil([&] { return notice.window() != nullptr; }, 60s))
      << "no notice of where it went";
  EXPECT_EQ(notice.window()->path().toStdString(), result->string());
  EXPECT_TRUE(notice.window()->problems().isEmpty());
  EXPECT_TRUE(QFile::exists(bin.filePath("asked"))) << "the opener was never asked";
}

// ---- a process killed before its movie holds anything ----

// Runs in the child process that AKillBeforeTheFirstFragmentLeavesNothingVisible starts
// (TK_EARLY_KILL_FOLDER): prepares a recording and dies by SIGKILL during its countdown
// (TK_EARLY_KILL_COUNTDOWN) or as soon as it records.
TEST_F(RecordingFailureTest, StartsAndIsKilledBeforeItsFirstFragment) {
  if (qEnvironmentVariableIsEmpty("TK_EARLY_KILL_FOLDER"))
    GTEST_SKIP() << "runs in the child process that the early kill test starts";
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration =
      test::baseConfiguration(mode, qEnvironmentVariable("TK_EARLY_KILL_FOLDER").toStdString());
  const bool countdown = !qEnvironmentVariableIsEmpty("TK_EARLY_KILL_COUNTDOWN");
  configuration.countdown = countdown ? 3 : 0;
  test::awaitTask(harness.coordinator.prepareRecording(mode, configuration));
  auto starting = harness.coordinator.startRecording();
  ASSERT_TRUE(test::waitUntil([&] {
    return countdown ? harness.coordinator.countdownValue() == 2
                     : harness.coordinator.recordingState().kind() == RecordingState::Kind::recording;
  }));
  ::kill(::getpid(), SIGKILL);
}

TEST(RecordingCoordinatorKillTest, AKillBeforeTheFirstFragmentLeavesNothingVisible) {
  TK_REQUIRE_DESKTOP();
  for (const bool countdown : {true, false}) {
    SCOPED_TRACE(countdown ? "during the countdown" : "as it starts recording");
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    runChildUntilKilled("TK_EARLY_KILL_FOLDER", folder.path(),
                        "RecordingFailureTest.StartsAndIsKilledBeforeItsFirstFragment",
                        countdown ? "TK_EARLY_KILL_COUNTDOWN" : nullptr);
    ASSERT_FALSE(HasFatalFailure());
    const fs::path out = folder.path().toStdString();
    std::vector<fs::path> hidden;
    for (const auto& file : filesIn(out)) {
      if (file.filename().string().front() == '.')
        hidden.push_back(file);
      else
        ADD_FAILURE() << "left visible: " << file << " (" << fs::file_size(file) << " bytes)";
    }
    EXPECT_FALSE(hidden.empty()) << "the movie was never begun";
    // The next start takes away what the killed process was working on.
    LeftoverFiles::removeStale();
    EXPECT_TRUE(filesIn(out).empty());
  }
}

// ---- a folder that turns read-only ----

// Makes `folder` read-only for this process's private mount namespace: a read-only mount of it over
// itself, so that the files open in it stay writable, as under chmod a-w. The flags the folder's
// own mount has stay (a namespace of its own may not drop them).
bool makeReadOnly(const fs::path& folder) {
  struct statvfs facts {};
  if (::statvfs(folder.c_str(), &facts) != 0) return false;
  unsigned long kept = 0;
  for (const auto& [from, to] : {std::pair{ST_NOSUID, MS_NOSUID},
                                {ST_NODEV, MS_NODEV},
                                {ST_NOEXEC, MS_NOEXEC},
                                {ST_NOATIME, MS_NOATIME},
                                {ST_NODIRATIME, MS_NODIRATIME},
                                {ST_RELATIME, MS_RELATIME}})
    if (facts.f_flag & from) kept |= to;
  return ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
         ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | kept, nullptr) == 0;
}

// Runs in the private mount namespace of ATakeWhoseFolderTurnsReadOnlyIsKeptUnderItsName
// (TK_READONLY_FOLDER): the take's folder "out" turns read-only during the countdown, and the take
// is stopped ("stop") or killed once it went on in the folder above ("carried"); or the folder above
// turns read-only too and is the home folder as well, so that no folder takes the take, and it is
// killed while held under its working name ("nowhere").
TEST_F(RecordingFailureTest, RecordsIntoAFolderTurnedReadOnly) {
  if (qEnvironmentVariableIsEmpty("TK_READONLY_FOLDER"))
    GTEST_SKIP() << "runs in the child process that the read-only folder test starts";
  const fs::path root = qEnvironmentVariable("TK_READONLY_FOLDER").toStdString();
  const std::string scenario = qEnvironmentVariable("TK_READONLY_CASE").toStdString();
  if (scenario == "nowhere") qputenv("HOME", QByteArray::fromStdString(root.string()));
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
  auto configuration = test::baseConfiguration(mode, root / "out");
  configuration.countdown = 2;
  test::awaitTask(harness.coordinator.prepareRecording(mode, configuration));
  auto starting = harness.coordinator.startRecording();
  ASSERT_TRUE(test::waitUntil([&] { return harness.coordinator.countdownValue() == 2; }));
  ASSERT_TRUE(makeReadOnly(scenario == "nowhere" ? root : root / "out")) << std::strerror(errno);
  test::awaitTask(std::move(starting));
  const std::string carried = "would not take it";
  if (scenario == "stop") {
    ASSERT_TRUE(harness.recordFor(2.0));
    EXPECT_TRUE(panelTells(carried)) << panel.problem();
    const auto result = harness.stop();
    ASSERT_TRUE(result) << harness.error;
    EXPECT_EQ(result->parent_path(), root);
    EXPECT_TRUE(told.errors.empty()) << told.text() << told.details();
    const std::string problems = noticed();
    EXPECT_NE(problems.find(carried), std::string::npos) << problems;
    EXPECT_NE(problems.find("goes on in " + root.string()), std::string::npos) << problems;
    EXPECT_EQ(notice.window()->path().toStdString(), result->string());
    return;
  }
  MediaWriter* writer = harness.coordinator.mediaWriter();
  ASSERT_TRUE(writer);
  if (scenario == "carried") {
    ASSERT_TRUE(noted(carried));
  }
  // Killed once the file holds a fragment of the take, wherever it is.
  const fs::path place = *writer->filePlace();
  ASSERT_TRUE(test::waitUntil(
      [&] {
        const auto facts = test::probeMovie(place);
        return facts && facts->videoFrameTimes.size() >= 2;
      },
      60s))
      << place;
  ::kill(::getpid(), SIGKILL);
}

TEST(RecordingCoordinatorReadOnlyTest, ATakeWhoseFolderTurnsReadOnlyIsKeptUnderItsName) {
  TK_REQUIRE_DESKTOP();
  if (const auto reason = test::privateMountsRefused()) GTEST_SKIP() << "not tested: " << *reason;
  for (const std::string scenario : {"stop", "carried", "nowhere"}) {
    SCOPED_TRACE(scenario);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const fs::path root = folder.path().toStdString();
    const fs::path out = root / "out";
    fs::create_directory(out);
    // The person's own hidden files beside the take, which no run listed as its own.
    const std::vector<fs::path> own = {out / ".notes.recording-123-abc",
                                       out / ".Recording at 2026-12-07 05.00.00.mov.recording-99-0badc0de"};
    for (const auto& file : own) std::ofstream(file) << "mine";
    qputenv("TK_READONLY_CASE", QByteArray::fromStdString(scenario));
    const QString filter = "RecordingFailureTest.RecordsIntoAFolderTurnedReadOnly";
    const QStringList privateMounts = {"unshare", "-Urm"};
    if (scenario == "stop") {
      QProcess child;
      startChildTests(child, "TK_READONLY_FOLDER", folder.path(), filter, privateMounts);
      EXPECT_TRUE(child.waitForFinished(300000));
      EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
      EXPECT_EQ(child.exitCode(), 0);
    } else {
      runChildUntilKilled("TK_READONLY_FOLDER", folder.path(), filter, nullptr, privateMounts);
    }
    qunsetenv("TK_READONLY_CASE");
    ASSERT_FALSE(HasFatalFailure());

    // The next start, the folder writable again (the namespace went with the child).
    const auto swept = LeftoverFiles::removeStale();
    const fs::path kept = scenario == "nowhere" ? out : root;
    std::vector<fs::path> movies;
    for (const fs::path& file : filesIn(kept))
      if (file.extension() == ".mp4" && file.filename().string().front() != '.') movies.push_back(file);
    ASSERT_EQ(movies.size(), 1u) << "the take is not kept in " << kept;
    EXPECT_GT(MediaAsset::load(movies.front()).duration().seconds(), 0.5) << movies.front();
    if (scenario == "nowhere") {
      ASSERT_EQ(swept.kept.size(), 1u);
      EXPECT_EQ(swept.kept.front().to, movies.front());
    }
    // Nothing of the take is left hidden, and the person's own files are as they were.
    std::vector<fs::path> hidden;
    for (const fs::path& file : filesIn(out))
      if (file.filename().string().front() == '.') hidden.push_back(file);
    EXPECT_EQ(hidden, (std::vector{own[1], own[0]}));
    for (const auto& file : own) {
      std::ifstream read(file);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(read), {}), "mine") << file;
    }
  }
}

TEST_F(RecordingFailureTest, ThePanelShowsTheRecordedTimeAcrossPauses) {
  auto& panel = FloatingRecordingPanelController::shared();
  RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 160, 120));
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  for (double at : {1.5, 3.3}) {
    ASSERT_TRUE(harness.recordFor(at));
    panel.pauseResumeClicked();
    ASSERT_TRUE(test::waitUntil([&] { return panel.isPaused(); }));
    test::pumpEvents(700ms);  // the length of the pause
    panel.pauseResumeClicked();
    ASSERT_TRUE(test::waitUntil([&] { return !panel.isPaused(); }));
  }
  ASSERT_TRUE(harness.recordFor(5.2));
  test::pumpEvents(150ms);
  EXPECT_NEAR(panel.recordingDuration(), harness.coordinator.recordingDuration(), 1.0);
  EXPECT_GE(panel.recordingDuration(), 5.0);
  EXPECT_TRUE(harness.stop());
}

}  // namespace
}  // namespace tk
