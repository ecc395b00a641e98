#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace tk {

// The application's answers to the desktop: closing the last window does not quit, and a reopen
// (a later launch of the application) brings the main window back. Main thread only.
class AppDelegate : public QObject {
  Q_OBJECT
 public:
  explicit AppDelegate(QObject* parent = nullptr);

  void applicationDidFinishLaunching() {}
  static bool applicationShouldTerminateAfterLastWindowClosed() { return false; }

  // The main window the delegate brings back; held, never looked up by title.
  void setMainWindow(QWidget* window) { mainWindow_ = window; }
  QWidget* mainWindow() const { return mainWindow_; }

  // Whether a recording is under way; while one is, a reopen leaves the bar closed.
  void setRecordingActivity(std::function<bool()> isRecording) { isRecording_ = std::move(isRecording); }

  // True when a window of the application is on screen (tray icons, menus and tooltips aside).
  static bool hasVisibleWindows();

  // The reopen rule. With a visible window, the default handling: those windows are raised, and
  // the main window shows too unless a recording is under way (true). Otherwise the main window
  // is shown, raised and activated (false); true when there is none.
  bool applicationShouldHandleReopen(bool hasVisibleWindows);

  // Reopen as the desktop asks for it, from the current windows.
  void reopen() { applicationShouldHandleReopen(hasVisibleWindows()); }

 private:
  void showMainWindow();

  QPointer<QWidget> mainWindow_;
  std::function<bool()> isRecording_;
};

}  // namespace tk
