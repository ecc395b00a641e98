#pragma once

#include <QColor>
#include <optional>

#include "model/CodableColor.h"

namespace tk {

class SettingsStore;

// The stored form of the custom background colour under "customBackgroundColor": the UTF-8 JSON
// text of one CodableColor object, {"red": r, "green": g, "blue": b, "alpha": a}, each component
// a number from 0 to 1 in sRGB. The Recorder tab writes it; anything that wants the colour (the
// editor's background) decodes it with decodeCodableColor or readCustomBackgroundColor.
// Any thread.
class CustomBackgroundColor {
 public:
  CustomBackgroundColor() = delete;

  // None when the key is absent or holds no such object (a warning line says so for the latter).
  static std::optional<CodableColor> read(const SettingsStore& store);
  static void write(const CodableColor& color, SettingsStore& store);

  static CodableColor fromColor(const QColor& color);
  static QColor toColor(const CodableColor& color);
};

}  // namespace tk
