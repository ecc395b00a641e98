#include "platform/qt/FileManager.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace tk {

namespace {
constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";

QUrl fileUrl(const std::filesystem::path& path) {
  return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

void tellLater(FileManager::Outcome outcome, bool done) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [outcome = std::move(outcome), done] { outcome(done); },
      Qt::QueuedConnection);
}

// Runs the desktop's opener on `url` and tells whether it succeeded. Qt's own launch starts the
// opener and forgets it, so an opener that fails (no application for the type, a broken
// configuration) would count as done and the person would never learn where the file went.
void launch(const QUrl& url, FileManager::Outcome outcome) {
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    // No xdg-open: Qt's own look-up of a launcher, which says at once whether it found one.
    tellLater(std::move(outcome), QDesktopServices::openUrl(url));
    return;
  }
  auto* process = new QProcess(QCoreApplication::instance());
  process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process->setStandardOutputFile(QProcess::nullDevice());
  auto told = std::make_shared<bool>(false);
  auto tell = [outcome = std::move(outcome), told, process](bool done) {
    if (*told) return;
    *told = true;
    process->deleteLater();
    outcome(done);
  };
  QObject::connect(process, &QProcess::finished, process,
                   [process, tell](int code, QProcess::ExitStatus status) {
                     tell(status == QProcess::NormalExit && code == 0);
                   });
  QObject::connect(process, &QProcess::errorOccurred, process, [tell](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) tell(false);
  });
  process->start(opener, {url.toString()});
}
}  // namespace

bool FileManager::openWithDefaultApplication(const std::filesystem::path& item) {
  return QDesktopServices::openUrl(fileUrl(item));
}

void FileManager::openWithDefaultApplication(const std::filesystem::path& item, Outcome outcome) {
  launch(fileUrl(item), std::move(outcome));
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

void FileManager::reveal(const std::filesystem::path& item, Outcome outcome) {
  if (revealItem(item)) {
    tellLater(std::move(outcome), true);
    return;
  }
  launch(fileUrl(item.parent_path()), std::move(outcome));
}

}  // namespace tk
