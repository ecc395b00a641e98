#pragma once

#include "platform/json/EnumTable.h"
#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

namespace tk {

// Speed of the editor's cursor animation; the renderer decides what each speed means. The raw
// values are capitalised.
enum class CursorAnimationSpeed { slow, mellow, quick, rapid };

template <>
struct EnumTable<CursorAnimationSpeed> {
  static constexpr std::array<std::pair<CursorAnimationSpeed, std::string_view>, 4> entries{{
      {CursorAnimationSpeed::slow, "Slow"},
      {CursorAnimationSpeed::mellow, "Mellow"},
      {CursorAnimationSpeed::quick, "Quick"},
      {CursorAnimationSpeed::rapid, "Rapid"},
  }};
};

// How the editor draws the recorded cursor. Everyone starts from the one shared default
// (defaultSettings()) and edits a copy.
struct CursorOverlaySettings {
  bool enabled = true;
  double scale = 1.5;
  double smoothing = 0.5;
  double clickScale = 1.3;
  double clickDuration = 0.15;  // seconds
  // The recording coordinator's copy decides whether the system cursor is hidden while recording.
  bool hideSystemCursor = false;
  bool motionBlurEnabled = true;
  double motionBlurIntensity = 0.25;
  double motionBlurThreshold = 0.49;
  CursorAnimationSpeed animationSpeed = CursorAnimationSpeed::quick;

  // The shared default, built once; copy it to change anything.
  static const CursorOverlaySettings& defaultSettings();

  bool operator==(const CursorOverlaySettings&) const = default;
};

// JSON form: an object of the ten fields, all required.
void encode(JsonWriter& out, const CursorOverlaySettings& value);
CursorOverlaySettings decodeCursorOverlaySettings(const JsonReader& in);

}  // namespace tk
