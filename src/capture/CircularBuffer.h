#pragma once

#include <cstddef>
#include <vector>

namespace tk {

// A fixed-size history: appends at the end until full, then overwrites the oldest element. The
// storage is reserved once and never grows. Not thread-safe: one writer thread.
template <typename T>
class CircularBuffer {
 public:
  explicit CircularBuffer(size_t capacity) : capacity_(capacity) { buffer_.reserve(capacity); }

  void append(const T& value) {
    if (capacity_ == 0) return;
    if (buffer_.size() < capacity_) {
      buffer_.push_back(value);
      return;
    }
    buffer_[index_] = value;
    index_ = (index_ + 1) % capacity_;
  }

  // Empties the history and keeps its storage.
  void clear() {
    buffer_.clear();
    index_ = 0;
  }

  // The stored elements in storage order (not oldest first once the ring has wrapped).
  const std::vector<T>& buffer() const { return buffer_; }
  size_t capacity() const { return capacity_; }
  size_t index() const { return index_; }
  size_t size() const { return buffer_.size(); }
  size_t reservedCapacity() const { return buffer_.capacity(); }

 private:
  std::vector<T> buffer_;
  size_t capacity_;
  size_t index_ = 0;
};

}  // namespace tk
