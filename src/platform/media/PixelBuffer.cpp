#include "platform/media/PixelBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tk {

namespace {
constexpr size_t kAlignment = 64;

uint8_t* allocatePixels(size_t bytes) {
  const size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
  return static_cast<uint8_t*>(std::aligned_alloc(kAlignment, std::max(rounded, kAlignment)));
}
}  // namespace

int PixelBuffer::alignedBytesPerRow(int width) {
  const int raw = width * 4;
  return (raw + static_cast<int>(kAlignment) - 1) / static_cast<int>(kAlignment) *
         static_cast<int>(kAlignment);
}

PixelBuffer::PixelBuffer(int width, int height, int bytesPerRow, uint8_t* data)
    : width_(width), height_(height), bytesPerRow_(bytesPerRow), data_(data) {}

PixelBuffer::~PixelBuffer() { std::free(data_); }

std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  const int stride = alignedBytesPerRow(width);
  uint8_t* data = allocatePixels(static_cast<size_t>(stride) * height);
  if (!data) return nullptr;
  std::memset(data, 0, static_cast<size_t>(stride) * height);
  return std::shared_ptr<PixelBuffer>(new PixelBuffer(width, height, stride, data));
}

uint32_t PixelBuffer::pixel(int x, int y) const {
  uint32_t value;
  std::memcpy(&value, row(y) + static_cast<size_t>(x) * 4, 4);
  return value;
}

void PixelBuffer::setPixel(int x, int y, uint32_t argb) {
  std::memcpy(row(y) + static_cast<size_t>(x) * 4, &argb, 4);
}

void PixelBuffer::fill(uint32_t argb) {
  for (int y = 0; y < height_; ++y) {
    auto* pixels = reinterpret_cast<uint32_t*>(row(y));
    std::fill(pixels, pixels + width_, argb);
  }
}

void PixelBuffer::copyFrom(const PixelBuffer& source) {
  const int rows = std::min(height_, source.height_);
  const size_t bytes = static_cast<size_t>(std::min(width_, source.width_)) * 4;
  for (int y = 0; y < rows; ++y) std::memcpy(row(y), source.row(y), bytes);
}

struct PixelBufferPool::Storage {
  mutable std::mutex mutex;
  std::vector<uint8_t*> idle;
  size_t capacity;
  size_t allocations = 0;
  size_t bytes;

  ~Storage() {
    for (uint8_t* block : idle) std::free(block);
  }
};

PixelBufferPool::PixelBufferPool(int width, int height, size_t capacity)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), storage_(std::make_shared<Storage>()) {
  storage_->capacity = capacity;
  storage_->bytes = static_cast<size_t>(PixelBuffer::alignedBytesPerRow(width_)) * height_;
}

PixelBufferPool::~PixelBufferPool() = default;

std::shared_ptr<PixelBuffer> PixelBufferPool::acquire() {
  uint8_t* block = nullptr;
  {
    std::lock_guard lock(storage_->mutex);
    if (!storage_->idle.empty()) {
      block = storage_->idle.back();
      storage_->idle.pop_back();
    } else {
      ++storage_->allocations;
    }
  }
  if (!block) {
    block = allocatePixels(storage_->bytes);
    if (!block) return nullptr;
    std::memset(block, 0, storage_->bytes);
  }
  auto* buffer = new PixelBuffer(width_, height_, PixelBuffer::alignedBytesPerRow(width_), block);
  // The deleter hands the pixels back instead of freeing them; it holds the storage, not the pool.
  return std::shared_ptr<PixelBuffer>(buffer, [storage = storage_](PixelBuffer* released) {
    uint8_t* pixels = released->data_;
    released->data_ = nullptr;
    delete released;
    std::lock_guard lock(storage->mutex);
    if (storage->idle.size() < storage->capacity) {
      storage->idle.push_back(pixels);
    } else {
      std::free(pixels);
    }
  });
}

size_t PixelBufferPool::idleCount() const {
  std::lock_guard lock(storage_->mutex);
  return storage_->idle.size();
}

size_t PixelBufferPool::allocationCount() const {
  std::lock_guard lock(storage_->mutex);
  return storage_->allocations;
}

}  // namespace tk
