#include "app/FloatingRecordingPanelController.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "app/FloatingRecordingPanel.h"
#include "platform/qt/Diagnostics.h"
#include "platform/x11/NeverCapture.h"
#include "recording/RecordingCoordinator.h"
#include "recording/RecordingPreflight.h"

namespace tk {

namespace {

std::unique_ptr<FloatingRecordingPanelController>& sharedPanelController() {
  // Left to the post routine, never to the static destructors: a process that exits from under Qt
  // (the X server gone) must not delete widgets after Qt's thread data.
  static auto* instance = new std::unique_ptr<FloatingRecordingPanelController>();
  return *instance;
}

QCoro::Task<void> stopFromPanel(QPointer<RecordingCoordinator> coordinator) {
  try {
    co_await coordinator->stopRecording();
  } catch (const std::exception& error) {
    Diagnostics::line(std::string("❌ Error stopping recording: ") + error.what());
  }
}

}  // namespace

FloatingRecordingPanelController& FloatingRecordingPanelController::shared() {
  auto& instance = sharedPanelController();
  if (!instance) {
    instance = std::make_unique<FloatingRecordingPanelController>();
    RecordingShell::installPanel(instance.get());
    // Widgets must go before the application object does.
    qAddPostRoutine([] {
      RecordingShell::installPanel(nullptr);
      sharedPanelController().reset();
    });
  }
  return *instance;
}

FloatingRecordingPanelController::FloatingRecordingPanelController() = default;

RecordingCoordinator* FloatingRecordingPanelController::recordingCoordinator() const {
  return coordinator_;
}

FloatingRecordingPanelController::~FloatingRecordingPanelController() {
  if (RecordingShell::panel() == this) RecordingShell::installPanel(nullptr);
}

void FloatingRecordingPanelController::defer(std::function<void()> work) {
  QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

std::string FloatingRecordingPanelController::formatDuration(double seconds) {
  return RecordingPreflight::durationText(seconds);
}

void FloatingRecordingPanelController::show(RecordingCoordinator& coordinator) {
  QPointer<RecordingCoordinator> target = &coordinator;
  defer([this, target] {
    coordinator_ = target;
    isRecording_ = true;
    isPaused_ = false;
    recordingDuration_ = 0;
    problem_.clear();
    showPanel();
    startTimer();
  });
}

void FloatingRecordingPanelController::hide() {
  defer([this] {
    stopTimer();
    if (panel_) {
      panel_->close();
      panel_.reset();
    }
    isVisible_ = false;
    isRecording_ = false;
    coordinator_ = nullptr;
  });
}

void FloatingRecordingPanelController::setPaused(bool paused) {
  defer([this, paused] {
    isPaused_ = paused;
    if (paused)
      stopTimer();
    else
      startTimer();
    changed();
  });
}

void FloatingRecordingPanelController::showProblems(const std::vector<std::string>& problems) {
  std::string text = problems.empty() ? std::string() : problems.front();
  if (problems.size() > 1) text += "\nand " + std::to_string(problems.size() - 1) + " more";
  defer([this, text] {
    problem_ = text;
    changed();
  });
}

void FloatingRecordingPanelController::showPanel() {
  if (panel_) panel_->close();
  panel_ = std::make_unique<FloatingRecordingPanel>(*this);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect visible = screen->availableGeometry();
    panel_->move(visible.right() + 1 - FloatingRecordingPanel::kWidth, visible.top() + 20);
  }
  // Mark before mapping, so that not one captured frame shows the panel.
  try {
    markNeverCapture(panel_->winId());
  } catch (const std::exception& error) {
    Diagnostics::line(std::string("⚠️ Floating panel may appear in recordings: ") + error.what());
  }
  panel_->show();
  isVisible_ = true;
}

void FloatingRecordingPanelController::startTimer() {
  stopTimer();
  durationTimer_ = std::make_unique<QTimer>();
  durationTimer_->setInterval(100);
  // The time shown is the recording's own, so a pause costs it nothing.
  QObject::connect(durationTimer_.get(), &QTimer::timeout, &context_, [this] {
    if (isPaused_ || !coordinator_) return;
    const double duration = coordinator_->recordingDuration();
    if (std::floor(duration) == std::floor(recordingDuration_)) return;
    recordingDuration_ = duration;
    changed();
  });
  durationTimer_->start();
}

void FloatingRecordingPanelController::stopTimer() {
  durationTimer_.reset();
}

void FloatingRecordingPanelController::changed() {
  if (panel_) panel_->refresh();
}

void FloatingRecordingPanelController::stopClicked() {
  if (!coordinator_) return;
  stopFromPanel(coordinator_);
}

void FloatingRecordingPanelController::pauseResumeClicked() {
  if (!coordinator_) return;
  QPointer<RecordingCoordinator> coordinator = coordinator_;
  defer([this, coordinator] {
    if (!coordinator) return;
    try {
      if (!isPaused_) {
        coordinator->pauseRecording();
        setPaused(true);
      } else {
        coordinator->resumeRecording();
        setPaused(false);
      }
    } catch (const std::exception& error) {
      Diagnostics::line(std::string("❌ Error toggling pause: ") + error.what());
    }
  });
}

}  // namespace tk
