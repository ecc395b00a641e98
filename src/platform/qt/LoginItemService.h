#pragma once

#include <QString>

namespace tk {

// Launching the application when the user logs in, as the desktop does it: an XDG autostart entry
// ("<config home>/autostart/<id>.desktop") that runs our program. Registering writes the entry
// whole (never a half-written file); unregistering removes it. Main thread only.
class LoginItemService {
 public:
  enum class Status { notRegistered, enabled };

  // The running program, under the application's desktop id, in the user's config home
  // ($XDG_CONFIG_HOME, else ~/.config).
  static LoginItemService mainApp();
  LoginItemService(QString entryPath, QString executable, QString name);

  const QString& entryPath() const { return entryPath_; }
  // Enabled when the entry is there and the desktop would run it (not hidden, not switched off).
  Status status() const;

  // Both throw PlatformError (domain "LoginItemService") with the file operation that failed.
  void registerApp() const;
  void unregisterApp() const;

 private:
  QString entryPath_;
  QString executable_;
  QString name_;
};

}  // namespace tk
