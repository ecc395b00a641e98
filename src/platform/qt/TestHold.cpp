#include "platform/qt/TestHold.h"

#ifdef TK_TEST_HOOKS
#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

#include "platform/qt/Diagnostics.h"
#endif

namespace tk {

#ifdef TK_TEST_HOOKS

namespace {

std::mutex holdMutex;
std::condition_variable holdChanged;
std::multiset<std::string> held;
bool released = false;

}  // namespace

void TestHold::at(const char* name) {
  const QStringList names = qEnvironmentVariable("TK_TEST_HOLD").split(',', Qt::SkipEmptyParts);
  if (!names.contains(QString::fromUtf8(name))) return;
  std::unique_lock lock(holdMutex);
  if (released) return;
  const auto place = held.insert(name);
  Diagnostics::line(std::string("⏸ Held at ") + name);
  // The application object goes only after everything that was meant to outlive the workers.
  while (!released && QCoreApplication::instance()) holdChanged.wait_for(lock, std::chrono::milliseconds(20));
  held.erase(place);
}

void TestHold::releaseAll() {
  {
    std::lock_guard lock(holdMutex);
    released = true;
  }
  holdChanged.notify_all();
}

bool TestHold::isHeld(const char* name) {
  std::lock_guard lock(holdMutex);
  return held.count(name) > 0;
}

#else

void TestHold::at(const char*) {}
void TestHold::releaseAll() {}
bool TestHold::isHeld(const char*) {
  return false;
}

#endif

}  // namespace tk
