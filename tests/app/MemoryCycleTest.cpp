// A long session in the running application does not keep growing: record, edit and close cycles
// driven as a person would, with the application's resident size read after each.

#include <gtest/gtest.h>

#include <QFile>

#include "ApplicationDriver.h"
#include "support/TestSupport.h"

using namespace tk::test;

namespace {

double residentMegabytes(qint64 pid) {
  QFile status(QString("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
  }
  return -1;
}

// From the bar: Display, record for a moment, stop from the panel; the editor opens on the movie
// and is closed by the window manager; the tray icon brings the bar back. Then the window picker and the
// settings window are opened and closed.
void recordEditAndClose(Application& app, int cycle) {
  SCOPED_TRACE(cycle);
  const QString bar = waitForMainWindow();
  ASSERT_FALSE(bar.isEmpty()) << "no bar";
  const QRect area = geometryOf(bar);
  click(area.x() + 75, area.y() + area.height() / 2);
  click(area.right() - 12 - 16, area.y() + area.height() / 2);
  const QString panel = waitForVisible("Recording");
  ASSERT_FALSE(panel.isEmpty()) << "the recording did not start; output:\n" << app.output().toStdString();
  pumpEvents(std::chrono::milliseconds(1200));
  const QRect panelArea = geometryOf(panel);
  click(panelArea.right() - 16 - 14, panelArea.y() + panelArea.height() / 2);

  const QString editor = waitForVisible("Video Trimmer - Recording at .*", std::chrono::seconds(60));
  ASSERT_FALSE(editor.isEmpty()) << "no editor; output:\n" << app.output().toStdString();
  ASSERT_TRUE(waitUntil([&] {
    return app.output().count("Video loaded successfully and trimming started automatically") == cycle + 1;
  })) << "the editor did not load the movie";
  run("xdotool", {"windowactivate", "--sync", editor});
  run("xdotool", {"key", "--clearmodifiers", "alt+F4"});
  ASSERT_TRUE(waitUntil([] { return visibleWindows("Video Trimmer - Recording at .*").isEmpty(); }))
      << "the editor stayed open; windows: "
      << run("sh",
             {"-c", "for w in $(xdotool search --onlyvisible --name .); do xdotool getwindowname $w; done"})
             .toStdString();

  ASSERT_FALSE(reopenFromTheTrayIcon().isEmpty()) << "no way back to the bar";

  // The window picker and the settings window, opened from the bar and closed.
  const std::pair<int, QString> windows[] = {{135, "Window Selector"}, {-64, "tavelkombrix Settings"}};
  for (const auto& [x, title] : windows) {
    const QRect barArea = geometryOf(waitForMainWindow());
    click(x > 0 ? barArea.x() + x : barArea.right() + x, barArea.y() + barArea.height() / 2);
    const QString window = waitForVisible(title);
    ASSERT_FALSE(window.isEmpty()) << title.toStdString() << " did not open";
    run("xdotool", {"windowactivate", "--sync", window});
    run("xdotool", {"key", "--clearmodifiers", "alt+F4"});
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(title).isEmpty(); })) << title.toStdString();
    if (mainWindow().isEmpty()) {
      ASSERT_FALSE(reopenFromTheTrayIcon().isEmpty()) << "no way back to the bar";
    }
  }
}

}  // namespace

TEST(MemoryCycleTest, RecordEditAndCloseCyclesEndNearWhereTheSecondEnded) {
  TK_REQUIRE_DESKTOP();
  Application app("trimAfterRecord=true\n");
  // Freed memory reaches the system as it would without the sanitizer's quarantine.
  app.setEnvironment("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") +
                                         ":quarantine_size_mb=4:thread_local_quarantine_size_kb=64");
  app.start();
  std::vector<double> resident;
  for (int cycle = 0; cycle < 4; ++cycle) {
    recordEditAndClose(app, cycle);
    ASSERT_FALSE(HasFailure());
    ASSERT_FALSE(waitForMainWindow().isEmpty());
    resident.push_back(residentMegabytes(app.process().processId()));
    std::printf("after cycle %d: %.0f MB resident\n", cycle + 1, resident.back());
  }
  EXPECT_LE(resident.back(), resident[1] + 100) << "the session keeps growing";
  EXPECT_EQ(filesIn(app.recordings(), "Recording at *.mov").size(), 4u);
}
