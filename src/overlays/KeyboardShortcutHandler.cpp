#include "overlays/KeyboardShortcutHandler.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include "platform/qt/Diagnostics.h"
#include "platform/x11/ShortcutGrab.h"

namespace tk {

KeyboardShortcutHandler::KeyboardShortcutHandler() = default;
KeyboardShortcutHandler::~KeyboardShortcutHandler() = default;

KeyboardShortcutHandler& KeyboardShortcutHandler::shared() {
  // Deliberately never destroyed: actions and the grab live for the whole process, and the
  // instance must outlive every QObject that could still send it key events.
  static KeyboardShortcutHandler* instance = new KeyboardShortcutHandler();
  return *instance;
}

void KeyboardShortcutHandler::registerShortcut(ShortcutKey key, Action action) {
  handlers_[key] = std::move(action);
}

void KeyboardShortcutHandler::startShortcutMonitoring() {
  if (!filterInstalled_ && QCoreApplication::instance()) {
    QCoreApplication::instance()->installEventFilter(this);
    filterInstalled_ = true;
  }
  if (!grab_) {
    std::string error;
    grab_ = ShortcutGrab::grab(
        'm',
        [this](const ShortcutGrab::Press& press) {
          Qt::KeyboardModifiers modifiers = Qt::ControlModifier | Qt::ShiftModifier;
          if (press.alt) modifiers |= Qt::AltModifier;
          handleShortcutEvent({Qt::Key_M, modifiers});
        },
        &error);
    if (!grab_) Diagnostics::line("⚠️ KeyboardShortcutHandler: Ctrl+Shift+M unavailable: " + error);
  }
}

void KeyboardShortcutHandler::stopShortcutMonitoring() {
  grab_.reset();
}

std::optional<KeyboardShortcutHandler::ShortcutKey> KeyboardShortcutHandler::recognise(
    const KeyPress& press) {
  const Qt::KeyboardModifiers required = Qt::ControlModifier | Qt::ShiftModifier;
  if ((press.modifiers & required) != required) return std::nullopt;
  switch (press.key) {
    case Qt::Key_M:
      return ShortcutKey::toggleMagnifier;
    case Qt::Key_S:
      return ShortcutKey::stopRecording;
    case Qt::Key_P:
      return ShortcutKey::pauseResume;
    case Qt::Key_F:
      return ShortcutKey::saveFrame;
    default:
      return std::nullopt;
  }
}

bool KeyboardShortcutHandler::handleShortcutEvent(const KeyPress& press) {
  const std::optional<ShortcutKey> shortcut = recognise(press);
  if (!shortcut) return false;
  const auto found = handlers_.find(*shortcut);
  if (found != handlers_.end() && found->second) {
    // A copy, so an action that registers a new one for its own key runs to its end.
    const Action action = found->second;
    action();
  }
  return true;
}

bool KeyboardShortcutHandler::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (handleShortcutEvent({key->key(), key->modifiers()})) return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tk
