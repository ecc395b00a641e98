#pragma once

#include <functional>

namespace tk {

// Places where a test can hold a thread on purpose, to make a rare order of events happen every
// time (a worker still running while what it reads is freed). Only builds with the test suite
// have them; elsewhere every call does nothing.
//
// A place is held when its name is among the comma-separated names of TK_TEST_HOLD. The holding
// thread prints "⏸ Held at <name>" and waits until the hold is let go: by releaseAll() (the
// application calls it only while it waits for its workers at the end), or once the application
// object is gone. A name written "<name>:<ms>" holds just once, the first thread that comes, for
// that many milliseconds (a thread that is late once, as on a busy machine).
// Threads: any.
class TestHold {
 public:
  static void at(const char* name);
  // Also let go, without a release, once `letGoWhen` holds: a call held inside something that
  // waits for it to leave (a closing gate), which would otherwise wait for ever.
  static void at(const char* name, const std::function<bool()>& letGoWhen);
  // Lets every hold go, now and from now on: the application is ending, or the test says so.
  static void releaseAll();
  // Whether a thread is held at `name` now (tests in the same process).
  static bool isHeld(const char* name);
};

}  // namespace tk
