#include "platform/qt/LoginItemService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/media/Error.h"
#include "platform/qt/DesktopEntry.h"

namespace tk {

namespace {

[[noreturn]] void fail(int code, const QString& what) {
  throw PlatformError("LoginItemService", code, what.toStdString());
}

}  // namespace

LoginItemService LoginItemService::mainApp() {
  const QString id = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("tavelkombrix")
                                                                   : QCoreApplication::applicationName();
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return LoginItemService(config + "/autostart/" + id + ".desktop", QCoreApplication::applicationFilePath(),
                          id);
}

LoginItemService::LoginItemService(QString entryPath, QString executable, QString name)
    : entryPath_(std::move(entryPath)), executable_(std::move(executable)), name_(std::move(name)) {}

LoginItemService::Status LoginItemService::status() const {
  const auto entry = DesktopEntry::read(entryPath_);
  if (!entry || entry->hidden || !entry->autostartEnabled || entry->exec.isEmpty())
    return Status::notRegistered;
  return Status::enabled;
}

void LoginItemService::registerApp() const {
  const QString folder = QFileInfo(entryPath_).absolutePath();
  if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) fail(1, "Could not create the folder " + folder);
  QSaveFile file(entryPath_);
  if (!file.open(QIODevice::WriteOnly)) fail(2, "Could not write " + entryPath_ + ": " + file.errorString());
  const QString text = QStringLiteral(
                           "[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=%1\n"
                           "Exec=%2\n"
                           "Icon=%3\n"
                           "Terminal=false\n"
                           "X-GNOME-Autostart-enabled=true\n")
                           .arg(name_, DesktopEntry::quoteExecWord(executable_), name_);
  file.write(text.toUtf8());
  if (!file.commit()) fail(2, "Could not write " + entryPath_ + ": " + file.errorString());
}

void LoginItemService::unregisterApp() const {
  QFileInfo info(entryPath_);
  if (!info.exists() && !info.isSymLink()) return;
  QFile file(entryPath_);
  if (!file.remove()) fail(3, "Could not remove " + entryPath_ + ": " + file.errorString());
}

}  // namespace tk
