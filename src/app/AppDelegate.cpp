#include "app/AppDelegate.h"

#include <QApplication>

namespace tk {

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
  QApplication::setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed());
}

bool AppDelegate::hasVisibleWindows() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->isWindow() && !widget->windowTitle().isEmpty()) return true;
  }
  return false;
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
  if (hasVisibleWindows) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->isVisible() && !widget->windowTitle().isEmpty()) widget->raise();
    }
    return true;
  }
  if (!mainWindow_) return true;
  mainWindow_->show();
  mainWindow_->raise();
  mainWindow_->activateWindow();
  return false;
}

}  // namespace tk
