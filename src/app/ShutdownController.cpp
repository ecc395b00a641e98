#include "app/ShutdownController.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QCoroSignal>
#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdlib>

#include "editor_ui/VideoTrimmerManager.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "recording/RecordingCoordinator.h"

namespace tk {

namespace {

// The write end of the self-pipe; a signal handler may only write to it.
std::atomic<int> signalPipe{-1};
ShutdownController* liveController = nullptr;
RecordingCoordinator* liveCoordinator = nullptr;

void onTerminationSignal(int number) {
  const int fd = signalPipe.load();
  if (fd < 0) return;
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] ssize_t written = ::write(fd, &byte, 1);
  errno = saved;
}

}  // namespace

ShutdownController::ShutdownController(RecordingCoordinator& coordinator) : coordinator_(coordinator) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) == 0) {
    signalPipe = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { onSignal(); });
    struct sigaction action {};
    action.sa_handler = &onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
  } else {
    Diagnostics::line("⚠️ Termination signals will end recordings without saving them");
  }
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // The session is ending: finish before the session manager is told we are done.
    connect(application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { finishNow(); });
  }
  if (qApp) connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { finishNow(); });
  if (!liveController) {
    static bool registered = false;
    if (!registered) std::atexit(&ShutdownController::finishAtExit);
    registered = true;
  }
  liveController = this;
  liveCoordinator = &coordinator_;
}

ShutdownController::~ShutdownController() {
  if (liveController == this) {
    liveController = nullptr;
    liveCoordinator = nullptr;
  }
  if (pipe_[1] >= 0) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
    signalPipe = -1;
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
  }
}

bool ShutdownController::isRecording() const {
  auto kind = coordinator_.recordingState().kind();
  return kind == RecordingState::Kind::recording || kind == RecordingState::Kind::paused ||
         kind == RecordingState::Kind::finalizing;
}

void ShutdownController::onSignal() {
  char bytes[16];
  ssize_t count = ::read(pipe_[0], bytes, sizeof bytes);
  if (count <= 0 || quitting_) return;
  quitting_ = true;
  Diagnostics::line("🛑 Received signal " + formatInt(bytes[0]) + "; finishing before quitting");
  finishThenQuit();
}

QCoro::Task<void> ShutdownController::finishThenQuit() {
  QPointer<ShutdownController> self(this);
  // A take still starting (counting down) has nothing to keep: it goes with its prepared files.
  try {
    co_await coordinator_.cancelStart();
  } catch (...) {
    Diagnostics::line("❌ Error giving up the recording: " + describeException(std::current_exception()));
  }
  if (!self) co_return;
  if (coordinator_.recordingState().kind() == RecordingState::Kind::recording ||
      coordinator_.recordingState().kind() == RecordingState::Kind::paused) {
    try {
      co_await coordinator_.stopRecording();
    } catch (...) {
      Diagnostics::line("❌ Error stopping recording: " + describeException(std::current_exception()));
    }
  }
  // A finish already under way (a stop, a failure) is waited for.
  while (self && coordinator_.recordingState().kind() == RecordingState::Kind::finalizing) {
    co_await qCoro(&coordinator_, &RecordingCoordinator::recordingStateChanged);
  }
  if (self) quitUnlessKept();
}

void ShutdownController::quitUnlessKept() {
  // Qt closes the windows in no set order: the bar could go before an editor asks about its edits,
  // and stay gone when the person keeps them. The editors answer first.
  if (VideoTrimmerManager::shared().closeAll()) {
    // What quit() does, with its answer kept: a window may still refuse its close event.
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    if (quit.isAccepted()) return;
  }
  // The window that refused asks the person first; the answer decides whether the quit goes on.
  auto* question = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (!question) {
    quitting_ = false;
    return;
  }
  connect(question, &QDialog::finished, this, [this, question](int result) {
    auto* box = qobject_cast<QMessageBox*>(question);
    const bool kept =
        box ? box->buttonRole(box->clickedButton()) == QMessageBox::RejectRole : result == QDialog::Rejected;
    if (kept) {
      quitting_ = false;
      return;
    }
    // Once the answer has been acted on, the window lets itself close.
    QTimer::singleShot(0, this, &ShutdownController::quitUnlessKept);
  });
}

void ShutdownController::finishNow() {
  if (!isRecording()) return;
  bool done = false;
  [](ShutdownController* self, bool& done) -> QCoro::Task<void> {
    auto& coordinator = self->coordinator_;
    if (coordinator.recordingState().kind() != RecordingState::Kind::finalizing) {
      try {
        co_await coordinator.stopRecording();
      } catch (...) {
      }
    }
    while (coordinator.recordingState().kind() == RecordingState::Kind::finalizing)
      co_await qCoro(&coordinator, &RecordingCoordinator::recordingStateChanged);
    done = true;
  }(this, done);
  while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void ShutdownController::finishAtExit() {
  // Runs before the static objects go; the application object is still there.
  if (liveCoordinator) liveCoordinator->finishBeforeExit();
}

}  // namespace tk
