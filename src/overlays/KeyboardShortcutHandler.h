#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "platform/json/EnumTable.h"

namespace tk {

class ShortcutGrab;

// The application's recording shortcuts: Ctrl+Shift with M (magnifier), S (stop), P (pause or
// resume) and F (save frame); other modifiers may be held as well. Ctrl+Shift+M is grabbed on the
// whole desktop while monitoring runs (a recording), so it works while another application is
// active, and released when it stops, so other programs have the key back; the
// others are seen only while they go to this application's own windows. A recognised shortcut is
// swallowed, and calls the action registered for it when there is one.
// Main thread: the grab and the application's key events are read there and actions run there.
class KeyboardShortcutHandler : public QObject {
  Q_OBJECT
 public:
  enum class ShortcutKey { toggleMagnifier, startRecording, stopRecording, pauseResume, saveFrame };
  using Action = std::function<void()>;

  // A key press as the handler judges it: a Qt key code and the modifiers held.
  struct KeyPress {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
  };

  // The one instance, made on first use and kept for the life of the process.
  static KeyboardShortcutHandler& shared();

  // Stores the action under `key`, replacing any earlier one.
  void registerShortcut(ShortcutKey key, Action action);
  bool hasAction(ShortcutKey key) const { return handlers_.count(key) != 0; }

  // Installs the monitoring if it is not installed yet; later calls leave it in place. When the
  // desktop-wide grab cannot be had (another program holds it), the next call tries again.
  void startShortcutMonitoring();
  // Releases the desktop-wide grab; the actions stay registered.
  void stopShortcutMonitoring();
  bool isMonitoring() const { return filterInstalled_; }
  bool holdsDesktopGrab() const { return grab_ != nullptr; }

  // Which shortcut a key press is, if any.
  static std::optional<ShortcutKey> recognise(const KeyPress& press);
  // Returns true when the press was a shortcut (it is swallowed), after calling its action.
  bool handleShortcutEvent(const KeyPress& press);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  KeyboardShortcutHandler();
  ~KeyboardShortcutHandler() override;

  std::map<ShortcutKey, Action> handlers_;
  std::unique_ptr<ShortcutGrab> grab_;
  bool filterInstalled_ = false;
};

template <>
struct EnumTable<KeyboardShortcutHandler::ShortcutKey> {
  using Key = KeyboardShortcutHandler::ShortcutKey;
  static constexpr std::array<std::pair<Key, std::string_view>, 5> entries{{
      {Key::toggleMagnifier, "toggleMagnifier"},
      {Key::startRecording, "startRecording"},
      {Key::stopRecording, "stopRecording"},
      {Key::pauseResume, "pauseResume"},
      {Key::saveFrame, "saveFrame"},
  }};
};

}  // namespace tk
