#include "app/tavelkombrixApp.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/ModeSelectionView.h"
#include "ui/SymbolButton.h"
#include "settings/SettingsView.h"

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
  app.settingsWindow()->close();
  view.settingsButton()->click();
  EXPECT_TRUE(app.settingsWindow()->isVisible());
  EXPECT_EQ(app.settingsWindow()->selectedItem(), "Output");
}
