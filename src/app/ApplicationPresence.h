#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QSystemTrayIcon;

namespace tk {

class AppDelegate;

// Keeps a running application within reach. Whenever none of its windows is shown and the
// application is listed in the taskbar (the "Show tavelkombrix in Taskbar" setting), its icon sits
// in the tray, and a click on it reopens the main bar through the delegate's reopen rule. When an
// alert is dismissed and nothing else of the application is on screen, the bar comes back by
// itself: a failed start never leaves a person with nothing.
//
// Main thread only. Watches every window's showing and hiding, and decides one event-loop turn
// later, once the windows have settled.
class ApplicationPresence : public QObject {
  Q_OBJECT
 public:
  explicit ApplicationPresence(AppDelegate& delegate);
  ~ApplicationPresence() override;

  // The tray icon while it is shown, else null.
  QSystemTrayIcon* icon() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void releaseMemory();
  void scheduleUpdate();
  void update();

  AppDelegate& delegate_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  bool updateScheduled_ = false;
  bool alertDismissed_ = false;
};

}  // namespace tk
