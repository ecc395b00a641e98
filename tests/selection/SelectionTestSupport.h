#pragma once

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QThreadPool>
#include <memory>

#include "../app/FakeServices.h"
#include "../recording/RecordingTestSupport.h"
#include "../settings/SettingsTestStore.h"
#include "platform/x11/X11ShareableContent.h"
#include "selection/SelectionServices.h"
#include "settings/SettingsKeys.h"
#include "support/TestSupport.h"

namespace tk::test {

// The two screens of the offscreen platform as the capture layer would describe them.
inline CaptureDisplayRef offscreenDisplay(int index) {
  QScreen* screen = QGuiApplication::screens().at(index);
  auto display = std::make_shared<CaptureDisplay>();
  display->displayID = uint32_t(100 + index);
  display->name = screen->name().toStdString();
  display->frame = QRectF(screen->geometry());
  display->width = screen->geometry().width();
  display->height = screen->geometry().height();
  display->isPrimary = index == 0;
  return display;
}

// The private desktop's first display, as the capture layer lists it.
inline CaptureDisplayRef firstDisplayOfDesktop() {
  ShareableContent content = loadShareableContent();
  return content.displays.empty() ? nullptr : content.displays.front();
}

// A key pressed and let go over `target`, delivered through the application like a typed key, so
// shortcuts, the dialog's Return and Escape and focus moves all see it.
inline void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = {}, QString text = {}) {
  ASSERT_NE(target, nullptr) << "no widget has the keyboard";
  if (key == 0 && text.size() == 1) key = text.at(0).toUpper().unicode();
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(target, &release);
}

inline CaptureWindowRef fakeWindow(uint32_t id, std::string title, QRectF frame,
                                   std::string application = "Other",
                                   std::string applicationName = "Other App") {
  auto window = std::make_shared<CaptureWindow>();
  window->windowID = id;
  window->title = std::move(title);
  window->frame = frame;
  if (!application.empty())
    window->owningApplication = CaptureApplication{application, applicationName, 4242};
  window->isOnScreen = true;
  return window;
}

// Fakes for the coordinator and the desktop, a settings store of the test's own, and clean-up of
// every window a test left open.
class SelectionFixture : public ::testing::Test {
 protected:
  SelectionFixture() {
    settings::outputDirectory.write(outputDir.path());
    settings::areaWidth.write(600);
    settings::areaHeight.write(450);
    settings::resolution.write(1);
  }
  ~SelectionFixture() override {
    QThreadPool::globalInstance()->waitForDone();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isWindow()) widget->close();
    }
    pumpEvents(std::chrono::milliseconds(10));
    for (QWidget* widget : QApplication::topLevelWidgets()) delete widget;
  }

  SelectionServices services() { return {&recording, &content}; }

  static QMessageBox* openAlert() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box && box->isVisible()) return box;
    }
    return nullptr;
  }

  SettingsTestStore store;
  QTemporaryDir outputDir;
  FakeRecordingControl recording;
  FakeContent content;
};

}  // namespace tk::test
