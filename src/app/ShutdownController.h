#pragma once

#include <QCoroTask>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace tk {

class RecordingCoordinator;

// Ends the application without losing a recording. SIGTERM, SIGINT and SIGHUP finish a running
// recording (movie, package or audio files, and the metadata), or give up one still counting down,
// and then quit; the end of the desktop session and a quit during a recording finish it before the
// application goes on; a process that exits from under Qt (the X server went away) finishes it on
// the way out.
//
// One per process, created on the main thread before the event loop runs; main thread only.
class ShutdownController : public QObject {
  Q_OBJECT
 public:
  explicit ShutdownController(RecordingCoordinator& coordinator);
  ~ShutdownController() override;

 private:
  void onSignal();
  bool isRecording() const;
  QCoro::Task<void> finishThenQuit();
  // Asks every window to close, the editors before the rest, and quits once they have. A window that
  // asks the person first (unsaved edits) keeps the quit pending, and the windows not yet asked
  // open: the quit goes on once that window has closed, and is dropped when the person keeps the
  // window, so that the next signal is handled afresh.
  void quitUnlessKept();
  // Finishes a running recording and returns once it is finished, handling events meanwhile.
  void finishNow();
  static void finishAtExit();

  RecordingCoordinator& coordinator_;
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  bool quitting_ = false;
};

}  // namespace tk
