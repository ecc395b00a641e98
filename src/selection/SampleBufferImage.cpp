#include "selection/SampleBufferImage.h"

namespace tk {

std::optional<QImage> imageFromSampleBuffer(const SampleBuffer& sample) {
  if (!sample.isVideo()) return std::nullopt;
  const std::shared_ptr<PixelBuffer>& pixels = sample.pixelBuffer();
  if (!pixels || pixels->width() <= 0 || pixels->height() <= 0) return std::nullopt;
  // BGRA in memory with premultiplied alpha is Qt's premultiplied ARGB32 on little-endian machines.
  const QImage view(pixels->data(), pixels->width(), pixels->height(), pixels->bytesPerRow(),
                    QImage::Format_ARGB32_Premultiplied);
  QImage copy = view.copy();
  if (copy.isNull()) return std::nullopt;
  return copy;
}

}  // namespace tk
