#pragma once

#include "model/CodableColor.h"
#include "model/CursorStyle.h"

namespace tk {

// The studio features of one recording, loaded from the settings store by
// RecordingConfiguration::loadStudioConfiguration. Lives only in memory.
struct StudioRecordingConfiguration {
  bool enableAlphaChannel = false;
  bool enableSeparateLayers = false;
  bool enableClickToZoom = false;
  double zoomLevel = 2.0;       // zoom factor of a click zoom
  double zoomDuration = 0.5;    // seconds of a click zoom
  double clickThreshold = 0.5;  // seconds; handed to the cursor overlay at start
  CursorStyle cursorStyle = CursorStyle::circle;
  bool enableCursorAnimations = true;
  double cursorSize = 24.0;  // points
  bool enableScaleAnimation = true;
  bool enableRippleEffect = true;
  CodableColor rippleColor{0.0, 0.5, 1.0, 0.5};
};

}  // namespace tk
