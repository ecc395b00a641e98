#include "ui/WheelGuard.h"

#include <QEvent>
#include <QWidget>

namespace tk {

void WheelGuard::install(QWidget* control) {
  static WheelGuard* guard = new WheelGuard();  // shared by every control, for the whole run
  control->setFocusPolicy(Qt::StrongFocus);
  control->installEventFilter(guard);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Wheel) return false;
  auto* control = static_cast<QWidget*>(watched);
  if (control->hasFocus()) return false;
  // Not handled here: the event goes on to the parent, so the page scrolls.
  event->ignore();
  return true;
}

}  // namespace tk
