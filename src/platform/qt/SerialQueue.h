#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tk {

// A named thread that runs posted tasks one at a time in posting order, and periodic timers on the
// same thread. The destructor stops the thread and joins it; tasks not yet run are discarded.
// Any thread may call any function except that `flush` and `stop` must not be called from the
// queue's own thread.
class SerialQueue {
 public:
  using Task = std::function<void()>;
  using TimerId = uint64_t;

  explicit SerialQueue(std::string name);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& name() const { return name_; }

  // False once the queue is stopped.
  bool post(Task task);
  bool postAfter(std::chrono::nanoseconds delay, Task task);

  // Runs `tick` every `interval`, the first time after one interval, on the monotonic clock. A tick
  // that comes due while the previous one still runs is skipped, not queued: ticks never bunch up.
  // The tick receives the number of intervals skipped since the last run.
  TimerId startTimer(std::chrono::nanoseconds interval, std::function<void(int64_t skipped)> tick);
  // After it returns, the timer's tick is not running and will not run again, unless called from the
  // tick itself, in which case the current run completes.
  void cancelTimer(TimerId id);

  // Waits until every task posted before the call has run.
  void flush();
  // Discards waiting tasks and timers, then joins the thread. Idempotent.
  void stop();

  bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    std::chrono::nanoseconds interval;
    Clock::time_point due;
    std::function<void(int64_t)> tick;
  };

  void run();

  std::string name_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Task> tasks_;
  std::multimap<Clock::time_point, Task> delayed_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimer_ = 1;
  TimerId runningTimer_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tk
