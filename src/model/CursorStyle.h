#pragma once

#include "platform/json/EnumTable.h"

namespace tk {

// Style of the drawn cursor. Kept in the settings store under "cursorStyle" as its raw value.
enum class CursorStyle { circle, arrow, pointer, custom };

template <>
struct EnumTable<CursorStyle> {
  static constexpr std::array<std::pair<CursorStyle, std::string_view>, 4> entries{{
      {CursorStyle::circle, "circle"},
      {CursorStyle::arrow, "arrow"},
      {CursorStyle::pointer, "pointer"},
      {CursorStyle::custom, "custom"},
  }};
};

}  // namespace tk
