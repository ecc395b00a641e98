#pragma once

#include <QImage>
#include <optional>

#include "platform/media/SampleBuffer.h"

namespace tk {

// A captured video frame as a picture of its own pixels (a deep copy, so the frame's buffer can go
// back to its pool). None for an audio sample or a frame without pixels. Any thread.
std::optional<QImage> imageFromSampleBuffer(const SampleBuffer& sample);

}  // namespace tk
