// Every button of every window the application opens reads as something on the accessibility bus:
// the windows are opened through the application's own paths and walked widget by widget.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QTemporaryDir>
#include <QToolButton>

#include "FakeServices.h"
#include "app/FloatingRecordingPanel.h"
#include "app/FloatingRecordingPanelController.h"
#include "app/ModeSelectionView.h"
#include "app/SavedRecordingNotice.h"
#include "app/tavelkombrixApp.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "platform/x11/X11ShareableContent.h"
#include "selection/AreaSelectorView.h"
#include "selection/WindowSelectorView.h"
#include "settings/SettingsView.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"
#include "ui/SymbolButton.h"

using namespace tk;
using namespace tk::test;

namespace {

QString accessibleName(QWidget* widget) {
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
  return face ? face->text(QAccessible::Name).trimmed() : QString();
}

// "Window title > ClassName (objectName)" of each button with no name, over every window shown.
QStringList unnamedButtons() {
  QStringList unnamed;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
    if (auto* self = qobject_cast<QAbstractButton*>(window)) buttons.append(self);
    for (QAbstractButton* button : buttons) {
      if (!accessibleName(button).isEmpty()) continue;
      unnamed << window->windowTitle() + " > " + button->metaObject()->className() + " (" +
                     button->objectName() + ", tooltip \"" + button->toolTip() + "\")";
    }
  }
  return unnamed;
}

}  // namespace

TEST(AccessibleNamesTest, EveryButtonOfTheBarSettingsPanelPickersEditorAndNoticeHasAName) {
  TK_REQUIRE_DESKTOP();
  QTemporaryDir dir;
  FakeRecordingControl recording;
  FakeDevices devices;
  devices.microphoneList = {device("mic-1", "Desk Microphone")};
  FakeContent content;
  content.displayList = loadShareableContent().displays;
  tavelkombrixApp app(dir.filePath("instance.socket"));
  app.launch(ModeSelectionServices{.recording = &recording, .devices = &devices, .content = &content});
  ASSERT_TRUE(waitUntil([&] { return app.mainWindow()->isVisible(); }));

  // The bar's icon-only buttons read as what their tooltips say.
  EXPECT_EQ(accessibleName(app.mainWindow()->settingsButton()), "Settings");

  // Settings, on each of its tabs.
  app.openSettings();
  for (const QString& tab : SettingsView::tabTitles()) {
    app.settingsWindow()->setSelectedItem(tab);
    pumpEvents(std::chrono::milliseconds(10));
  }

  // The floating panel of a recording.
  FloatingRecordingPanelController controller;
  FloatingRecordingPanel panel(controller);
  panel.show();

  // Both pickers.
  const SelectionServices pickers{&recording, &content};
  WindowSelectorView::open(pickers);
  ASSERT_FALSE(content.displayList.empty());
  AreaSelectorView::open(content.displayList.front(), pickers);

  // An editor on a movie, and the notice that says where a recording went.
  const std::filesystem::path movie = std::filesystem::path(dir.path().toStdString()) / "Take.mov";
  writeTestMovie(movie, {});
  VideoTrimmerManager::shared().openTrimmer(movie);
  ASSERT_TRUE(waitUntil([&] { return VideoTrimmerManager::shared().openTrimmerWindow(movie) != nullptr; }));
  SavedRecordingWindow notice(movie, {});
  notice.show();
  pumpEvents(std::chrono::milliseconds(100));

  const QStringList unnamed = unnamedButtons();
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join('\n').toStdString();

  // A name taken from a tooltip follows the tooltip.
  panel.pauseButton()->setToolTip("Resume");
  EXPECT_EQ(accessibleName(panel.pauseButton()), "Resume");

  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window != app.mainWindow() && window != &panel && window != &notice && window->isVisible())
      window->close();
  }
  if (QWidget* editor = VideoTrimmerManager::shared().openTrimmerWindow(movie)) editor->close();
  pumpEvents(std::chrono::milliseconds(50));
}
