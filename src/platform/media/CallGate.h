#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

namespace tk {

// The one way a stream's callbacks and a worker's job reach an object that may be destroyed while
// they run: they share the gate and call in through it, and the object's destructor closes it
// first. Closing waits for the calls already inside and turns every later one away, so nothing
// reaches the object once its destructor goes on. Calls from several threads run side by side.
//
// Threads: any. A call must not close its own gate.
template <typename Object>
class CallGate {
 public:
  explicit CallGate(Object* object) : object_(object) {}
  CallGate(const CallGate&) = delete;
  CallGate& operator=(const CallGate&) = delete;

  // Runs `call` with the object unless the gate is closed; says whether it ran.
  template <typename Call>
  bool call(Call&& call) {
    Object* object;
    {
      std::lock_guard lock(mutex_);
      if (!(object = object_)) return false;
      ++inside_;
    }
    struct Leave {
      CallGate& gate;
      ~Leave() {
        std::lock_guard lock(gate.mutex_);
        if (--gate.inside_ == 0) gate.left_.notify_all();
      }
    } leave{*this};
    call(*object);
    return true;
  }

  // Turns later calls away and waits for those inside to leave.
  void close() {
    std::unique_lock lock(mutex_);
    object_ = nullptr;
    ++closersWaiting_;
    left_.wait(lock, [this] { return inside_ == 0; });
    --closersWaiting_;
  }

  bool isOpen() const {
    std::lock_guard lock(mutex_);
    return object_ != nullptr;
  }

  // Whether a close waits now for calls still inside: a test holding a call inside lets it go on
  // only then, so that a close that did not wait would free what the call goes on to read.
  bool closerWaits() const {
    std::lock_guard lock(mutex_);
    return closersWaiting_ > 0 && inside_ > 0;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable left_;
  Object* object_;
  int inside_ = 0;
  int closersWaiting_ = 0;
};

}  // namespace tk
