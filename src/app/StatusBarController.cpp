#include "app/StatusBarController.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QToolTip>

#include "platform/qt/Diagnostics.h"
#include "recording/RecordingCoordinator.h"

namespace tk {

namespace {

std::unique_ptr<StatusBarController>& sharedStatusBarController() {
  // Left to the post routine, never to the static destructors: a process that exits from under Qt
  // (the X server gone) must not delete widgets after Qt's thread data.
  static auto* instance = new std::unique_ptr<StatusBarController>();
  return *instance;
}

QIcon recordIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(220, 30, 30));
  painter.setPen(QPen(Qt::white, 2));
  painter.drawEllipse(QRectF(4, 4, 24, 24));
  return QIcon(pixmap);
}

// The record glyph where the desktop's fonts draw it, else the filled circle nearly every font
// has, else no glyph: never a box.
std::string recordGlyph() {
  const QFontMetrics metrics(QToolTip::font());
  if (metrics.inFontUcs4(0x23FA)) return "⏺ ";
  if (metrics.inFontUcs4(0x25CF)) return "● ";
  return "";
}

QCoro::Task<void> stopFromMenu(QPointer<RecordingCoordinator> coordinator) {
  Diagnostics::line("⏹️ Stopping recording...");
  try {
    co_await coordinator->stopRecording();
    Diagnostics::line("✅ Recording stopped successfully");
  } catch (const std::exception& error) {
    // The coordinator tells the person (RecordingFailureAlert), with what was saved.
    Diagnostics::line(std::string("❌ Error stopping recording: ") + error.what());
  }
}

// Lets the menu act only on a button released after a press inside it: the press that opened the
// menu under the pointer must not choose the entry its release lands on.
class ClickGuard : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Show:
        pressed_ = false;
        break;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        pressed_ = true;
        break;
      case QEvent::MouseButtonRelease:
        if (!pressed_) return true;
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool pressed_ = false;
};

QString menuText(const char* text) {
  return QCoreApplication::translate("tk::StatusBarController", text);
}

}  // namespace

StatusBarController& StatusBarController::shared() {
  auto& instance = sharedStatusBarController();
  if (!instance) {
    instance = std::make_unique<StatusBarController>();
    RecordingShell::installStatusItem(instance.get());
    // The tray item must go before the application object does.
    qAddPostRoutine([] {
      RecordingShell::installStatusItem(nullptr);
      sharedStatusBarController().reset();
    });
  }
  return *instance;
}

StatusBarController::StatusBarController() = default;

RecordingCoordinator* StatusBarController::recordingCoordinator() const {
  return coordinator_;
}

StatusBarController::~StatusBarController() {
  if (RecordingShell::statusItem() == this) RecordingShell::installStatusItem(nullptr);
}

void StatusBarController::defer(std::function<void()> work) {
  QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

std::string StatusBarController::title() const {
  return recordGlyph() + recordingDuration_;
}

void StatusBarController::startRecording(RecordingCoordinator& coordinator) {
  coordinator_ = &coordinator;
  isRecording_ = true;
  isPaused_ = false;
  defer([this] {
    if (!statusItem_) {
      statusItem_ = std::make_unique<QSystemTrayIcon>(recordIcon());
      // Not the icon's context menu: the tray would open that one itself on a right press, besides
      // the activation below.
      buildMenu();
      QObject::connect(statusItem_.get(), &QSystemTrayIcon::activated, &context_,
                       [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
                           statusBarButtonClicked();
                       });
      statusItem_->show();
    }
    refreshButton();
  });
}

void StatusBarController::stopRecording() {
  isRecording_ = false;
  coordinator_ = nullptr;
  defer([this] {
    if (statusItem_) {
      statusItem_->hide();
      statusItem_.reset();
      titleAction_ = pauseAction_ = nullptr;
      menu_.reset();
      clickGuard_.reset();
    }
  });
}

void StatusBarController::updateDuration(const std::string& text) {
  defer([this, text] {
    recordingDuration_ = text;
    refreshButton();
  });
}

void StatusBarController::setPaused(bool paused) {
  defer([this, paused] {
    isPaused_ = paused;
    refreshButton();
  });
}

void StatusBarController::buildMenu() {
  menu_ = std::make_unique<QMenu>();
  clickGuard_ = std::make_unique<ClickGuard>();
  menu_->installEventFilter(clickGuard_.get());
  titleAction_ = menu_->addAction(QString());
  titleAction_->setEnabled(false);
  QObject::connect(menu_->addAction(menuText("Stop Recording")), &QAction::triggered, &context_,
                   [this] { handleStopFromMenu(); });
  pauseAction_ = menu_->addAction(QString());
  QObject::connect(pauseAction_, &QAction::triggered, &context_, [this] { handlePauseResumeFromMenu(); });
}

void StatusBarController::refreshButton() {
  if (!statusItem_ || !coordinator_) return;
  // No tooltip: under a tray at the screen's top it would drop over the floating panel's stop
  // button and take the click meant for it. The title heads the menu instead, changed in place.
  titleAction_->setText(QString::fromStdString(title()));
  pauseAction_->setText(menuText(isPaused_ ? "Resume Recording" : "Pause Recording"));
}

void StatusBarController::statusBarButtonClicked() {
  Diagnostics::line("📍 Status bar clicked");
  if (!statusItem_ || menu_->isVisible()) return;
  refreshButton();
  menu_->popup(QCursor::pos());
}

void StatusBarController::handleStopFromMenu() {
  Diagnostics::line("🛑 Stop button clicked");
  if (!coordinator_) {
    Diagnostics::line("❌ No recording coordinator");
    return;
  }
  stopFromMenu(coordinator_);
}

void StatusBarController::handlePauseResumeFromMenu() {
  Diagnostics::line("⏸️ Pause/Resume button clicked");
  if (!coordinator_) {
    Diagnostics::line("❌ No recording coordinator");
    return;
  }
  QPointer<RecordingCoordinator> coordinator = coordinator_;
  // Read the pause state when the work runs, as the menu entry may be stale by then.
  defer([this, coordinator] {
    if (!coordinator) return;
    try {
      if (!isPaused_) {
        Diagnostics::line("⏸️ Pausing recording...");
        coordinator->pauseRecording();
        Diagnostics::line("✅ Recording paused");
      } else {
        Diagnostics::line("▶️ Resuming recording...");
        coordinator->resumeRecording();
        Diagnostics::line("✅ Recording resumed");
      }
    } catch (const std::exception& error) {
      Diagnostics::line(std::string("❌ Error pausing/resuming recording: ") + error.what());
    }
  });
}

}  // namespace tk
