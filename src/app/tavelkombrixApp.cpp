#include "app/tavelkombrixApp.h"

#include <QApplication>
#include <QEvent>
#include <QtConcurrent/QtConcurrentRun>

#include "app/ApplicationPresence.h"
#include "app/ModeSelectionView.h"
#include "app/PersistenceController.h"
#include "app/WindowConfigurator.h"
#include "platform/ffmpeg/LeftoverFiles.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/MemoryRelease.h"
#include "platform/x11/TaskbarPresence.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsView.h"
#include "ui/AccessibleNaming.h"

namespace tk {

tavelkombrixApp::tavelkombrixApp(QString instanceSocket) : channel_(std::move(instanceSocket)) {
  AccessibleNaming::install();
  connect(&channel_, &SingleInstanceChannel::reopenRequested, this, [this] { delegate_.reopen(); });
}

tavelkombrixApp::~tavelkombrixApp() = default;

bool tavelkombrixApp::handOverToRunningInstance() {
  return channel_.claim() == SingleInstanceChannel::Role::secondary;
}

void tavelkombrixApp::launch(ModeSelectionServices services) {
  if (!services.openSettings) services.openSettings = [this] { openSettings(); };
  if (!services.quit) services.quit = [] { QApplication::quit(); };
  persistenceController_ = &PersistenceController::shared();
  removeLeftovers();
  // The stored taskbar choice holds for every window from the first one on.
  TaskbarPresence::shared().setShown(settings::showInDock.read());
  if (RecordingControl* recording = services.recording) {
    delegate_.setRecordingActivity(
        [recording] { return recording->activity() != RecordingControl::Activity::idle; });
  }
  mainWindow_ = std::make_unique<ModeSelectionView>(std::move(services));
  delegate_.setMainWindow(mainWindow_.get());
  presence_ = std::make_unique<ApplicationPresence>(delegate_);
  WindowConfigurator::configure(mainWindow_.get());
  mainWindow_->show();
  delegate_.applicationDidFinishLaunching();
}

void tavelkombrixApp::removeLeftovers() {
  // The working files, partial exports and disk reserves that runs which were killed listed as
  // theirs; those of a running process stay, and a take cut short is kept under its name.
  (void)QtConcurrent::run([] {
    const auto swept = LeftoverFiles::removeStale();
    for (const auto& take : swept.kept)
      Diagnostics::line("🎬 Kept the recording of an interrupted run: " + take.from.string() + " is now " +
                        take.to.string());
    for (const auto& file : swept.removed)
      Diagnostics::line("🧹 Removed a leftover of an interrupted run: " + file.string());
  });
}

void tavelkombrixApp::openSettings() {
  if (!settingsWindow_) {
    settingsWindow_ = std::make_unique<SettingsView>(QStringLiteral("General"));
    settingsWindow_->installEventFilter(this);
  }
  settingsWindow_->show();
  settingsWindow_->raise();
  settingsWindow_->activateWindow();
}

bool tavelkombrixApp::eventFilter(QObject* watched, QEvent* event) {
  // A closed settings window is let go (once the close is handled), with what it held; the next
  // opening makes a new one.
  if (event->type() == QEvent::Close && settingsWindow_ && watched == settingsWindow_.get()) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!settingsWindow_ || settingsWindow_->isVisible()) return;
          settingsWindow_.reset();
          MemoryRelease::trim();
        },
        Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tk
