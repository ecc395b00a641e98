// Applications whose windows carry another class than the program their desktop entry runs: a
// Flatpak export ("flatpak run <application id>") and a launcher script whose windows carry the
// entry's own id. Chosen in the hidden-applications list, they are left out of a display recording.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include "../settings/SettingsTestStore.h"
#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "capture/DesktopFixture.h"
#include "settings/BundleSelector.h"

namespace tk {
namespace {

class HiddenApplicationsRecordingTest : public test::CoordinatorTest {
 protected:
  QString writeEntry(const QString& fileName, const QByteArray& body) {
    const QString path = entries.filePath(fileName);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\n" + body);
    return path;
  }

  // The colour of the movie's frame at a point of the display (BGRA frame of the display's size).
  static QColor colourAt(const std::vector<uint8_t>& frame, int width, QPoint at) {
    const size_t offset = (size_t(at.y()) * size_t(width) + size_t(at.x())) * 4;
    return QColor(frame[offset + 2], frame[offset + 1], frame[offset]);
  }

  test::SettingsTestStore store;
  QTemporaryDir entries;
};

bool near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
         std::abs(a.blue() - b.blue()) < 40;
}

TEST_F(HiddenApplicationsRecordingTest, FlatpakAndLauncherEntriesLeaveTheirWindowsOutOfTheRecording) {
  TK_REQUIRE_DESKTOP();
  test::DesktopFixture desktop;
  const QRect flatpak(100, 150, 300, 200);
  const QRect launched(500, 150, 300, 200);
  const QRect visible(900, 150, 300, 200);
  desktop.createWindow(flatpak, 0xff0000, "org.example.FlatViewer", {"Flat"});
  desktop.createWindow(launched, 0x0000ff, "tk-wrapped-viewer", {"Wrapped"});
  desktop.createWindow(visible, 0x00c000, "TkVisibleApp", {"Visible"});

  BundleSelector selector(BundleSelector::EntryChooser{});
  selector.show();
  ASSERT_TRUE(selector.addEntry(
      writeEntry("flat-viewer.desktop",
                 "Name=Flat Viewer\nExec=/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=viewer "
                 "org.example.FlatViewer @@u %U @@\n")));
  ASSERT_TRUE(selector.addEntry(
      writeEntry("tk-wrapped-viewer.desktop", "Name=Wrapped Viewer\nExec=/opt/wrapped/launch.sh %F\n")));
  ASSERT_TRUE(selector.addEntry(
      writeEntry("never-open.desktop", "Name=Never Open\nExec=never-open\nStartupWMClass=TkNone\n")));

  // The list says which chosen application has no open window.
  EXPECT_TRUE(test::waitUntil([&] {
    return selector.rowsWithOpenWindow() == std::vector<bool>{true, true, false};
  })) << "the list did not learn which applications have open windows";
  // Rows the list replaced are hidden and wait for their deferred deletion: only shown rows count.
  auto notes = selector.findChildren<QLabel*>(QStringLiteral("noOpenWindow"));
  notes.removeIf([&](QLabel* note) { return !note->isVisibleTo(&selector); });
  ASSERT_EQ(notes.size(), 1);
  EXPECT_EQ(notes.front()->text(), "No open window matches");

  RecordingMode mode = RecordingMode::screen(display);
  ASSERT_TRUE(harness.start(mode, config(mode))) << harness.error;
  ASSERT_TRUE(harness.recordFor(1.5));
  auto result = harness.stop();
  ASSERT_TRUE(result) << harness.error;
  const auto facts = test::probeMovie(*result);
  ASSERT_TRUE(facts);
  ASSERT_EQ(facts->width, display->width);
  const auto frame = test::frameAt(*result, 1.0, facts->width, facts->height);
  ASSERT_EQ(frame.size(), size_t(facts->width) * size_t(facts->height) * 4);

  EXPECT_TRUE(near(colourAt(frame, facts->width, visible.center()), QColor(0, 0xc0, 0)))
      << colourAt(frame, facts->width, visible.center()).name().toStdString();
  int shown = 0;
  for (int y = flatpak.top(); y <= flatpak.bottom(); y += 8) {
    for (int x = flatpak.left(); x <= launched.right(); x += 8) {
      const QColor colour = colourAt(frame, facts->width, QPoint(x, y));
      shown += (flatpak.contains(x, y) && near(colour, Qt::red)) ||
               (launched.contains(x, y) && near(colour, Qt::blue));
    }
  }
  EXPECT_EQ(shown, 0) << "pixels of the hidden applications' windows in the movie";
}

}  // namespace
}  // namespace tk
