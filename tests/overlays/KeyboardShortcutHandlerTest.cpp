#include "overlays/KeyboardShortcutHandler.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace tk {
namespace {

using Key = KeyboardShortcutHandler::ShortcutKey;
constexpr Qt::KeyboardModifiers kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

TEST(KeyboardShortcutHandler, RecognisesCtrlShiftLettersWithExtraModifiersAllowed) {
  EXPECT_EQ(KeyboardShortcutHandler::recognise({Qt::Key_M, kCtrlShift}), Key::toggleMagnifier);
  EXPECT_EQ(KeyboardShortcutHandler::recognise({Qt::Key_M, kCtrlShift | Qt::AltModifier}),
            Key::toggleMagnifier);
  EXPECT_EQ(KeyboardShortcutHandler::recognise({Qt::Key_S, kCtrlShift}), Key::stopRecording);
  EXPECT_EQ(KeyboardShortcutHandler::recognise({Qt::Key_P, kCtrlShift}), Key::pauseResume);
  EXPECT_EQ(KeyboardShortcutHandler::recognise({Qt::Key_F, kCtrlShift}), Key::saveFrame);
  EXPECT_FALSE(KeyboardShortcutHandler::recognise({Qt::Key_M, Qt::ControlModifier}));
  EXPECT_FALSE(KeyboardShortcutHandler::recognise({Qt::Key_M, Qt::ShiftModifier}));
  EXPECT_FALSE(KeyboardShortcutHandler::recognise({Qt::Key_R, kCtrlShift}));
  // No key starts a recording.
  for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key) {
    EXPECT_NE(KeyboardShortcutHandler::recognise({key, kCtrlShift}), Key::startRecording);
  }
}

TEST(KeyboardShortcutHandler, ShortcutsInOurWindowsAreSwallowedAndRunTheirActionOnly) {
  KeyboardShortcutHandler& handler = KeyboardShortcutHandler::shared();
  int toggles = 0;
  handler.registerShortcut(Key::toggleMagnifier, [&] { toggles += 100; });
  handler.registerShortcut(Key::toggleMagnifier, [&] { ++toggles; });  // replaces
  handler.startShortcutMonitoring();
  handler.startShortcutMonitoring();
  ASSERT_TRUE(handler.isMonitoring());

  QLineEdit field;
  auto type = [&](int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&field, &press);
  };
  type(Qt::Key_M, kCtrlShift, "M");
  EXPECT_EQ(toggles, 1);
  // Recognised shortcuts without an action are still swallowed; others reach the widget.
  type(Qt::Key_S, kCtrlShift, "S");
  type(Qt::Key_P, kCtrlShift, "P");
  type(Qt::Key_F, kCtrlShift, "F");
  type(Qt::Key_M, Qt::ShiftModifier, "M");
  EXPECT_EQ(field.text(), "M");
  EXPECT_EQ(toggles, 1);
  handler.registerShortcut(Key::toggleMagnifier, {});
}

}  // namespace
}  // namespace tk
