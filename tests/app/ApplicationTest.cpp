// The built application, started as a person would on the private desktop and driven with
// xdotool: the bar as it shows on screen, a second launch, and a display recording end to end.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QRect>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "ApplicationDriver.h"
#include "editor_ui/AspectBar.h"
#include "editor_ui/VideoTrimmerView.h"
#include "recording/FlashBeeps.h"
#include "support/TestSupport.h"

using namespace tk::test;

namespace {

bool isRecordRed(const QColor& c) {
  return std::abs(c.red() - 230) <= 12 && std::abs(c.green() - 51) <= 12 && std::abs(c.blue() - 89) <= 12;
}

}  // namespace

TEST(ApplicationTest, TheMainWindowIsABarWithTheRedRecordButtonAndASecondLaunchBringsItBack) {
  TK_REQUIRE_DESKTOP();
  ASSERT_TRUE(QFileInfo(Application::binary()).isExecutable()) << Application::binary().toStdString();
  Application app;
  app.start();
  const QString window = waitForMainWindow();
  ASSERT_FALSE(window.isEmpty()) << "the main window did not show";

  // The bar: at least 480 x 56, centred on the 1920 x 1080 screen.
  const QRect bar = geometryOf(window);
  EXPECT_GE(bar.width(), 480);
  EXPECT_GE(bar.height(), 56);
  EXPECT_LE(bar.height(), 80);
  EXPECT_LE(std::abs(bar.center().x() - 960), 2);

  // The record button is the red circle at the right end, and nowhere else.
  QImage shot;
  ASSERT_TRUE(tk::test::waitUntil([&] {
    shot = screenshot(bar);
    int red = 0;
    for (int x = shot.width() * 3 / 4; x < shot.width(); ++x)
      red += isRecordRed(shot.pixelColor(x, shot.height() / 2));
    return red >= 20;
  })) << "no record button in the right quarter of the bar";
  for (int x = 0; x < shot.width() / 2; ++x) {
    ASSERT_FALSE(isRecordRed(shot.pixelColor(x, shot.height() / 2))) << "red at " << x;
  }

  // Dragged by its background (beside the close button), the bar follows the pointer.
  run("xdotool", {"mousemove", QString::number(bar.x() + 32), QString::number(bar.y() + bar.height() / 2)});
  run("xdotool", {"mousedown", "1"});
  run("xdotool",
      {"mousemove", QString::number(bar.x() + 40), QString::number(bar.y() + bar.height() / 2 + 5)});
  run("xdotool",
      {"mousemove", QString::number(bar.x() + 132), QString::number(bar.y() + bar.height() / 2 + 60)});
  EXPECT_TRUE(tk::test::waitUntil([&] { return geometryOf(window).topLeft() != bar.topLeft(); }))
      << "the bar did not move";
  run("xdotool", {"mouseup", "1"});

  // A second launch with the window open hands over and exits.
  EXPECT_EQ(app.launchAgain(), 0);
  EXPECT_EQ(app.process().state(), QProcess::Running);

  // Closed by the window manager, the window goes but the application stays.
  closeWindow(window);
  ASSERT_TRUE(tk::test::waitUntil([] { return mainWindow().isEmpty(); }));
  tk::test::pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(app.process().state(), QProcess::Running);

  // A second launch now brings it back.
  EXPECT_EQ(app.launchAgain(), 0);
  const QString back = waitForMainWindow();
  ASSERT_FALSE(back.isEmpty()) << "the main window did not come back";
  EXPECT_EQ(app.process().state(), QProcess::Running);

  // Its close button quits the application.
  const QRect again = geometryOf(back);
  run("xdotool",
      {"mousemove", QString::number(again.x() + 20), QString::number(again.y() + again.height() / 2)});
  run("xdotool", {"click", "1"});
  EXPECT_TRUE(app.process().waitForFinished(60000));
  EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.process().exitCode(), 0);
}

namespace {

// Starts the application, records the display from the bar for two seconds and stops from the
// floating panel; the status item's icon count before the recording.
int recordTheDisplayFromTheBar(Application& app) {
  app.start();
  const QString window = waitForMainWindow();
  EXPECT_FALSE(window.isEmpty()) << "the main window did not show";
  const QRect bar = geometryOf(window);
  const int trayBefore = trayIconCount();

  // Display, then the record button at the bar's right end.
  click(bar.x() + 75, bar.y() + bar.height() / 2);
  click(bar.right() - 12 - 16, bar.y() + bar.height() / 2);

  QString panel;
  EXPECT_TRUE(tk::test::waitUntil(
      [&] {
        const QStringList found = visibleWindows("Recording");
        panel = found.isEmpty() ? QString() : found.front();
        return !panel.isEmpty();
      },
      std::chrono::seconds(30)))
      << "the floating panel did not show; output:\n"
      << app.output().toStdString();
  EXPECT_TRUE(mainWindow().isEmpty()) << "the main window stayed open";
  EXPECT_TRUE(tk::test::waitUntil([&] { return trayIconCount() > trayBefore; })) << "no status item";

  // Let it record more than a second, then stop from the panel.
  EXPECT_TRUE(waitForRecorded(app, 1.5)) << "the movie did not grow; output:\n" << app.output().toStdString();
  if (!panel.isEmpty()) {
    const QRect panelGeometry = geometryOf(panel);
    click(panelGeometry.right() - 16 - 14, panelGeometry.y() + panelGeometry.height() / 2);
  }
  return trayBefore;
}

}  // namespace

TEST(ApplicationTest, ADisplayRecordingStartedFromTheBarAndStoppedFromThePanelLeavesTheMovieAndItsMetadata) {
  TK_REQUIRE_DESKTOP();
  Application app;
  recordTheDisplayFromTheBar(app);
  ASSERT_FALSE(HasFailure());

  const QString folder = app.recordings();
  // The metadata is saved while recording too: read it once the coordinator says the take is saved.
  ASSERT_TRUE(tk::test::waitUntil([&] { return app.output().contains("Recording saved to: "); },
                                  std::chrono::seconds(60)))
      << "the recording was not saved; output:\n"
      << app.output().toStdString();
  // The metadata is there once its file holds a whole JSON object (it is written after it is made).
  QString metadata;
  QJsonObject written;
  ASSERT_TRUE(tk::test::waitUntil(
      [&] {
        const QStringList found = filesIn(folder, "*Recording at *.metadata.json");
        if (found.isEmpty()) return false;
        metadata = found.front();
        QFile file(QDir(folder).filePath(metadata));
        written =
            file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
        return !written.isEmpty();
      },
      std::chrono::seconds(60)))
      << "no metadata; output:\n"
      << app.output().toStdString();
  const QStringList movies = filesIn(folder, "Recording at *.mov");
  ASSERT_EQ(movies.size(), 1);
  const QString movie = QDir(folder).filePath(movies.front());
  // The metadata beside it carries the movie's name (hidden or not, as the coordinator saves it).
  EXPECT_TRUE(metadata.endsWith(QFileInfo(movie).completeBaseName() + ".metadata.json"))
      << metadata.toStdString();
  // The frame rate of the settings (30, not the default 60) reached the recording.
  EXPECT_EQ(written.value("frameRate").toInt(), 30);

  // A movie of about the time recorded.
  EXPECT_GT(movieDuration(movie), 1.0);

  EXPECT_TRUE(tk::test::waitUntil([] { return visibleWindows("Recording").isEmpty(); })) << "panel stayed";
  // The recording's status item goes. A desktop that opens nothing gets the notice of where the
  // movie went; one that opens it has the application's icon stand in for the bar.
  EXPECT_TRUE(tk::test::waitUntil([] {
    return (!visibleWindows("Recording Saved").isEmpty() && trayIconCount() == 0) ||
           !waitForApplicationTrayIcon(std::chrono::seconds(0)).isEmpty();
  })) << "the status item stayed, or neither the notice nor the icon came";
  EXPECT_TRUE(app.output().contains("✅ Recording started successfully"));

  // The main window comes back with a second launch.
  EXPECT_EQ(app.launchAgain(), 0);
  EXPECT_FALSE(waitForMainWindow().isEmpty()) << "the main window did not come back";
}

namespace {

// The one movie in the recordings folder plays for about as long as it recorded, and its metadata
// lies beside it.
void expectKeptMovie(Application& app, double atLeastSeconds) {
  const QString folder = app.recordings();
  const QStringList movies = filesIn(folder, "Recording at *.mov");
  ASSERT_EQ(movies.size(), 1) << app.output().toStdString();
  const QString movie = QDir(folder).filePath(movies.front());
  EXPECT_GT(movieDuration(movie), atLeastSeconds) << "output:\n" << app.output().toStdString();
  EXPECT_TRUE(
      QFileInfo::exists(QDir(folder).filePath(QFileInfo(movie).completeBaseName() + ".metadata.json")));
}

// An X server of the test's own, which the test may take away.
class PrivateXServer {
 public:
  bool start() {
    if (!displayFile_.open()) return false;
    server_.start("sh",
                  {"-c",
                   "exec Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset "
                   "+extension COMPOSITE +extension RANDR +extension XFIXES +extension MIT-SHM 3>\"$0\"",
                   displayFile_.fileName()});
    return tk::test::waitUntil([&] {
      displayFile_.seek(0);
      display_ = QString::fromUtf8(displayFile_.readAll()).trimmed();
      return !display_.isEmpty();
    });
  }
  ~PrivateXServer() { stop(); }
  void stop() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.kill();
    server_.waitForFinished(10000);
  }
  QString name() const { return ":" + display_; }

 private:
  QTemporaryFile displayFile_;
  QProcess server_;
  QString display_;
};

}  // namespace

TEST(ApplicationTest, TerminationSignalsDuringARecordingFinishTheMovieAndItsMetadataThenQuit) {
  TK_REQUIRE_DESKTOP();
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(number);
    Application app;
    app.start();
    ASSERT_TRUE(startDisplayRecording(app)) << app.output().toStdString();
    ASSERT_TRUE(waitForRecorded(app, 1.0)) << app.output().toStdString();
    ::kill(static_cast<pid_t>(app.process().processId()), number);
    ASSERT_TRUE(app.process().waitForFinished(60000));
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 0);
    expectKeptMovie(app, 0.8);
    ASSERT_TRUE(tk::test::waitUntil([] { return mainWindow().isEmpty(); }));
  }
}

TEST(ApplicationTest, QuitDuringTheCountdownEndsItAtOnceAndLeavesNothingInTheFolder) {
  TK_REQUIRE_DESKTOP();
  // The longest delay the settings offer, and one stored far beyond it: either outlasts the wait
  // for the quit below.
  for (const char* countdown : {"99", "2147483647"}) {
    SCOPED_TRACE(countdown);
    Application app(QByteArray("countdown=") + countdown + "\n");
    app.start();
    const QString window = waitForMainWindow();
    ASSERT_FALSE(window.isEmpty()) << "the main window did not show";
    const QRect bar = geometryOf(window);
    click(bar.x() + 75, bar.y() + bar.height() / 2);
    click(bar.right() - 12 - 16, bar.y() + bar.height() / 2);
    // Prepared: its working file is in the folder while the countdown runs.
    const QDir folder(app.recordings());
    const auto held = [&] {
      return folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    ASSERT_TRUE(tk::test::waitUntil([&] { return !held().isEmpty(); }, std::chrono::seconds(60)))
        << app.output().toStdString();
    const QString back = reopenFromTheTrayIcon();
    ASSERT_FALSE(back.isEmpty()) << "no way back to the bar";
    const QRect again = geometryOf(back);
    click(again.x() + 20, again.y() + again.height() / 2);
    ASSERT_TRUE(app.process().waitForFinished(60000)) << "the quit waited for the countdown";
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 0);
    EXPECT_TRUE(held().isEmpty()) << held().join(", ").toStdString();
    EXPECT_FALSE(app.output().contains("Recording started successfully")) << app.output().toStdString();
  }
}

// Ended while a worker still runs (the list of microphones the bar asks for on showing, held at
// its start until the application waits for its workers at the end, or else until the application
// object is gone), the application lets it finish before the services it reads go. A sanitizer
// report of the application fails the test (see Application).
TEST(ApplicationTest, EndedWhileAWorkerRunsTheApplicationFreesNothingTheWorkerStillReads) {
  TK_REQUIRE_DESKTOP();
  Application app;
  app.setEnvironment("TK_TEST_HOLD", "device-list");
  app.start();
  ASSERT_TRUE(tk::test::waitUntil([&] { return app.output().contains("Held at device-list"); },
                                  std::chrono::seconds(60)))
      << app.output().toStdString();
  ::kill(static_cast<pid_t>(app.process().processId()), SIGTERM);
  ASSERT_TRUE(app.process().waitForFinished(120000)) << app.output().toStdString();
  EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.process().exitCode(), 0) << app.output().toStdString();
}

TEST(ApplicationTest, LosingTheXServerDuringARecordingKeepsTheMovieAndEndsWithoutACrash) {
  TK_REQUIRE_DESKTOP();
  PrivateXServer server;
  ASSERT_TRUE(server.start());
  toolDisplay = server.name();
  struct Restore {
    ~Restore() { toolDisplay.clear(); }
  } restore;
  Application app;
  app.setDisplay(server.name());
  app.start();
  ASSERT_TRUE(startDisplayRecording(app)) << app.output().toStdString();
  // Frames reach the file once the stream runs; a loaded machine may take a while for the first.
  ASSERT_TRUE(waitForRecorded(app, 1.0)) << app.output().toStdString();
  server.stop();
  ASSERT_TRUE(app.process().waitForFinished(60000));
  EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit) << "the application crashed";
  expectKeptMovie(app, 0.8);
}

namespace {

// Records a take with the editor set to open after it, and returns the editor window once the take
// has loaded there; empty when it did not.
QString recordATakeIntoTheEditor(Application& app) {
  recordTheDisplayFromTheBar(app);
  QString editor;
  EXPECT_TRUE(tk::test::waitUntil(
      [&] {
        const QStringList found = visibleWindows("Video Trimmer - Recording at .*\\.mov");
        editor = found.isEmpty() ? QString() : found.front();
        return !editor.isEmpty();
      },
      std::chrono::seconds(60)))
      << "no editor window; output:\n"
      << app.output().toStdString();
  EXPECT_TRUE(filesIn(app.recordings(), "Recording at *.mov").size() == 1);
  EXPECT_TRUE(tk::test::waitUntil([&] {
    return app.output().contains("Video loaded successfully and trimming started automatically");
  })) << app.output().toStdString();
  return editor;
}

}  // namespace

TEST(ApplicationTest, WithTrimAfterRecordTheFinishedRecordingOpensInTheEditorWhichShowsItAndClosesWithCtrlW) {
  TK_REQUIRE_DESKTOP();
  Application app("trimAfterRecord=true\n");
  const QString editor = recordATakeIntoTheEditor(app);
  ASSERT_FALSE(HasFailure());
  EXPECT_FALSE(app.output().contains("Player item failed"));

  // The preview shows the recorded desktop: the middle of the window is neither blank nor uniform.
  const QRect area = geometryOf(editor);
  ASSERT_TRUE(tk::test::waitUntil([&] {
    const QImage shot = screenshot(QRect(area.x() + area.width() / 4, area.y() + area.height() / 6,
                                         area.width() / 2, area.height() / 3));
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 7)
      for (int x = 0; x < shot.width(); x += 7) colours.insert(shot.pixel(x, y));
    return colours.size() > 3;
  }));

  // Ctrl+W closes it, as the header's close button does.
  run("xdotool", {"windowactivate", "--sync", editor});
  run("xdotool", {"key", "--window", editor, "ctrl+w"});
  EXPECT_TRUE(tk::test::waitUntil([&] {
    return visibleWindows("Video Trimmer - Recording at .*\\.mov").isEmpty();
  })) << "the editor stayed open";
}

TEST(ApplicationTest,
     ASignalWhileTheEditorHoldsUnsavedEditsQuitsOnceTheyAreDiscardedAndIsHandledAgainWhenKept) {
  TK_REQUIRE_DESKTOP();
  Application app("trimAfterRecord=true\n");
  const QString editor = recordATakeIntoTheEditor(app);
  ASSERT_FALSE(HasFailure());
  const QStringList movies = filesIn(app.recordings(), "Recording at *.mov");
  ASSERT_EQ(movies.size(), 1);

  // An unsaved edit: "1:1" in the editor's header. Where it lies is found on an editor of the same
  // size in this process, laid out by the same code.
  // The window's own area on the screen, its frame left out.
  const QString info = askAboutWindows("xwininfo", {"-id", editor});
  const auto absolute = [&](const char* axis) {
    return QRegularExpression(QStringLiteral("Absolute upper-left %1:\\s+(-?\\d+)").arg(axis))
        .match(info)
        .captured(1)
        .toInt();
  };
  const QRect area(absolute("X"), absolute("Y"), geometryOf(editor).width(), geometryOf(editor).height());
  QWidget twin;
  twin.setAttribute(Qt::WA_DontShowOnScreen);
  auto* layout = new QVBoxLayout(&twin);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* twinEditor =
      new tk::VideoTrimmerView(QDir(app.recordings()).filePath(movies.front()).toStdString(), &twin);
  layout->addWidget(twinEditor);
  twin.resize(area.size());
  twin.show();
  ASSERT_TRUE(tk::test::waitUntil([&] { return !twinEditor->viewModel().isLoading(); }));
  QPushButton* square = nullptr;
  for (QPushButton* button : twinEditor->aspectControls().segments())
    if (button->text() == "1:1") square = button;
  ASSERT_NE(square, nullptr);
  const QRect button(area.topLeft() + square->mapTo(&twin, QPoint(0, 0)), square->size());
  const QImage before = screenshot(button);
  click(button.center().x(), button.center().y());
  ASSERT_TRUE(tk::test::waitUntil([&] { return screenshot(button) != before; }))
      << "\"1:1\" did not take the click at " << button.center().x() << "," << button.center().y();

  // The bar (a second launch shows it beside the editor) and the settings window are open too: Qt
  // would close the windows in an order of its own, which differs from run to run.
  EXPECT_EQ(app.launchAgain(), 0);
  const QString bar = waitForMainWindow();
  ASSERT_FALSE(bar.isEmpty()) << "the bar did not show beside the editor";
  const QRect barFrame = geometryOf(bar);
  click(barFrame.right() - 70, barFrame.center().y());
  ASSERT_FALSE(waitForVisible("tavelkombrix Settings").isEmpty()) << "the settings window did not open";

  const pid_t pid = static_cast<pid_t>(app.process().processId());
  const auto signalsHandled = [&] {
    return app.output().count("Received signal 15; finishing before quitting");
  };
  const auto askedToDiscard = [&] {
    const QString prompt = waitForVisible("Discard Changes\\?");
    EXPECT_FALSE(prompt.isEmpty()) << "no question about the edits; output:\n" << app.output().toStdString();
    return prompt;
  };

  // Kept: the application goes on with every window still open, and the next signal is handled
  // again.
  ::kill(pid, SIGTERM);
  QString prompt = askedToDiscard();
  ASSERT_FALSE(prompt.isEmpty());
  EXPECT_TRUE(tk::test::waitUntil([&] { return signalsHandled() == 1; }));
  pressKeyIn(prompt, "Escape");
  ASSERT_TRUE(tk::test::waitUntil([&] { return visibleWindows("Discard Changes\\?").isEmpty(); }));
  EXPECT_EQ(app.process().state(), QProcess::Running);
  EXPECT_FALSE(visibleWindows("Video Trimmer - Recording at .*\\.mov").isEmpty());
  EXPECT_EQ(mainWindow().toStdString(), bar.toStdString()) << "the bar was closed before the editor asked";
  EXPECT_FALSE(visibleWindows("tavelkombrix Settings").isEmpty())
      << "the settings window was closed before the editor asked";
  ::kill(pid, SIGTERM);
  ASSERT_TRUE(tk::test::waitUntil([&] { return signalsHandled() == 2; }))
      << "the second signal went unheard; output:\n"
      << app.output().toStdString();

  // Discarded: the quit the signal asked for goes on.
  prompt = askedToDiscard();
  ASSERT_FALSE(prompt.isEmpty());
  pressKeyIn(prompt, "Tab");  // from Cancel, the default, to Discard
  pressKeyIn(prompt, "space");
  ASSERT_TRUE(app.process().waitForFinished(60000))
      << "still running after the edits were discarded; output:\n"
      << app.output().toStdString();
  EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.process().exitCode(), 0);
}

namespace {

// Whether the screen shows a flash of the clip in `area` now.
bool showsAFlash(const QRect& area) {
  const QImage shot = screenshot(area);
  return !shot.isNull() && qGray(shot.pixel(shot.width() / 2, shot.height() / 2)) > 128;
}

// Whether the floating panel's dot is the yellow of a paused take.
bool panelShowsPaused(const QString& panel) {
  const QImage shot = screenshot(geometryOf(panel));
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width() / 3; ++x)
      if (near(shot.pixelColor(x, y), QColor(255, 204, 0), 30)) return true;
  return false;
}

}  // namespace

// A clip that flashes with a beep once a second already plays at the top left of the screen when
// Record is pressed on the bar; the take records the whole display at 60 fps with the system's
// sound into mp4, and is paused for three seconds after eight and stopped eight seconds after the
// resume, from the panel. The player keeps its sound and pictures together only roughly, so
// FFmpeg records its corner and the same output beside us: against that reference, each beep of
// the take, the first ones as well, sits within 50 ms of where the others sit. The sound stream's
// thread is late for its first timing report, as on a busy machine.
TEST(ApplicationTest, EveryBeepOfAClipAlreadyPlayingSitsByItsFlashInADisplayTakeFromTheFirstOn) {
  TK_REQUIRE_DESKTOP();
  QTemporaryDir folder;
  const QRect player(0, 0, 640, 360);
  const std::filesystem::path clip = folder.filePath("flashes.mkv").toStdString();
  ASSERT_TRUE(makeFlashMovie(clip, 40, player.size()));
  Application app("frameRate=60\nencoder=h264\noutputFormat=mp4\nrecordSystemAudio=true\n");
  app.setEnvironment("TK_TEST_HOLD", "sound-timing-report:250");
  app.start();
  ASSERT_FALSE(waitForMainWindow().isEmpty()) << "the main window did not show";
  QProcess play;
  play.start("ffplay", {"-v", "error", "-autoexit", "-noborder", "-left", QString::number(player.x()), "-top",
                        QString::number(player.y()), "-x", QString::number(player.width()), "-y",
                        QString::number(player.height()), QString::fromStdString(clip.string())});
  ASSERT_TRUE(play.waitForStarted());
  ReferenceRecording reference;
  ASSERT_TRUE(reference.start(player, qEnvironmentVariable("TK_TEST_SINK").toStdString() + ".monitor",
                              folder.filePath("reference.mkv").toStdString()))
      << "the reference recording never began";
  // Record is pressed as a flash of the clip shows.
  for (const bool flash : {true, false, true})
    ASSERT_TRUE(waitUntil([&] { return showsAFlash(player) == flash; }, std::chrono::seconds(30)))
        << "the clip does not play";
  ASSERT_TRUE(startDisplayRecording(app));

  const QString panel = waitForVisible("Recording", std::chrono::seconds(60));
  ASSERT_FALSE(panel.isEmpty()) << app.output().toStdString();
  const QRect controls = geometryOf(panel);
  const int pauseX = controls.right() - 16 - 28 - 12 - 14, stopX = controls.right() - 16 - 14;
  const int buttonsY = controls.y() + controls.height() / 2;
  ASSERT_TRUE(waitForRecorded(app, 8, "mp4")) << app.output().toStdString();
  click(pauseX, buttonsY);
  ASSERT_TRUE(waitUntil([&] { return panelShowsPaused(panel); })) << "the take did not pause";
  tk::test::pumpEvents(std::chrono::seconds(3));
  click(pauseX, buttonsY);
  ASSERT_TRUE(waitUntil([&] { return !panelShowsPaused(panel); })) << "the take did not resume";
  ASSERT_TRUE(waitForRecorded(app, 16, "mp4")) << app.output().toStdString();
  click(stopX, buttonsY);
  ASSERT_TRUE(
      waitUntil([&] { return app.output().contains("Recording saved to: "); }, std::chrono::seconds(60)))
      << app.output().toStdString();
  const auto theirs = reference.finish();
  ASSERT_TRUE(theirs) << "the reference recording failed or cannot be read";
  EXPECT_TRUE(app.output().contains("⏸ Held at sound-timing-report")) << app.output().toStdString();

  const QStringList movies = filesIn(app.recordings(), "Recording at *.mp4");
  ASSERT_EQ(movies.size(), 1);
  const std::filesystem::path movie = QDir(app.recordings()).filePath(movies.front()).toStdString();
  const auto facts = probeMovie(movie);
  ASSERT_TRUE(facts);
  // The clip's place in the movie's pixels (the screen is 1920 pixels wide).
  const double scale = facts->width / 1920.0;
  const Pairing ours = pairBeepsWithFlashes(movie, *facts,
                                            QRect(int(player.x() * scale), int(player.y() * scale),
                                                  int(player.width() * scale), int(player.height() * scale)));
  SCOPED_TRACE("ours: " + ours.described);
  SCOPED_TRACE("reference: " + theirs->described);
  ASSERT_FALSE(ours.beeps.empty());
  // The take has sound from its first frame: a whole beep in its first second or so (one the start
  // cut in two is not counted), and that beep has its flash.
  EXPECT_LT(ours.beeps.front(), 1.15) << "the take starts without its sound";
  ASSERT_FALSE(ours.paired.empty());
  EXPECT_EQ(ours.paired.front(), ours.beeps.front()) << "the first beep is far from every flash";
  const AgainstReference against = compareWithReference(ours, *theirs);
  EXPECT_EQ(against.unmatched, 0u) << "beeps of ours the reference did not hear by the same flash";
  ASSERT_GE(against.differences.size(), 10u);
  // The reference's own sound starts off by a different few tens of milliseconds in each run (it
  // stamps what it reads by the wall clock as it reads it), so each beep is held to where the
  // take's beeps sit on the whole, and that to a looser bound. A flash whose first frames a busy
  // machine kept out of the take shows late, and is not a measure of the sound.
  std::vector<double> sorted = against.differences;
  std::sort(sorted.begin(), sorted.end());
  const double usual = sorted[sorted.size() / 2];
  EXPECT_LT(std::abs(usual), 0.1) << "the take's sound is " << usual * 1000 << " ms off its pictures";
  const auto& frames = facts->videoFrameTimes;
  for (size_t i = 0; i < against.times.size(); ++i) {
    const size_t beep =
        size_t(std::find(ours.paired.begin(), ours.paired.end(), against.times[i]) - ours.paired.begin());
    const double flash = ours.paired[beep] - ours.offsets[beep];
    const auto shown = std::upper_bound(frames.begin(), frames.end(), flash + 1e-6);
    if (shown - frames.begin() >= 2 && *(shown - 1) - *(shown - 2) > 1.5 / 60) continue;
    EXPECT_LT(std::abs(against.differences[i] - usual), 0.05)
        << "the beep at " << against.times[i] << " s is " << (against.differences[i] - usual) * 1000
        << " ms off where the take's others sit against the reference";
  }
}
