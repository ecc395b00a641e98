#include "settings/CustomBackgroundColor.h"

#include <algorithm>

#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"
#include "settings/SettingsKeys.h"

namespace tk {

std::optional<CodableColor> CustomBackgroundColor::read(const SettingsStore& store) {
  const auto data = settings::customBackgroundColor.read(store);
  if (!data) return std::nullopt;
  const Json value = Json::parse(data->begin(), data->end(), nullptr, false);
  try {
    if (value.is_discarded()) throw JsonError(JsonError::Operation::reading, "not valid JSON", "");
    CodableColor color = decodeCodableColor(JsonReader(value));
    for (double* component : {&color.red, &color.green, &color.blue, &color.alpha})
      *component = std::clamp(*component, 0.0, 1.0);
    return color;
  } catch (const JsonError& error) {
    Diagnostics::line(std::string("⚠️ The stored custom background colour cannot be read: ") +
                      error.what());
    return std::nullopt;
  }
}

void CustomBackgroundColor::write(const CodableColor& color, SettingsStore& store) {
  JsonWriter writer;
  encode(writer, color);
  const std::string text = writer.take().dump();
  settings::customBackgroundColor.write(QByteArray(text.data(), qsizetype(text.size())), store);
}

CodableColor CustomBackgroundColor::fromColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}

QColor CustomBackgroundColor::toColor(const CodableColor& color) {
  return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha));
}

}  // namespace tk
