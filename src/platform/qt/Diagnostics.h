#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tk {

// The system's diagnostic lines on standard output. Each line is written whole under one mutex,
// so lines from capture threads never interleave. Tests may capture the lines instead.
class Diagnostics {
 public:
  static void line(std::string_view text);
  // printf-style; the result is one line.
  static void linef(const char* format, ...) __attribute__((format(printf, 1, 2)));

  // While a sink is installed, lines go to it instead of standard output.
  using Sink = std::function<void(const std::string&)>;
  static void setSink(Sink sink);
};

// Number texts as the diagnostics and messages print them.
// A double in its shortest round-tripping form with at least one digit after the point:
// 2.0, 0.5, 1.25, 1e-05.
std::string formatDouble(double value);
std::string formatInt(long long value);
inline std::string boolText(bool value) { return value ? "true" : "false"; }

}  // namespace tk
