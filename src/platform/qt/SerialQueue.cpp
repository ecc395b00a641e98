#include "platform/qt/SerialQueue.h"

#include <pthread.h>

#include <future>

namespace tk {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)) {
  thread_ = std::thread([this] {
    // Linux thread names are at most 15 characters.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    run();
  });
}

SerialQueue::~SerialQueue() { stop(); }

bool SerialQueue::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
  return true;
}

bool SerialQueue::postAfter(std::chrono::nanoseconds delay, Task task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    delayed_.emplace(Clock::now() + delay, std::move(task));
  }
  wake_.notify_one();
  return true;
}

SerialQueue::TimerId SerialQueue::startTimer(std::chrono::nanoseconds interval,
                                             std::function<void(int64_t)> tick) {
  if (interval.count() <= 0) interval = std::chrono::milliseconds(1);
  TimerId id;
  {
    std::lock_guard lock(mutex_);
    id = nextTimer_++;
    timers_[id] = Timer{interval, Clock::now() + interval, std::move(tick)};
  }
  wake_.notify_one();
  return id;
}

void SerialQueue::cancelTimer(TimerId id) {
  std::unique_lock lock(mutex_);
  timers_.erase(id);
  if (isCurrent()) return;
  idle_.wait(lock, [&] { return runningTimer_ != id; });
}

void SerialQueue::flush() {
  if (isCurrent()) return;
  std::promise<void> done;
  auto future = done.get_future();
  if (!post([&done] { done.set_value(); })) return;
  future.wait();
}

void SerialQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !thread_.joinable()) return;
    stopping_ = true;
    tasks_.clear();
    delayed_.clear();
    timers_.clear();
  }
  wake_.notify_all();
  if (thread_.joinable() && !isCurrent()) thread_.join();
}

void SerialQueue::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    if (stopping_) return;
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    const auto now = Clock::now();
    if (!delayed_.empty() && delayed_.begin()->first <= now) {
      Task task = std::move(delayed_.begin()->second);
      delayed_.erase(delayed_.begin());
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    // The timer that is most overdue runs first.
    TimerId dueTimer = 0;
    auto nextWake = Clock::time_point::max();
    if (!delayed_.empty()) nextWake = delayed_.begin()->first;
    for (auto& [id, timer] : timers_) {
      if (timer.due <= now && (dueTimer == 0 || timer.due < timers_[dueTimer].due)) dueTimer = id;
      nextWake = std::min(nextWake, timer.due);
    }
    if (dueTimer != 0) {
      Timer& timer = timers_[dueTimer];
      // Slots that passed while we were busy are skipped, never run back to back.
      const int64_t late = (now - timer.due) / timer.interval;
      timer.due += timer.interval * (late + 1);
      auto tick = timer.tick;
      runningTimer_ = dueTimer;
      lock.unlock();
      tick(late);
      lock.lock();
      runningTimer_ = 0;
      idle_.notify_all();
      continue;
    }
    if (nextWake == Clock::time_point::max()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, nextWake);
    }
  }
}

}  // namespace tk
