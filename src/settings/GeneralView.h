#pragma once

#include <QWidget>

#include "platform/qt/LoginItemService.h"

class QLabel;

namespace tk {

class SToggle;

// The General tab: launch at login, the taskbar presence of our windows, the tray switch and the
// version line. Main thread only.
class GeneralView : public QWidget {
  Q_OBJECT
 public:
  explicit GeneralView(QWidget* parent = nullptr);
  // With a login item service of its own (tests use one in a private config home).
  GeneralView(LoginItemService loginItem, QWidget* parent = nullptr);

  bool launchAtLogin() const { return launchAtLogin_; }
  SToggle* launchAtLoginToggle() const { return launchAtLoginToggle_; }
  SToggle* showInDockToggle() const { return showInDockToggle_; }
  SToggle* showInMenuBarToggle() const { return showInMenuBarToggle_; }
  // Null when the application has no version.
  QLabel* versionLabel() const { return version_; }

  // Reads the login item's real state into the switch.
  void refreshLaunchAtLogin();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void changeLaunchAtLogin(bool on);
  static void changeShowInDock(QWidget* window, bool shown);

  LoginItemService loginItem_;
  bool launchAtLogin_ = false;
  SToggle* launchAtLoginToggle_ = nullptr;
  SToggle* showInDockToggle_ = nullptr;
  SToggle* showInMenuBarToggle_ = nullptr;
  QLabel* version_ = nullptr;
};

}  // namespace tk
