#include "app/tavelkombrixApp.h"

#include <QApplication>
#include <QtConcurrent/QtConcurrentRun>

#include "app/ModeSelectionView.h"
#include "app/PersistenceController.h"
#include "app/WindowConfigurator.h"
#include "platform/ffmpeg/LeftoverFiles.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"
#include "platform/x11/TaskbarPresence.h"
#include "settings/RecordingConfigurationBuilder.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsView.h"

namespace tk {

tavelkombrixApp::tavelkombrixApp(QString instanceSocket) : channel_(std::move(instanceSocket)) {
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
  mainWindow_ = std::make_unique<ModeSelectionView>(std::move(services));
  delegate_.setMainWindow(mainWindow_.get());
  WindowConfigurator::configure(mainWindow_.get());
  mainWindow_->show();
  delegate_.applicationDidFinishLaunching();
}

void tavelkombrixApp::removeLeftovers() {
  // Partial exports and disk reserves of runs that were killed; those of a running process stay.
  const auto folder = RecordingConfigurationBuilder::outputDirectory(SettingsStore::standard());
  (void)QtConcurrent::run([folder] {
    for (const auto& file : LeftoverFiles::removeStale(folder))
      Diagnostics::line("🧹 Removed a leftover of an interrupted run: " + file.string());
  });
}

void tavelkombrixApp::openSettings() {
  if (!settingsWindow_) settingsWindow_ = std::make_unique<SettingsView>(QStringLiteral("General"));
  settingsWindow_->show();
  settingsWindow_->raise();
  settingsWindow_->activateWindow();
}

}  // namespace tk
