#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tk {

class PixelBufferPool;

// A BGRA image in memory: 4 bytes a pixel, premultiplied alpha, rows 64-byte aligned.
// Shared by reference (std::shared_ptr); a buffer from a pool goes back to it when the last
// reference drops, so steady-state capture and compositing allocate nothing per frame.
class PixelBuffer {
 public:
  // An unpooled buffer, zero-filled (transparent black). Null when the size is not positive.
  static std::shared_ptr<PixelBuffer> create(int width, int height);

  ~PixelBuffer();
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  int bytesPerRow() const { return bytesPerRow_; }
  size_t byteCount() const { return static_cast<size_t>(bytesPerRow_) * height_; }
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  uint8_t* row(int y) { return data_ + static_cast<size_t>(y) * bytesPerRow_; }
  const uint8_t* row(int y) const { return data_ + static_cast<size_t>(y) * bytesPerRow_; }

  // Pixel as 0xAARRGGBB (the value a little-endian BGRA word holds).
  uint32_t pixel(int x, int y) const;
  void setPixel(int x, int y, uint32_t argb);
  void fill(uint32_t argb);
  // Copies the overlapping top-left region of another buffer.
  void copyFrom(const PixelBuffer& source);

  static int alignedBytesPerRow(int width);

 private:
  friend class PixelBufferPool;
  PixelBuffer(int width, int height, int bytesPerRow, uint8_t* data);

  int width_;
  int height_;
  int bytesPerRow_;
  uint8_t* data_;
};

// A pool of equally sized buffers. Buffers handed out keep the pool's storage alive, so the pool
// may be destroyed while frames are still in flight. Any thread may call any function.
class PixelBufferPool {
 public:
  // `capacity` bounds how many idle buffers are kept for reuse; more can be handed out.
  PixelBufferPool(int width, int height, size_t capacity = 8);
  ~PixelBufferPool();

  int width() const { return width_; }
  int height() const { return height_; }

  // A buffer of the pool's size; its contents are whatever the last user left.
  std::shared_ptr<PixelBuffer> acquire();
  size_t idleCount() const;
  size_t allocationCount() const;

 private:
  struct Storage;
  int width_;
  int height_;
  std::shared_ptr<Storage> storage_;
};

}  // namespace tk
