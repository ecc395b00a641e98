#pragma once

#include <memory>
#include <vector>

#include "export/RoundedCameraCompositorSettings.h"
#include "platform/composition/VideoCompositionInstruction.h"

namespace tk {

// The instruction an export attaches so that every frame of its time range reaches
// RoundedCameraCompositor with the listed tracks: the first id is the screen, any later one the
// camera. It carries the export's own copy of the compositor settings, taken when it is made.
// Made on the exporter's thread; read from the render thread.
class RoundedCameraCompositionInstruction : public VideoCompositionInstruction {
 public:
  // Copies RoundedCameraCompositorSettings::shared() as it is now.
  RoundedCameraCompositionInstruction(MediaTimeRange timeRange, const std::vector<int32_t>& trackIDs);
  RoundedCameraCompositionInstruction(MediaTimeRange timeRange, const std::vector<int32_t>& trackIDs,
                                      RoundedCameraCompositorSettings settings);

  const RoundedCameraCompositorSettings& settings() const { return *settings_; }
  std::shared_ptr<const RoundedCameraCompositorSettings> settingsSnapshot() const { return settings_; }

 private:
  std::shared_ptr<const RoundedCameraCompositorSettings> settings_;
};

}  // namespace tk
