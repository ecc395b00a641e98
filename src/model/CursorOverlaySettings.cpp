#include "model/CursorOverlaySettings.h"

namespace tk {

const CursorOverlaySettings& CursorOverlaySettings::defaultSettings() {
  static const CursorOverlaySettings settings{};
  return settings;
}

}  // namespace tk

namespace tk {

void encode(JsonWriter& out, const CursorOverlaySettings& value) {
  out.boolean("enabled", value.enabled)
      .number("scale", value.scale)
      .number("smoothing", value.smoothing)
      .number("clickScale", value.clickScale)
      .number("clickDuration", value.clickDuration)
      .boolean("hideSystemCursor", value.hideSystemCursor)
      .boolean("motionBlurEnabled", value.motionBlurEnabled)
      .number("motionBlurIntensity", value.motionBlurIntensity)
      .number("motionBlurThreshold", value.motionBlurThreshold)
      .enumeration("animationSpeed", value.animationSpeed);
}

CursorOverlaySettings decodeCursorOverlaySettings(const JsonReader& in) {
  return {in.boolean("enabled"),
          in.number("scale"),
          in.number("smoothing"),
          in.number("clickScale"),
          in.number("clickDuration"),
          in.boolean("hideSystemCursor"),
          in.boolean("motionBlurEnabled"),
          in.number("motionBlurIntensity"),
          in.number("motionBlurThreshold"),
          in.enumeration<CursorAnimationSpeed>("animationSpeed")};
}

}  // namespace tk
