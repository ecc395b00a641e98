#include "app/AppDelegate.h"

#include <QApplication>

namespace tk {

namespace {

// Windows a person sees as the application's: not the tray icons Qt makes as windows of their
// own, not menus, tooltips or other popups.
bool isShownWindow(const QWidget* widget) {
  if (!widget->isWindow() || !widget->isVisible() || widget->testAttribute(Qt::WA_DontShowOnScreen))
    return false;
  if (widget->inherits("QSystemTrayIconSys")) return false;
  switch (widget->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::Desktop:
      return false;
    default:
      return true;
  }
}

}  // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
  QApplication::setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed());
}

bool AppDelegate::hasVisibleWindows() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (isShownWindow(widget)) return true;
  }
  return false;
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
  if (hasVisibleWindows) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (isShownWindow(widget)) widget->raise();
    }
    // Editor windows open do not keep a person from the bar and a new recording; a recording
    // under way does (its panel is the way back).
    if (mainWindow_ && !mainWindow_->isVisible() && !(isRecording_ && isRecording_())) showMainWindow();
    return true;
  }
  if (!mainWindow_) return true;
  showMainWindow();
  return false;
}

void AppDelegate::showMainWindow() {
  mainWindow_->show();
  mainWindow_->raise();
  mainWindow_->activateWindow();
}

}  // namespace tk
