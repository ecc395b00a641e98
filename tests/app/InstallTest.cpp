// What `cmake --install` puts into the XDG places: the program, its desktop entry and its icon,
// the entry naming the window class our windows carry.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/qt/DesktopEntry.h"

TEST(InstallTest, InstallingPutsTheProgramItsDesktopEntryAndIconInTheXdgPlaces) {
  const QString build = QCoreApplication::applicationDirPath() + "/..";
  QTemporaryDir prefix;
  QProcess install;
  install.setProcessChannelMode(QProcess::MergedChannels);
  install.start("cmake", {"--install", build, "--prefix", prefix.path()});
  ASSERT_TRUE(install.waitForFinished(120000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();

  EXPECT_TRUE(QFileInfo(prefix.filePath("bin/tavelkombrix")).isExecutable());
  const auto entry = tk::DesktopEntry::read(prefix.filePath("share/applications/tavelkombrix.desktop"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->type, "Application");
  EXPECT_EQ(entry->name, "tavelkombrix");
  EXPECT_EQ(entry->programName(), "tavelkombrix");
  // The class of our windows, so desktops match the running windows to the entry.
  EXPECT_EQ(entry->applicationId(), "tavelkombrix");
  EXPECT_EQ(entry->icon, "tavelkombrix");

  QFile icon(prefix.filePath("share/icons/hicolor/scalable/apps/tavelkombrix.svg"));
  ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
  EXPECT_TRUE(icon.readAll().contains("<svg"));
}
