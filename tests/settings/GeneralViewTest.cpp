// The General tab's launch-at-login switch against the desktop's autostart entry, in a private
// config home.
#include "settings/GeneralView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWindow>

#include "SettingsTestStore.h"
#include "platform/qt/DesktopEntry.h"
#include "platform/x11/TaskbarPresence.h"
#include "settings/SToggle.h"
#include "support/TestSupport.h"
#include "ui/ToggleSwitch.h"

using namespace tk;

namespace {

class GeneralViewTest : public ::testing::Test {
 protected:
  QString entryPath() const { return config_.filePath("autostart/tavelkombrix.desktop"); }
  LoginItemService service() const {
    return LoginItemService(entryPath(), "/opt/tk tools/tavelkombrix", "tavelkombrix");
  }
  test::SettingsTestStore store_;
  QTemporaryDir config_;
};

}  // namespace

TEST_F(GeneralViewTest, TheLoginSwitchWritesAndRemovesTheAutostartEntry) {
  GeneralView view(service());
  EXPECT_FALSE(view.launchAtLogin());

  view.launchAtLoginToggle()->control()->click();
  EXPECT_TRUE(view.launchAtLogin());
  const auto entry = DesktopEntry::read(entryPath());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->type, "Application");
  EXPECT_EQ(DesktopEntry::splitExec(entry->exec), QStringList({"/opt/tk tools/tavelkombrix"}));
  EXPECT_EQ(service().status(), LoginItemService::Status::enabled);

  // A new tab reads the real state.
  GeneralView again(service());
  EXPECT_TRUE(again.launchAtLoginToggle()->isOn());

  view.launchAtLoginToggle()->control()->click();
  EXPECT_FALSE(QFile::exists(entryPath()));
  EXPECT_FALSE(view.launchAtLogin());
  again.refreshLaunchAtLogin();
  EXPECT_FALSE(again.launchAtLoginToggle()->isOn());

  // An entry the user switched off in the desktop's settings counts as off.
  QFile hidden(entryPath());
  ASSERT_TRUE(hidden.open(QIODevice::WriteOnly));
  hidden.write("[Desktop Entry]\nType=Application\nExec=tavelkombrix\nHidden=true\n");
  hidden.close();
  again.refreshLaunchAtLogin();
  EXPECT_FALSE(again.launchAtLoginToggle()->isOn());
}

TEST_F(GeneralViewTest, AFailedChangeSetsTheSwitchBackToTheRealState) {
  // A file where the autostart folder should be: the entry cannot be written.
  QFile blocker(config_.filePath("autostart"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  GeneralView view(service());
  test::CapturedLines lines;
  view.launchAtLoginToggle()->control()->click();
  EXPECT_FALSE(view.launchAtLoginToggle()->isOn());
  EXPECT_FALSE(view.launchAtLoginToggle()->control()->isChecked());
  EXPECT_TRUE(lines.contains("Failed to enable launch at login: Could not create the folder"));

  // Once the folder can be made, the same press registers.
  ASSERT_TRUE(QFile::remove(config_.filePath("autostart")));
  view.launchAtLoginToggle()->control()->click();
  EXPECT_TRUE(view.launchAtLoginToggle()->isOn());
  EXPECT_EQ(service().status(), LoginItemService::Status::enabled);
}

TEST_F(GeneralViewTest, TheTaskbarSwitchTakesOurWindowsOffTheTaskbarAndBack) {
  TK_REQUIRE_DESKTOP();
  GeneralView view(service());
  view.show();
  QWidget open;
  open.setWindowTitle("Open before");
  open.show();
  ASSERT_TRUE(test::waitUntil([&] { return open.windowHandle() && open.windowHandle()->isExposed(); }));
  EXPECT_FALSE(TaskbarPresence::skipsTaskbar(open.winId()));

  view.showInDockToggle()->control()->click();
  EXPECT_FALSE(store_.reopened()->boolValue("showInDock", true));
  EXPECT_TRUE(test::waitUntil([&] { return TaskbarPresence::skipsTaskbar(open.winId()); }));
  EXPECT_TRUE(test::waitUntil([&] { return TaskbarPresence::skipsTaskbar(view.winId()); }));

  // A window opened while the switch is off is off the taskbar from its first showing.
  QWidget later;
  later.setWindowTitle("Opened after");
  later.show();
  ASSERT_TRUE(test::waitUntil([&] { return later.windowHandle()->isExposed(); }));
  EXPECT_TRUE(TaskbarPresence::skipsTaskbar(later.winId()));

  view.showInDockToggle()->control()->click();
  EXPECT_TRUE(test::waitUntil([&] {
    return !TaskbarPresence::skipsTaskbar(open.winId()) && !TaskbarPresence::skipsTaskbar(later.winId());
  }));
}

TEST_F(GeneralViewTest, TheApplicationsEntryGoesIntoTheAutostartFolderOfTheUsersConfigHome) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
  const QString expected = config_.filePath("autostart/" + QCoreApplication::applicationName() + ".desktop");
  {
    GeneralView view;  // the running program's own login item
    view.launchAtLoginToggle()->control()->click();
    const auto entry = DesktopEntry::read(expected);
    ASSERT_TRUE(entry) << expected.toStdString();
    EXPECT_EQ(DesktopEntry::splitExec(entry->exec), QStringList({QCoreApplication::applicationFilePath()}));
    view.launchAtLoginToggle()->control()->click();
    EXPECT_FALSE(QFile::exists(expected));
  }
  if (saved.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", saved);
}
