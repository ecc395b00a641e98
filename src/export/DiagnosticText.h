#pragma once

#include <initializer_list>
#include <string>

#include "platform/qt/Diagnostics.h"

namespace tk {

// Numbers in brackets, the way the export's diagnostic lines print sizes, offsets and rectangles:
// "(1920.0, 1080.0)". Any thread.
inline std::string bracketed(std::initializer_list<double> values) {
  std::string text(1, '(');
  for (double v : values) {
    if (text.size() > 1) text.append(", ");
    text.append(formatDouble(v));
  }
  text.push_back(')');
  return text;
}

}  // namespace tk
