#pragma once

#include <QSizeF>
#include <array>
#include <optional>
#include <string_view>

#include "platform/json/EnumTable.h"

namespace tk {

// The shape of an exported picture. The raw value is also the label the editor shows.
enum class OutputAspectRatio { original, ratio16x9, ratio1x1, ratio4x3, ratio9x16, ratio3x4, ratio4x5 };

template <>
struct EnumTable<OutputAspectRatio> {
  static constexpr std::array<std::pair<OutputAspectRatio, std::string_view>, 7> entries{{
      {OutputAspectRatio::original, "Original"},
      {OutputAspectRatio::ratio16x9, "16:9"},
      {OutputAspectRatio::ratio1x1, "1:1"},
      {OutputAspectRatio::ratio4x3, "4:3"},
      {OutputAspectRatio::ratio9x16, "9:16"},
      {OutputAspectRatio::ratio3x4, "3:4"},
      {OutputAspectRatio::ratio4x5, "4:5"},
  }};
};

// Pure functions; any thread. Raw values, the making of a case from one and the list of every case
// come from EnumTable (rawValue, fromRawValue, allCases).
namespace AspectRatio {

// Width over height; none for `original`.
std::optional<double> ratio(OutputAspectRatio ratio);

// The canvas an exported picture of `source` gets: the source keeps its size and the canvas grows
// in one direction to the ratio. Not rounded.
QSizeF outputCanvasSize(OutputAspectRatio ratio, QSizeF source);

}  // namespace AspectRatio
}  // namespace tk
