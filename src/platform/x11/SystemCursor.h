#pragma once

namespace tk {

// Hides and shows the system pointer through XFixes. Calls are counted: the pointer shows again
// only when every hide() has had its show(). The X server ties a hide to the connection that asked
// for it, so the one connection used here stays open for the life of the process; when the process
// ends the pointer comes back by itself. Any thread may call any function.
class SystemCursor {
 public:
  // Returns false (and counts nothing) when the X display or XFixes is unavailable.
  static bool hide();
  // A show() without a matching hide() does nothing.
  static void show();
  static bool isHidden();
};

}  // namespace tk
