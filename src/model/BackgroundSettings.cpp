#include "model/BackgroundSettings.h"

namespace tk {

GradientSettings gradientSettings(GradientPreset preset) {
  auto rgb = [](double r, double g, double b) { return CodableColor{r, g, b, 1.0}; };
  switch (preset) {
    case GradientPreset::sunset:
      return {{rgb(0.95, 0.4, 0.2), rgb(0.85, 0.2, 0.4), rgb(0.4, 0.1, 0.5)}, 135, preset};
    case GradientPreset::ocean:
      return {{rgb(0.1, 0.6, 0.8), rgb(0.05, 0.3, 0.6), rgb(0.02, 0.15, 0.4)}, 180, preset};
    case GradientPreset::forest:
      return {{rgb(0.2, 0.6, 0.3), rgb(0.1, 0.4, 0.25), rgb(0.05, 0.2, 0.15)}, 160, preset};
    case GradientPreset::purple:
      return {{rgb(0.5, 0.2, 0.8), rgb(0.3, 0.1, 0.6), rgb(0.15, 0.05, 0.35)}, 135, preset};
    case GradientPreset::midnight:
      return {{rgb(0.1, 0.1, 0.2), rgb(0.05, 0.05, 0.15), rgb(0.02, 0.02, 0.08)}, 180, preset};
    case GradientPreset::aurora:
      return {{rgb(0.2, 0.8, 0.6), rgb(0.3, 0.5, 0.8), rgb(0.5, 0.2, 0.7)}, 45, preset};
    case GradientPreset::custom:
      break;
  }
  return {{rgb(0.2, 0.2, 0.3), rgb(0.1, 0.1, 0.2)}, 135, GradientPreset::custom};
}

}  // namespace tk

namespace tk {

void encode(JsonWriter& out, const GradientSettings& value) {
  out.list("colors", value.colors, [](JsonWriter& item, const CodableColor& color) { encode(item, color); });
  out.number("angle", value.angle);
  if (value.preset) out.enumeration("preset", *value.preset);
}

void encode(JsonWriter& out, const BackgroundSettings& value) {
  out.enumeration("type", value.type);
  if (value.gradient) out.object("gradient", [&](JsonWriter& item) { encode(item, *value.gradient); });
  if (value.color) out.object("color", [&](JsonWriter& item) { encode(item, *value.color); });
  if (value.imageURL) out.url("imageURL", *value.imageURL);
  out.number("opacity", value.opacity);
}

GradientSettings decodeGradientSettings(const JsonReader& in) {
  GradientSettings gradient;
  gradient.colors = in.list("colors", decodeCodableColor);
  gradient.angle = in.number("angle");
  if (in.has("preset")) gradient.preset = in.enumeration<GradientPreset>("preset");
  return gradient;
}

BackgroundSettings decodeBackgroundSettings(const JsonReader& in) {
  BackgroundSettings background;
  background.type = in.enumeration<StudioBackgroundType>("type");
  background.gradient = in.optionalObject("gradient", decodeGradientSettings);
  background.color = in.optionalObject("color", decodeCodableColor);
  if (in.has("imageURL")) background.imageURL = in.url("imageURL");
  background.opacity = in.number("opacity");
  return background;
}

}  // namespace tk
