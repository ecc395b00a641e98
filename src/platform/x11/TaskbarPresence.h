#pragma once

#include <QObject>

class QWidget;

namespace tk {

// Whether the application's windows show in the desktop's taskbar. Off, each of our windows
// carries the window manager's skip-taskbar state; on, none does. Applies to the windows open now
// and to every window shown later. Without an X display it only remembers the choice.
// Main thread only.
class TaskbarPresence : public QObject {
  Q_OBJECT
 public:
  static TaskbarPresence& shared();

  bool isShown() const { return shown_; }
  void setShown(bool shown);

  // Whether the server currently holds the skip-taskbar state on `windowId` (false without X).
  static bool skipsTaskbar(unsigned long windowId);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TaskbarPresence();
  void apply(QWidget* window, bool mapped) const;

  bool shown_ = true;
};

}  // namespace tk
