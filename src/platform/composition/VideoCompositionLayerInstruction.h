#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/composition/AffineTransform.h"
#include "platform/media/MediaTime.h"

namespace tk {

// How one source track is placed on the canvas over time: a step function of transforms, each set
// at a time and holding until the next time that has one (the identity before the first). The
// transforms map the track's pixels (origin top left, y down) to the canvas's (the same way up).
// Built on one thread, then read from any.
class VideoCompositionLayerInstruction {
 public:
  explicit VideoCompositionLayerInstruction(int32_t trackID) : trackID_(trackID) {}

  int32_t trackID() const { return trackID_; }

  // A transform set again at the same time replaces the earlier one.
  void setTransform(const AffineTransform& transform, const MediaTime& at);
  AffineTransform transformAt(const MediaTime& t) const;

  // (time, transform), by ascending time.
  const std::vector<std::pair<MediaTime, AffineTransform>>& transforms() const { return transforms_; }

 private:
  int32_t trackID_;
  std::vector<std::pair<MediaTime, AffineTransform>> transforms_;
};

}  // namespace tk
