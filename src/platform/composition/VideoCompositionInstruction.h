#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/composition/MediaTimeRange.h"
#include "platform/composition/VideoCompositionLayerInstruction.h"

namespace tk {

// The identifier no track has: an instruction with it passes no track through untouched.
inline constexpr int32_t kInvalidTrackID = 0;

// What the composition does over one time range: which source tracks a compositor needs for each
// frame, in order, and, for the plain (non-custom) path, how each layer is placed. A compositor
// may derive its own instruction type to carry what it needs. Built before the export starts and
// only read while it runs (any thread).
class VideoCompositionInstruction {
 public:
  virtual ~VideoCompositionInstruction() = default;

  MediaTimeRange timeRange;
  bool enablePostProcessing = false;
  bool containsTweening = true;
  std::optional<std::vector<int32_t>> requiredSourceTrackIDs;
  int32_t passthroughTrackID = kInvalidTrackID;
  // Plain path: layers from top to bottom over a black canvas.
  std::vector<VideoCompositionLayerInstruction> layerInstructions;
};

}  // namespace tk
