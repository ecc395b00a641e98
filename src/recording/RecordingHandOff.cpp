#include "recording/RecordingHandOff.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

#include "platform/qt/Diagnostics.h"
#include "recording/RecordingShell.h"

namespace tk {

namespace {
constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";

QUrl fileUrl(const std::filesystem::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }
}  // namespace

bool RecordingHandOff::revealInFileManager(const std::filesystem::path& item) {
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

void RecordingHandOff::open(const std::filesystem::path& result, const std::filesystem::path& editorMovie,
                            bool openInEditor) {
  if (openInEditor) {
    Diagnostics::line("✂️ Opening video trimmer for: " + editorMovie.filename().string());
    if (auto* editor = RecordingShell::editor()) {
      editor->openTrimmer(editorMovie);
      return;
    }
    Diagnostics::line("⚠️ No editor available; opening the recording instead");
  }
  QDesktopServices::openUrl(fileUrl(result));
  if (!revealInFileManager(result)) QDesktopServices::openUrl(fileUrl(result.parent_path()));
}

}  // namespace tk
