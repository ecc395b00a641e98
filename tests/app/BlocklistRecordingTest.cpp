// The blocklist end to end, as a person uses it: an application is added to the blocklist through
// the settings window's file dialog, the display is recorded from the bar, and that application's
// window is missing from the movie while another application's window shows.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>

#include "ApplicationDriver.h"
#include "capture/DesktopFixture.h"

using namespace tk::test;

namespace {

constexpr uint32_t kVisibleGreen = 0x00c000;
constexpr uint32_t kBlockedRed = 0xff0000;
const QColor kGreen(QRgb(0xff000000u | kVisibleGreen));
const QColor kRed(QRgb(0xff000000u | kBlockedRed));

}  // namespace

TEST(BlocklistRecordingTest, AnApplicationBlockedInTheSettingsWindowIsAbsentFromTheRecordedDisplay) {
  TK_REQUIRE_DESKTOP();
  // Two other applications' windows, left of the bar: the blocked one partly over the visible one.
  DesktopFixture desktop;
  const QRect visible(60, 120, 400, 300);
  const QRect blocked(260, 220, 400, 300);
  desktop.createWindow(visible, kVisibleGreen, "TkVisibleApp", {"Visible"});
  desktop.createWindow(blocked, kBlockedRed, "TkBlockedApp", {"Blocked"});

  // The blocked application's desktop entry names its window class.
  QTemporaryDir entries;
  const QString entry = entries.filePath("blocked-test-app.desktop");
  QFile file(entry);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "[Desktop Entry]\nType=Application\nName=Blocked Test App\nExec=blocked-test-app\n"
      "StartupWMClass=TkBlockedApp\n");
  file.close();

  Application app;
  app.start();
  const QString bar = waitForMainWindow();
  ASSERT_FALSE(bar.isEmpty()) << "the main window did not show";
  const QRect barFrame = geometryOf(bar);

  // The gear opens the settings window, at "General".
  click(barFrame.right() - 70, barFrame.center().y());
  const QString settings = waitForVisible("tavelkombrix Settings");
  ASSERT_FALSE(settings.isEmpty()) << "the settings window did not open";
  const QRect settingsFrame = geometryOf(settings);

  // To the last tab with the keyboard, then the "+" (the tab's one focusable control) opens the
  // file dialog, where the entry's path is typed.
  click(settingsFrame.x() + 60, settingsFrame.y() + 6);
  run("xdotool", {"key", "--clearmodifiers", "End"});
  run("xdotool", {"key", "--clearmodifiers", "Tab"});
  run("xdotool", {"key", "--clearmodifiers", "space"});
  const QString dialog = waitForVisible("Choose an Application");
  ASSERT_FALSE(dialog.isEmpty()) << "the file dialog did not open";
  // A loaded desktop may hand the dialog its focus late and lose the first keys: the path is typed
  // again over whatever arrived until the dialog takes it.
  for (int attempt = 0; attempt < 3 && !visibleWindows("Choose an Application").isEmpty(); ++attempt) {
    run("xdotool", {"windowactivate", "--sync", dialog});
    // A modifier an earlier client left pressed would turn the path into shortcuts.
    run("xdotool", {"keyup", "Control_L", "Control_R", "Shift_L", "Shift_R", "Alt_L", "Alt_R", "Super_L"});
    run("xdotool", {"key", "--clearmodifiers", "ctrl+a"});
    run("xdotool", {"type", "--clearmodifiers", "--delay", "20", entry});
    run("xdotool", {"key", "--clearmodifiers", "Return"});
    waitUntil([&] { return visibleWindows("Choose an Application").isEmpty(); }, std::chrono::seconds(60));
  }

  const QString store = app.environment().value("XDG_CONFIG_HOME") + "/tavelkombrix/tavelkombrix.conf";
  ASSERT_TRUE(waitUntil(
      [&] {
        QFile conf(store);
        return conf.open(QIODevice::ReadOnly) && conf.readAll().contains("TkBlockedApp");
      },
      std::chrono::seconds(30)))
      << "the blocklist did not store the application";
  EXPECT_TRUE(waitUntil([&] { return visibleWindows("Choose an Application").isEmpty(); }));

  // Close the settings window and record the display from the bar.
  closeWindow(settings);
  ASSERT_TRUE(waitUntil([] { return visibleWindows("tavelkombrix Settings").isEmpty(); }));
  click(barFrame.x() + 75, barFrame.center().y());
  click(barFrame.right() - 12 - 16, barFrame.center().y());
  ASSERT_FALSE(waitForVisible("Recording").isEmpty()) << "the recording did not start";

  // The blocked window is on the screen while it records.
  const QPoint blockedOnly(blocked.right() - 30, blocked.bottom() - 30);
  const QPoint overlap(visible.right() - 30, visible.bottom() - 30);
  const QPoint visibleOnly(visible.x() + 30, visible.y() + 30);
  EXPECT_TRUE(near(screenshot(QRect(blockedOnly, QSize(1, 1))).pixelColor(0, 0), kRed));
  const QString movie = recordAndStop(app);
  ASSERT_FALSE(movie.isEmpty());
  const QImage frame = movieFrame(movie, 1.0);
  ASSERT_FALSE(frame.isNull());
  const double scale = frame.width() / 1920.0;
  const auto pixel = [&](QPoint p) { return frame.pixelColor(int(p.x() * scale), int(p.y() * scale)); };

  // The visible window shows, also where the blocked one lay over it; the blocked one nowhere.
  EXPECT_TRUE(near(pixel(visibleOnly), kGreen)) << pixel(visibleOnly).name().toStdString();
  EXPECT_TRUE(near(pixel(overlap), kGreen)) << pixel(overlap).name().toStdString();
  EXPECT_FALSE(near(pixel(blockedOnly), kRed)) << pixel(blockedOnly).name().toStdString();
  int red = 0;
  for (int y = blocked.top(); y <= blocked.bottom(); y += 4)
    for (int x = blocked.left(); x <= blocked.right(); x += 4) red += near(pixel(QPoint(x, y)), kRed);
  EXPECT_EQ(red, 0) << "red pixels of the blocked window in the movie";
}
