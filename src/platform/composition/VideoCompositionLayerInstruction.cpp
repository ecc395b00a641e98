#include "platform/composition/VideoCompositionLayerInstruction.h"

#include <algorithm>

namespace tk {

void VideoCompositionLayerInstruction::setTransform(const AffineTransform& transform, const MediaTime& at) {
  if (!at.isValid()) return;
  // Exports set transforms in time order, so the common case appends.
  if (transforms_.empty() || transforms_.back().first < at) {
    transforms_.emplace_back(at, transform);
    return;
  }
  auto it = std::lower_bound(transforms_.begin(), transforms_.end(), at,
                             [](const auto& entry, const MediaTime& t) { return entry.first < t; });
  if (it != transforms_.end() && it->first == at)
    it->second = transform;
  else
    transforms_.insert(it, {at, transform});
}

AffineTransform VideoCompositionLayerInstruction::transformAt(const MediaTime& t) const {
  auto it = std::upper_bound(transforms_.begin(), transforms_.end(), t,
                             [](const MediaTime& time, const auto& entry) { return time < entry.first; });
  if (it == transforms_.begin()) return AffineTransform::identity();
  return (it - 1)->second;
}

}  // namespace tk
