#include "platform/qt/TestHold.h"

#ifdef TK_TEST_HOOKS
#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
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
std::set<std::string> timedDone;  // timed places already held once
bool released = false;

}  // namespace

void TestHold::at(const char* name) {
  at(name, {});
}

void TestHold::at(const char* name, const std::function<bool()>& letGoWhen) {
  // Some places are passed for every frame: without holds asked for, nothing is allocated.
  if (qEnvironmentVariableIsEmpty("TK_TEST_HOLD")) return;
  const QString wanted = QString::fromUtf8(name);
  std::optional<std::chrono::milliseconds> timed;
  bool named = false;
  for (const QString& entry : qEnvironmentVariable("TK_TEST_HOLD").split(',', Qt::SkipEmptyParts)) {
    const QStringList parts = entry.split(':');
    if (parts.front() != wanted) continue;
    named = true;
    if (parts.size() > 1) timed = std::chrono::milliseconds(parts[1].toLongLong());
  }
  if (!named) return;
  std::unique_lock lock(holdMutex);
  if (released || (timed && !timedDone.insert(name).second)) return;
  const auto place = held.insert(name);
  Diagnostics::line(std::string("⏸ Held at ") + name);
  if (timed) {
    holdChanged.wait_for(lock, *timed, [] { return released; });
  } else {
    // The application object goes only after everything that was meant to outlive the workers.
    while (!released && QCoreApplication::instance() && !(letGoWhen && letGoWhen()))
      holdChanged.wait_for(lock, std::chrono::milliseconds(20));
  }
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
void TestHold::at(const char*, const std::function<bool()>&) {}
void TestHold::releaseAll() {}
bool TestHold::isHeld(const char*) {
  return false;
}

#endif

}  // namespace tk
