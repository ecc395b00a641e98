#include "export/RoundedCameraCompositionInstruction.h"

namespace tk {

RoundedCameraCompositionInstruction::RoundedCameraCompositionInstruction(MediaTimeRange range,
                                                                         const std::vector<int32_t>& trackIDs)
    : RoundedCameraCompositionInstruction(range, trackIDs, RoundedCameraCompositorSettings::snapshot()) {}

RoundedCameraCompositionInstruction::RoundedCameraCompositionInstruction(
    MediaTimeRange range, const std::vector<int32_t>& trackIDs, RoundedCameraCompositorSettings settings)
    : settings_(std::make_shared<const RoundedCameraCompositorSettings>(std::move(settings))) {
  timeRange = range;
  enablePostProcessing = false;
  containsTweening = true;
  requiredSourceTrackIDs = trackIDs;
  passthroughTrackID = kInvalidTrackID;
}

}  // namespace tk
