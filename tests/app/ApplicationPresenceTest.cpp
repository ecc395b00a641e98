// The running application never leaves a person without a way back: whenever none of its windows
// is shown its icon is in the tray and a click brings the bar back; a dismissed error brings the
// bar back by itself; a launch shows the bar beside an editor; and a desktop that cannot open a
// finished movie gets told where it went.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <tuple>

#include "ApplicationDriver.h"
#include "support/TestSupport.h"

using namespace tk::test;

namespace {

// The main window's mode buttons, from the bar's left edge: Display, Window, Area.
constexpr int kDisplayModeX = 75;
constexpr int kWindowModeX = 135;
constexpr int kAreaModeX = 195;

// The application's tray icon is there alone, and a click on it brings the bar back (and the icon
// goes while the bar shows).
void expectTrayIconBringsTheBarBack(Application& app, const char* after) {
  SCOPED_TRACE(after);
  ASSERT_TRUE(waitUntil([] { return mainWindow().isEmpty(); })) << "the bar is still shown";
  EXPECT_FALSE(reopenFromTheTrayIcon().isEmpty())
      << "no application icon in the tray, or a click on it did not bring the bar back; output:\n"
      << app.output().toStdString();
  EXPECT_TRUE(waitUntil([] { return trayIconCount() == 0; })) << "the icon stayed beside the bar";
}

void clickBar(const QString& bar, int x) {
  const QRect area = geometryOf(bar);
  click(area.x() + x, area.y() + area.height() / 2);
}

// Starts the application and a display recording from its bar (Display, then record).
void startDisplayRecordingFromTheBar(Application& app) {
  app.start();
  const QString bar = waitForMainWindow();
  ASSERT_FALSE(bar.isEmpty()) << "the main window did not show";
  clickBar(bar, kDisplayModeX);
  const QRect area = geometryOf(bar);
  click(area.right() - 12 - 16, area.y() + area.height() / 2);
}

// A home whose programs cannot open anything: no desktop launcher on the path, no desktop named.
void withoutLauncher(Application& app, const QString& emptyFolder) {
  app.setEnvironment("PATH", emptyFolder);
  app.setEnvironment("XDG_CURRENT_DESKTOP", {});
  app.setEnvironment("DESKTOP_SESSION", {});
  app.setEnvironment("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
}

}  // namespace

TEST(ApplicationPresenceTest, ClosingTheBarOrCancellingEitherPickerLeavesTheTrayIconWhichBringsTheBarBack) {
  TK_REQUIRE_DESKTOP();
  Application app;
  app.start();
  QString bar = waitForMainWindow();
  ASSERT_FALSE(bar.isEmpty()) << "the main window did not show";
  EXPECT_EQ(trayIconCount(), 0) << "an icon in the tray while the bar shows";

  // The bar closed by the window manager.
  closeWindow(bar);
  expectTrayIconBringsTheBarBack(app, "closing the bar");

  // The window picker, opened from the bar and closed; the area overlay, cancelled with Escape on
  // its control panel.
  const std::tuple<int, QString, QString> pickers[] = {{kWindowModeX, "Window Selector", ""},
                                                       {kAreaModeX, "Area Control Panel", "Escape"}};
  for (const auto& [modeX, title, key] : pickers) {
    SCOPED_TRACE(title.toStdString());
    clickBar(waitForMainWindow(), modeX);
    const QString picker = waitForVisible(title);
    ASSERT_FALSE(picker.isEmpty()) << "the picker did not open";
    if (key.isEmpty())
      closeWindow(picker);
    else
      pressKeyIn(picker, key);
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(title).isEmpty(); }));
    expectTrayIconBringsTheBarBack(app, "cancelling the picker");
  }
  EXPECT_EQ(app.process().state(), QProcess::Running);
}

TEST(ApplicationPresenceTest, AStartThatFailsBringsTheBarBackOnceItsAlertIsDismissed) {
  TK_REQUIRE_DESKTOP();
  // A file where the recordings folder should be: prepare finds no writable folder.
  QTemporaryDir scratch;
  QFile blocker(scratch.filePath("not-a-folder"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  Application app("outputDirectory=" + blocker.fileName().toUtf8() + "\n");
  startDisplayRecordingFromTheBar(app);
  ASSERT_FALSE(HasFailure());

  const QString alert = waitForVisible("Recording Error");
  ASSERT_FALSE(alert.isEmpty()) << "no error alert; output:\n" << app.output().toStdString();
  pressKeyIn(alert, "Return");
  EXPECT_FALSE(waitForMainWindow().isEmpty()) << "the bar did not come back after the alert";
  EXPECT_EQ(trayIconCount(), 0);
}

TEST(ApplicationPresenceTest, WhereNothingOpensTheMovieANoticeSaysWhereItIsAndCopiesThePath) {
  TK_REQUIRE_DESKTOP();
  QTemporaryDir emptyPath;
  Application app;
  withoutLauncher(app, emptyPath.path());
  startDisplayRecordingFromTheBar(app);
  ASSERT_FALSE(HasFailure());
  const QString movie = recordAndStop(app);
  ASSERT_FALSE(movie.isEmpty());

  const QString notice = waitForVisible("Recording Saved");
  ASSERT_FALSE(notice.isEmpty()) << "no notice; output:\n" << app.output().toStdString();

  // Its "Copy Path" puts the movie's full path on the clipboard.
  QGuiApplication::clipboard()->clear();
  pressKeyIn(notice, "alt+c");
  EXPECT_TRUE(waitUntil([&] { return QGuiApplication::clipboard()->text() == movie; }))
      << "clipboard: " << QGuiApplication::clipboard()->text().toStdString()
      << "\nmovie: " << movie.toStdString();

  // Closed, it leaves the application's icon.
  pressKeyIn(notice, "Escape");
  ASSERT_TRUE(waitUntil([] { return visibleWindows("Recording Saved").isEmpty(); }));
  expectTrayIconBringsTheBarBack(app, "closing the notice");
}

TEST(ApplicationPresenceTest, ALaunchShowsTheBarBesideAnOpenEditorAndClosingBothLeavesTheIcon) {
  TK_REQUIRE_DESKTOP();
  Application app("trimAfterRecord=true\n");
  startDisplayRecordingFromTheBar(app);
  ASSERT_FALSE(HasFailure());
  recordAndStop(app);
  ASSERT_FALSE(HasFailure());
  const QString editor = waitForVisible("Video Trimmer - Recording at .*\\.mov", std::chrono::seconds(60));
  ASSERT_FALSE(editor.isEmpty()) << "no editor; output:\n" << app.output().toStdString();
  EXPECT_TRUE(mainWindow().isEmpty());
  EXPECT_EQ(trayIconCount(), 0) << "an icon while the editor shows";

  // A second launch shows the bar beside the editor.
  EXPECT_EQ(app.launchAgain(), 0);
  EXPECT_FALSE(waitForMainWindow().isEmpty()) << "the bar did not show beside the editor";
  EXPECT_FALSE(visibleWindows("Video Trimmer - Recording at .*\\.mov").isEmpty());

  // Closing both leaves the icon.
  closeWindow(mainWindow());
  closeWindow(editor);
  ASSERT_TRUE(waitUntil([] { return visibleWindows("Video Trimmer - Recording at .*\\.mov").isEmpty(); }));
  expectTrayIconBringsTheBarBack(app, "closing the editor and the bar");
}
