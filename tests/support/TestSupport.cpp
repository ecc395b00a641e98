#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>

#include "platform/qt/Diagnostics.h"

namespace tk::test {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() >= timeout.count()) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void pumpEvents(std::chrono::milliseconds duration) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < duration.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
}

bool inTestEnvironment() { return std::getenv("TK_TEST_ENV") != nullptr; }

CapturedLines::CapturedLines() {
  Diagnostics::setSink([this](const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  });
}

CapturedLines::~CapturedLines() { Diagnostics::setSink(nullptr); }

std::vector<std::string> CapturedLines::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool CapturedLines::contains(const std::string& fragment) const {
  std::lock_guard lock(mutex_);
  for (const auto& line : lines_) {
    if (line.find(fragment) != std::string::npos) return true;
  }
  return false;
}

}  // namespace tk::test
