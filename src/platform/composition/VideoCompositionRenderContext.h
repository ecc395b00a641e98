#pragma once

#include <QSize>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// Where a compositor's output frames come from: BGRA buffers of the render size, at most
// `maxBuffersInFlight` of them alive at once. A buffer is free again once every holder (the
// writer, the encoder) has let go of it, so steady-state rendering allocates nothing; when all are
// still held, newPixelBuffer() gives none and the frame fails rather than growing without bound.
// Any thread may call any function.
class VideoCompositionRenderContext {
 public:
  VideoCompositionRenderContext(QSize renderSize, MediaTime frameDuration, size_t maxBuffersInFlight = 6);

  QSize size() const { return size_; }
  MediaTime frameDuration() const { return frameDuration_; }
  size_t maxBuffersInFlight() const { return buffers_.capacity(); }

  // A buffer nobody else holds, with whatever the last frame left in it; null when the size is
  // empty or every buffer is still in flight.
  std::shared_ptr<PixelBuffer> newPixelBuffer();

 private:
  QSize size_;
  MediaTime frameDuration_;
  std::unique_ptr<PixelBufferPool> pool_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<PixelBuffer>> buffers_;
};

}  // namespace tk
