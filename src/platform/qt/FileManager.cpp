#include "platform/qt/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

namespace tk {

namespace {
constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";

QUrl fileUrl(const std::filesystem::path& path) {
  return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}
}  // namespace

bool FileManager::openWithDefaultApplication(const std::filesystem::path& item) {
  return QDesktopServices::openUrl(fileUrl(item));
}

bool FileManager::revealItem(const std::filesystem::path& item) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  QStringList offered = bus.interface()->registeredServiceNames().value();
  offered += bus.interface()->activatableServiceNames().value();
  if (!offered.contains(kFileManagerService)) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, "/org/freedesktop/FileManager1",
                                                     kFileManagerService, "ShowItems");
  call << QStringList{fileUrl(item).toString()} << QString();
  return bus.send(call);
}

bool FileManager::reveal(const std::filesystem::path& item) {
  return revealItem(item) || QDesktopServices::openUrl(fileUrl(item.parent_path()));
}

}  // namespace tk
