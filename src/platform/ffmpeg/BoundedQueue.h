#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

namespace tk {

// A fixed-capacity hand-over between one or more producers that must never wait (capture threads)
// and one consumer thread that may. Storage is allocated once; a full queue refuses the item.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(size_t capacity) : slots_(capacity) {}

  // False when full or closed; the item is left untouched then.
  bool tryPush(T& item) {
    {
      std::lock_guard lock(mutex_);
      if (closed_ || count_ == slots_.size()) return false;
      slots_[(head_ + count_) % slots_.size()] = std::move(item);
      ++count_;
    }
    wake_.notify_one();
    return true;
  }

  // Waits for an item; nullopt once the queue is closed and drained.
  bool pop(T& out) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return count_ > 0 || closed_; });
    if (count_ == 0) return false;
    out = std::move(slots_[head_]);
    slots_[head_] = T{};
    head_ = (head_ + 1) % slots_.size();
    --count_;
    return true;
  }

  // No more pushes; the consumer drains what is queued and then sees the end.
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    wake_.notify_all();
  }

  // Drops everything still queued (for cancellation).
  void clear() {
    std::lock_guard lock(mutex_);
    for (auto& slot : slots_) slot = T{};
    head_ = count_ = 0;
  }

  size_t size() const {
    std::lock_guard lock(mutex_);
    return count_;
  }

  // Whether a push made now would be taken. The consumer only ever makes room, so a lone producer
  // that sees room keeps it until it pushes.
  bool hasRoom() const {
    std::lock_guard lock(mutex_);
    return !closed_ && count_ < slots_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<T> slots_;
  size_t head_ = 0;
  size_t count_ = 0;
  bool closed_ = false;
};

}  // namespace tk
