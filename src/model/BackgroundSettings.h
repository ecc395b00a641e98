#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "model/CodableColor.h"
#include "platform/json/EnumTable.h"

namespace tk {

// Kind of the editor's background behind the video.
enum class StudioBackgroundType { gradient, solidColor, image };

template <>
struct EnumTable<StudioBackgroundType> {
  static constexpr std::array<std::pair<StudioBackgroundType, std::string_view>, 3> entries{{
      {StudioBackgroundType::gradient, "gradient"},
      {StudioBackgroundType::solidColor, "solidColor"},
      {StudioBackgroundType::image, "image"},
  }};
};

enum class GradientPreset { sunset, ocean, forest, purple, midnight, aurora, custom };

template <>
struct EnumTable<GradientPreset> {
  static constexpr std::array<std::pair<GradientPreset, std::string_view>, 7> entries{{
      {GradientPreset::sunset, "sunset"},
      {GradientPreset::ocean, "ocean"},
      {GradientPreset::forest, "forest"},
      {GradientPreset::purple, "purple"},
      {GradientPreset::midnight, "midnight"},
      {GradientPreset::aurora, "aurora"},
      {GradientPreset::custom, "custom"},
  }};
};

struct GradientSettings {
  std::vector<CodableColor> colors;  // first to last
  double angle = 0;                  // degrees; the renderers decide where 0 points
  std::optional<GradientPreset> preset;
};

// The gradient a preset stands for, with `preset` set to it.
GradientSettings gradientSettings(GradientPreset preset);

// The editor's background. URLs are local file paths throughout the model.
struct BackgroundSettings {
  StudioBackgroundType type = StudioBackgroundType::gradient;
  std::optional<GradientSettings> gradient;       // for the gradient kind
  std::optional<CodableColor> color;              // for the solid-colour kind
  std::optional<std::filesystem::path> imageURL;  // for the image kind
  double opacity = 1;                             // 0 to 1
};

// JSON forms; the optional fields are left out when absent and read as absent when missing or null.
void encode(JsonWriter& out, const GradientSettings& value);
void encode(JsonWriter& out, const BackgroundSettings& value);
GradientSettings decodeGradientSettings(const JsonReader& in);
BackgroundSettings decodeBackgroundSettings(const JsonReader& in);

}  // namespace tk
