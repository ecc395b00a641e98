#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tk::test {

// Runs the Qt event loop until `condition` holds or `timeout` passes; returns whether it held.
// The default is generous: a loaded machine running sanitized builds can be slow, and waiting
// costs nothing when the condition comes early.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Processes events for a while (for checks that something does NOT happen).
void pumpEvents(std::chrono::milliseconds duration);

// True inside scripts/test-env.sh (private X display, sound server and tray host).
bool inTestEnvironment();

// Diagnostic lines written while the capture is alive.
class CapturedLines {
 public:
  CapturedLines();
  ~CapturedLines();
  std::vector<std::string> lines() const;
  bool contains(const std::string& fragment) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace tk::test

// Skips a test that needs the private desktop when run outside it; inside it, a missing part fails.
#define TK_REQUIRE_DESKTOP()                                                               \
  do {                                                                                     \
    if (!::tk::test::inTestEnvironment()) GTEST_SKIP() << "needs scripts/test-env.sh";     \
  } while (0)
