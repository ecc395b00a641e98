#include "app/tavelkombrixApp.h"

#include <QApplication>

#include "app/ModeSelectionView.h"
#include "app/PersistenceController.h"
#include "app/WindowConfigurator.h"
#include "settings/SettingsView.h"

namespace tk {

tavelkombrixApp::tavelkombrixApp(ModeSelectionServices services, QString instanceSocket)
    : services_(std::move(services)), channel_(std::move(instanceSocket)) {
  if (!services_.openSettings) services_.openSettings = [this] { openSettings(); };
  if (!services_.quit) services_.quit = [] { QApplication::quit(); };
  connect(&channel_, &SingleInstanceChannel::reopenRequested, this, [this] { delegate_.reopen(); });
}

tavelkombrixApp::~tavelkombrixApp() = default;

bool tavelkombrixApp::handOverToRunningInstance() {
  return channel_.claim() == SingleInstanceChannel::Role::secondary;
}

void tavelkombrixApp::launch() {
  persistenceController_ = &PersistenceController::shared();
  mainWindow_ = std::make_unique<ModeSelectionView>(services_);
  delegate_.setMainWindow(mainWindow_.get());
  WindowConfigurator::configure(mainWindow_.get());
  mainWindow_->show();
  delegate_.applicationDidFinishLaunching();
}

void tavelkombrixApp::openSettings() {
  if (!settingsWindow_) settingsWindow_ = std::make_unique<SettingsView>(QStringLiteral("General"));
  settingsWindow_->show();
  settingsWindow_->raise();
  settingsWindow_->activateWindow();
}

}  // namespace tk
