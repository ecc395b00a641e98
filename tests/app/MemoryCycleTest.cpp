// A long session in the running application does not keep growing: record, edit, export and close
// cycles driven as a person would, with the application's resident size read after each, and the
// pickers and the settings window opened and closed in every cycle.

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "ApplicationDriver.h"
#include "support/TestSupport.h"

using namespace tk::test;

namespace {

// The main window's mode buttons, from the bar's left edge, and its settings button from the right.
constexpr int kDisplayModeX = 75;
constexpr int kWindowModeX = 135;
constexpr int kAreaModeX = 195;
constexpr int kSettingsFromRight = 64;

constexpr int kCycles = 10;
static_assert(kCycles >= 2, "the figures are read against the second cycle's");

double residentMegabytes(qint64 pid) {
  QFile status(QString("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
  }
  return -1;
}

void clickBar(int x) {
  const QRect bar = geometryOf(waitForMainWindow());
  click(x > 0 ? bar.x() + x : bar.right() + x, bar.y() + bar.height() / 2);
}

QString visibleWindowNames() {
  QStringList names;
  for (const QString& window : visibleWindows(".+")) names << run("xdotool", {"getwindowname", window});
  return names.join('\n');
}

// The editor's Export button, in the window's own coordinates: it heads the right-hand column of the
// appearance strip along the window's foot (16 px in from the window's edges, 8 px padding in the
// strip and 8 in the column, at least 32 px high). The strip's top is found in a picture of the
// window, going up its right padding until the window's own colour shows. Empty when there is no
// such strip.
QPoint exportButtonOf(const QString& editor) {
  const QImage shot = QGuiApplication::primaryScreen()->grabWindow(editor.toULongLong()).toImage();
  if (shot.width() < 200 || shot.height() < 200) return {};
  const int x = shot.width() - 16 - 12;
  const QColor window = shot.pixelColor(6, shot.height() / 2);
  int y = shot.height() - 20;
  if (near(shot.pixelColor(x, y), window, 4)) return {};
  while (y > 0 && !near(shot.pixelColor(x, y - 1), window, 4)) --y;
  return y > 0 ? QPoint(shot.width() - 16 - 16 - 12, y + 16 + 16) : QPoint();
}

const QColor kOtherWindowColour(0x20, 0xc0, 0x60);

// Whether `colour` covers a patch of the window on screen.
bool shows(const QString& window, const QColor& colour) {
  const QImage shot = screenshot(geometryOf(window));
  int found = 0;
  for (int y = 0; y < shot.height(); y += 4)
    for (int x = 0; x < shot.width(); x += 4) found += near(shot.pixelColor(x, y), colour, 24);
  return found >= 16;
}

// The private desktop's display made smaller for the test, so that each take and export handles
// half the pixels; the editor's least size still fits on it. Left as it was when xrandr cannot do it.
class SmallDisplay {
 public:
  static constexpr const char* kName = "TK-SMALL";
  SmallDisplay() {
    set_ = QProcess::execute("xrandr", {"--setmonitor", kName, "1280/339x800/212+0+0", "screen"}) == 0;
  }
  ~SmallDisplay() {
    if (set_) QProcess::execute("xrandr", {"--delmonitor", kName});
  }
  SmallDisplay(const SmallDisplay&) = delete;
  SmallDisplay& operator=(const SmallDisplay&) = delete;

 private:
  bool set_ = false;
};

// A take of the display from the bar, stopped from the floating panel; the editor opens on it, its
// Export writes the edited movie, and the editor is closed. The tray icon brings the bar back, and
// the window picker (once it shows another application's window), the area overlay and the settings
// window are each opened and closed.
void recordEditExportAndClose(Application& app, int cycle, const QWidget& neighbour) {
  SCOPED_TRACE(cycle + 1);
  ASSERT_FALSE(waitForMainWindow().isEmpty()) << "no bar";
  clickBar(kDisplayModeX);
  const QRect bar = geometryOf(waitForMainWindow());
  click(bar.right() - 12 - 16, bar.y() + bar.height() / 2);
  ASSERT_TRUE(waitUntil([&] { return app.output().count("✅ MediaWriter session started") == cycle + 1; },
                        std::chrono::seconds(60)))
      << "the recording wrote no frame; output:\n"
      << app.output().toStdString();
  const QString panel = waitForVisible("Recording");
  ASSERT_FALSE(panel.isEmpty()) << "no recording panel";
  pumpEvents(std::chrono::seconds(1));  // the take itself: a second of the display
  const QRect panelArea = geometryOf(panel);
  click(panelArea.right() - 16 - 14, panelArea.y() + panelArea.height() / 2);
  ASSERT_TRUE(waitUntil([&] { return app.output().count("Recording saved to: ") == cycle + 1; },
                        std::chrono::seconds(60)))
      << "the take was never saved; output:\n"
      << app.output().toStdString();

  const QString editor = waitForVisible("Video Trimmer - Recording at .*", std::chrono::seconds(60));
  ASSERT_FALSE(editor.isEmpty()) << "no editor; output:\n" << app.output().toStdString();
  ASSERT_TRUE(waitUntil([&] {
    return app.output().count("Video loaded successfully and trimming started automatically") == cycle + 1;
  })) << "the editor did not load the movie";

  // Found at the same place twice running, so the window's layout has settled.
  QPoint exportButton;
  ASSERT_TRUE(waitUntil([&] {
    const QPoint found = exportButtonOf(editor);
    return !found.isNull() && std::exchange(exportButton, found) == found;
  })) << "no Export button at the editor's foot";
  run("xdotool", {"windowactivate", "--sync", editor});
  run("xdotool", {"mousemove", "--window", editor, QString::number(exportButton.x()),
                  QString::number(exportButton.y()), "click", "1"});
  const QString alert = waitForVisible("Export (Successful|Failed)", std::chrono::seconds(180));
  ASSERT_FALSE(alert.isEmpty()) << "the export never ended; windows:\n"
                                << visibleWindowNames().toStdString() << "\noutput:\n"
                                << app.output().toStdString();
  ASSERT_FALSE(visibleWindows("Export Successful").isEmpty()) << "the export failed";
  pressKeyIn(alert, "Escape");
  ASSERT_TRUE(waitUntil([] { return visibleWindows("Export Successful").isEmpty(); })) << "the alert stayed";
  pressKeyIn(editor, "ctrl+w");
  ASSERT_TRUE(waitUntil([] { return visibleWindows("Video Trimmer - Recording at .*").isEmpty(); }))
      << "the editor stayed open; windows:\n"
      << visibleWindowNames().toStdString();
  ASSERT_FALSE(reopenFromTheTrayIcon().isEmpty()) << "no way back to the bar";

  const std::tuple<int, QString, QString> windows[] = {
      {kWindowModeX, "Window Selector", ""},
      {kAreaModeX, "Area Control Panel", "Escape"},
      {-kSettingsFromRight, "tavelkombrix Settings", ""}};
  for (const auto& [x, title, key] : windows) {
    if (title == "Window Selector") {
      // The picture is taken as the picker opens: the other window has painted itself again by then.
      ASSERT_TRUE(waitUntil([&] { return shows(QString::number(neighbour.winId()), kOtherWindowColour); }))
          << "the other window did not show";
    }
    clickBar(x);
    const QString window = waitForVisible(title);
    ASSERT_FALSE(window.isEmpty()) << title.toStdString() << " did not open";
    if (title == "Window Selector") {
      ASSERT_TRUE(waitUntil([&] { return shows(window, kOtherWindowColour); }))
          << "the picker did not show the other window's picture";
    }
    if (key.isEmpty())
      closeWindow(window);
    else
      pressKeyIn(window, key);
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(title).isEmpty(); }))
        << title.toStdString() << " stayed open";
    if (mainWindow().isEmpty()) {
      ASSERT_FALSE(reopenFromTheTrayIcon().isEmpty()) << "no way back to the bar";
    }
  }
}

}  // namespace

TEST(MemoryCycleTest, TenRecordEditExportAndCloseCyclesEndWithin100MBOfTheFirstThree) {
  TK_REQUIRE_DESKTOP();
  SmallDisplay display;
  // A window of another application (this test program), whose picture the window picker streams.
  QWidget other;
  other.setWindowTitle("Memory Cycle Neighbour");
  other.setPalette(QPalette(kOtherWindowColour));
  other.setAutoFillBackground(true);
  other.setGeometry(40, 60, 240, 160);
  other.show();
  Application app("trimAfterRecord=true\n");
  // Freed memory reaches the system as it would without the sanitizer's quarantine.
  app.setEnvironment("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") +
                                         ":quarantine_size_mb=4:thread_local_quarantine_size_kb=64");
  app.start();
  std::vector<double> resident;
  QString figures;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    recordEditExportAndClose(app, cycle, other);
    ASSERT_FALSE(HasFailure()) << "after cycles:" << figures.toStdString();
    ASSERT_FALSE(waitForMainWindow().isEmpty());
    resident.push_back(residentMegabytes(app.process().processId()));
    figures += QString(" %1: %2 MB").arg(cycle + 1).arg(resident.back(), 0, 'f', 0);
  }
  std::printf("resident after cycles:%s\n", qPrintable(figures));
  // Against the highest of the first three: one cycle may end low (the allocator or a paused
  // player's decoder just gave memory back), and a low start would read as growth.
  EXPECT_LE(resident.back(), *std::max_element(resident.begin(), resident.begin() + 3) + 100)
      << "the session keeps growing; after cycles:" << figures.toStdString();
  EXPECT_EQ(filesIn(app.recordings(), "Recording at *.mov").size(), size_t(kCycles));
  EXPECT_EQ(filesIn(app.recordings(), "Recording at * (Edited *).mp4").size(), size_t(kCycles));
}
