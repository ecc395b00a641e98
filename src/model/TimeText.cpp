#include "model/TimeText.h"

#include <cmath>
#include <cstdio>

namespace tk {

std::string minutesAndSeconds(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "00:00";
  const double whole = std::floor(seconds);
  const double minutes = std::floor(whole / 60);
  char text[48];
  std::snprintf(text, sizeof text, "%02.0f:%02.0f", minutes, whole - minutes * 60);
  return text;
}

}  // namespace tk
