#pragma once

#include <QObject>
#include <memory>

#include "app/AppDelegate.h"
#include "app/SingleInstanceChannel.h"
#include "recording/RecordingServices.h"

namespace tk {

class ApplicationPresence;
class ModeSelectionView;
class PersistenceController;
class SettingsView;

// The application: the main window bar and the settings window, the delegate's rules, the store
// and the services the windows work with. One per process, on the main thread.
class tavelkombrixApp : public QObject {
  Q_OBJECT
 public:
  explicit tavelkombrixApp(QString instanceSocket = {});
  ~tavelkombrixApp() override;

  // Hands over to a running instance (true: this launch should exit), or becomes the running one.
  bool handOverToRunningInstance();
  // Opens the store and shows the main window, configured as a bar and centred. `services` drive
  // the main window; the application fills in the settings and quit hooks. In the background it
  // removes the leftovers that runs which were killed listed as theirs (LeftoverFiles).
  void launch(ModeSelectionServices services);

  ModeSelectionView* mainWindow() const { return mainWindow_.get(); }
  SettingsView* settingsWindow() const { return settingsWindow_.get(); }
  ApplicationPresence* presence() const { return presence_.get(); }
  AppDelegate& delegate() { return delegate_; }

  // Shows the settings window at "General"; closed, it is released.
  void openSettings();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void removeLeftovers();

  AppDelegate delegate_;
  SingleInstanceChannel channel_;
  PersistenceController* persistenceController_ = nullptr;
  std::unique_ptr<ModeSelectionView> mainWindow_;
  std::unique_ptr<SettingsView> settingsWindow_;
  std::unique_ptr<ApplicationPresence> presence_;
};

}  // namespace tk
