#include "platform/qt/Diagnostics.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace tk {

namespace {
std::mutex& diagnosticsMutex() {
  static std::mutex mutex;
  return mutex;
}
Diagnostics::Sink& diagnosticsSink() {
  static Diagnostics::Sink sink;
  return sink;
}
}  // namespace

void Diagnostics::line(std::string_view text) {
  std::string whole(text);
  Sink sink;
  {
    std::lock_guard lock(diagnosticsMutex());
    sink = diagnosticsSink();
    if (!sink) {
      whole.push_back('\n');
      std::fwrite(whole.data(), 1, whole.size(), stdout);
      std::fflush(stdout);
      return;
    }
  }
  // Called outside the lock so a sink may itself log or take its own locks.
  sink(whole);
}

void Diagnostics::linef(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  line(text);
}

void Diagnostics::setSink(Sink sink) {
  std::lock_guard lock(diagnosticsMutex());
  diagnosticsSink() = std::move(sink);
}

std::string formatDouble(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  // Plain notation from 1e-4 up to 2^53, scientific beyond, as a reader of the lines expects.
  const double magnitude = std::fabs(value);
  const bool scientific = magnitude != 0 && (magnitude < 1e-4 || magnitude >= 9007199254740992.0);
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              scientific ? std::chars_format::scientific : std::chars_format::fixed);
  std::string text(buffer, result.ptr);
  if (!scientific && text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string formatInt(long long value) { return std::to_string(value); }

}  // namespace tk
