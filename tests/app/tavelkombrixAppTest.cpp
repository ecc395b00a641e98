#include "app/tavelkombrixApp.h"

#include <gtest/gtest.h>

#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "app/ApplicationPresence.h"

#include "app/ModeSelectionView.h"
#include "platform/x11/TaskbarPresence.h"
#include "settings/SettingsView.h"
#include "support/TestSupport.h"
#include "ui/SymbolButton.h"

using namespace tk;

TEST(tavelkombrixAppTest, TheGearOpensOneSettingsWindowAtGeneral) {
  QTemporaryDir dir;
  tavelkombrixApp app(dir.filePath("instance.socket"));
  EXPECT_EQ(app.settingsWindow(), nullptr);
  ModeSelectionView view(ModeSelectionServices{.openSettings = [&] { app.openSettings(); }});
  view.settingsButton()->click();
  ASSERT_NE(app.settingsWindow(), nullptr);
  EXPECT_TRUE(app.settingsWindow()->isVisible());
  EXPECT_EQ(app.settingsWindow()->selectedItem(), "General");

  app.settingsWindow()->setSelectedItem("Output");
  // Closed, the window and what it holds are let go once the close is handled.
  app.settingsWindow()->close();
  EXPECT_TRUE(test::waitUntil([&] { return app.settingsWindow() == nullptr; }));
  view.settingsButton()->click();
  ASSERT_NE(app.settingsWindow(), nullptr);
  EXPECT_TRUE(app.settingsWindow()->isVisible());
  // Every opening starts at General, whichever tab was open when it closed.
  EXPECT_EQ(app.settingsWindow()->selectedItem(), "General");
}

TEST(tavelkombrixAppTest, TheTrayIconStandsInWhileNoWindowShowsAndOnlyWithTheTaskbarSettingOn) {
  TK_REQUIRE_DESKTOP();
  ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
  QTemporaryDir dir;
  tavelkombrixApp app(dir.filePath("instance.socket"));
  app.launch({});
  TaskbarPresence::shared().setShown(true);
  ASSERT_TRUE(test::waitUntil([&] { return app.mainWindow()->isVisible(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(app.presence()->icon(), nullptr);

  // The bar closed: the icon; activated: the bar again, and the icon goes.
  app.mainWindow()->close();
  ASSERT_TRUE(test::waitUntil([&] { return app.presence()->icon() != nullptr; }));
  EXPECT_TRUE(app.presence()->icon()->isVisible());
  // The icon's own window is not one of the application's windows: it stays.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(AppDelegate::hasVisibleWindows());
  EXPECT_NE(app.presence()->icon(), nullptr);
  emit app.presence()->icon()->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(test::waitUntil([&] { return app.mainWindow()->isVisible(); }));
  EXPECT_TRUE(test::waitUntil([&] { return app.presence()->icon() == nullptr; }));

  // Not listed in the taskbar: no icon either (the decision is one queued turn away).
  TaskbarPresence::shared().setShown(false);
  app.mainWindow()->close();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(app.presence()->icon(), nullptr);
  TaskbarPresence::shared().setShown(true);
}
