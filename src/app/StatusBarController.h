#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

#include "recording/RecordingShell.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tk {

class RecordingCoordinator;

// The tray status item of a running recording: a record icon whose menu is headed by the title
// (a record glyph the desktop's fonts have and the elapsed time) and offers "Stop Recording" and
// "Pause Recording" or "Resume Recording". A tray shows no text beside its icon, and a tooltip
// would cover the floating panel below the tray, so the title lives in the menu.
//
// The menu is built once per recording and its entries change their text in place, so the ten
// duration updates a second never disturb a menu the person has open. One activation opens it
// once, and a button release it did not see pressed (the release of the click that opened it)
// chooses nothing.
//
// Main thread only. Every change to the item is deferred to the next turns of the event loop, in
// call order, so that it happens after the caller's current work.
class StatusBarController : public RecordingShell::StatusItem {
 public:
  // The one instance, created on first use and installed for the coordinator.
  static StatusBarController& shared();

  StatusBarController();
  ~StatusBarController() override;

  void startRecording(RecordingCoordinator& coordinator) override;
  void stopRecording() override;
  void updateDuration(const std::string& text) override;
  void setPaused(bool paused) override;

  bool isRecording() const { return isRecording_; }
  bool isPaused() const { return isPaused_; }
  const std::string& recordingDuration() const { return recordingDuration_; }
  RecordingCoordinator* recordingCoordinator() const;
  // The tray item while one is shown.
  QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
  std::string title() const;

  // The item's click and the two menu entries.
  void statusBarButtonClicked();
  void handleStopFromMenu();
  void handlePauseResumeFromMenu();
  // The recording's menu while the item is shown.
  QMenu* menu() const { return menu_.get(); }

 private:
  void defer(std::function<void()> work);
  void buildMenu();
  void refreshButton();

  QObject context_;
  std::unique_ptr<QSystemTrayIcon> statusItem_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QObject> clickGuard_;
  QAction* titleAction_ = nullptr;
  QAction* pauseAction_ = nullptr;
  QPointer<RecordingCoordinator> coordinator_;
  bool isRecording_ = false;
  bool isPaused_ = false;
  std::string recordingDuration_ = "00:00";
};

}  // namespace tk
