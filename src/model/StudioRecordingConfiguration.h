#pragma once

#include "model/CodableColor.h"
#include "model/CursorStyle.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

// A studio number of the settings store: its key, its default and the range its slider (or colour
// well) offers. It reads as SettingsStore::offeredNumber says, alike for the settings window and for
// a recording.
struct StudioNumberSetting {
  const char* key;
  double defaultValue;
  double minimum;
  double maximum;
  double read(const SettingsStore& store) const {
    return store.offeredNumber(key, defaultValue, minimum, maximum);
  }
};

inline constexpr StudioNumberSetting kZoomLevelSetting{"zoomLevel", 2.0, 1.5, 3.0};
inline constexpr StudioNumberSetting kZoomDurationSetting{"zoomDuration", 0.5, 0.3, 1.0};
inline constexpr StudioNumberSetting kClickThresholdSetting{"clickThreshold", 0.5, 0.3, 2.0};
inline constexpr StudioNumberSetting kCursorSizeSetting{"cursorSize", 24.0, 16.0, 48.0};
// The live ripple's colour, one component each.
inline constexpr StudioNumberSetting kRippleRedSetting{"cursorRippleColorRed", 0.0, 0.0, 1.0};
inline constexpr StudioNumberSetting kRippleGreenSetting{"cursorRippleColorGreen", 0.5, 0.0, 1.0};
inline constexpr StudioNumberSetting kRippleBlueSetting{"cursorRippleColorBlue", 1.0, 0.0, 1.0};

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
