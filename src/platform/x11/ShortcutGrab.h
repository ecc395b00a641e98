#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tk {

// A desktop-wide key shortcut: a passive grab of one letter key with Ctrl+Shift on the root
// window, on an X connection of its own read on the main thread. Extra Alt, Caps Lock and Num Lock
// are allowed, so the shortcut works whatever lock keys are on. The grabbed key presses go to us
// and to no other application. Made, used and destroyed on the main thread.
class ShortcutGrab {
 public:
  // The key as it reached us: the modifiers held besides Ctrl+Shift.
  struct Press {
    bool alt = false;
  };
  using Handler = std::function<void(const Press&)>;

  // `letter` is a lower-case Latin letter. Null with `error` filled when there is no display or
  // another client holds the same grab.
  static std::unique_ptr<ShortcutGrab> grab(char letter, Handler handler,
                                            std::string* error = nullptr);
  ~ShortcutGrab();
  ShortcutGrab(const ShortcutGrab&) = delete;
  ShortcutGrab& operator=(const ShortcutGrab&) = delete;

 private:
  struct State;
  explicit ShortcutGrab(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace tk
