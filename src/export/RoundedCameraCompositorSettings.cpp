#include "export/RoundedCameraCompositorSettings.h"

namespace tk {

RoundedCameraCompositorSettings& RoundedCameraCompositorSettings::shared() {
  static RoundedCameraCompositorSettings instance;
  return instance;
}

}  // namespace tk
