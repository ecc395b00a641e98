#include "ui/AccessibleNaming.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>

namespace tk {

namespace {

// Marks a name that came from the tooltip, so a later tooltip replaces it and an explicit name
// never is.
constexpr const char* kFromToolTip = "tk_accessibleNameFromToolTip";

void nameFromToolTip(QAbstractButton* button) {
  const bool derived = button->property(kFromToolTip).toBool();
  if (!button->accessibleName().isEmpty() && !derived) return;
  const QString tip = button->toolTip();
  if (tip.isEmpty() && !derived) return;
  button->setAccessibleName(tip);
  button->setProperty(kFromToolTip, !tip.isEmpty());
}

}  // namespace

void AccessibleNaming::install() {
  static QObject* installed = nullptr;
  if (!qApp || installed) return;
  installed = new AccessibleNaming(qApp);
  qApp->installEventFilter(installed);
}

bool AccessibleNaming::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::Polish || type == QEvent::ToolTipChange) {
    if (auto* button = qobject_cast<QAbstractButton*>(watched)) nameFromToolTip(button);
  }
  return false;
}

}  // namespace tk
