#include "editor_ui/WindowAccessor.h"

#include <QEvent>
#include <QTimer>

namespace tk {

WindowAccessor::WindowAccessor(QWidget* view) : QObject(view), view_(view) {
  QTimer::singleShot(0, this, [this] { attempt(0); });
}

void WindowAccessor::attempt(int n) {
  attempts_ = n + 1;
  QWidget* window = view_ ? view_->window() : nullptr;
  // A view is in a window once it has a top-level ancestor other than itself.
  if (window && window != view_) {
    window_ = window;
    if (onWindowOpen) onWindowOpen(window);
    window->installEventFilter(this);
    return;
  }
  if (n < kLastAttempt) QTimer::singleShot(50, this, [this, n] { attempt(n + 1); });
}

bool WindowAccessor::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_) return false;
  switch (event->type()) {
    case QEvent::WindowActivate:
      if (onWindowActive) onWindowActive(window_);
      break;
    case QEvent::WindowDeactivate:
      if (onWindowDeactivate) onWindowDeactivate(window_);
      break;
    case QEvent::Close:
      if (shouldClose && !shouldClose()) {
        event->ignore();
        return true;
      }
      if (onWindowClose) onWindowClose();
      break;
    default:
      break;
  }
  return false;
}

}  // namespace tk
