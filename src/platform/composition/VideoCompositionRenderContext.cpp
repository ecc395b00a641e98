#include "platform/composition/VideoCompositionRenderContext.h"

namespace tk {

VideoCompositionRenderContext::VideoCompositionRenderContext(QSize renderSize, MediaTime frameDuration,
                                                             size_t maxBuffersInFlight)
    : size_(renderSize), frameDuration_(frameDuration) {
  if (size_.width() > 0 && size_.height() > 0)
    pool_ = std::make_unique<PixelBufferPool>(size_.width(), size_.height(), 0);
  buffers_.reserve(std::max<size_t>(maxBuffersInFlight, 1));
}

std::shared_ptr<PixelBuffer> VideoCompositionRenderContext::newPixelBuffer() {
  if (!pool_) return nullptr;
  std::lock_guard lock(mutex_);
  // Only this object hands buffers out, so a count of one cannot rise behind our back.
  for (auto& buffer : buffers_)
    if (buffer.use_count() == 1) return buffer;
  if (buffers_.size() == buffers_.capacity()) return nullptr;
  auto buffer = pool_->acquire();
  if (!buffer) return nullptr;
  buffers_.push_back(buffer);
  return buffer;
}

}  // namespace tk
