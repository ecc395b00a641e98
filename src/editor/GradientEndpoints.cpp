#include "editor/GradientEndpoints.h"

#include <cmath>
#include <numbers>

namespace tk {

GradientEndpoints GradientEndpoints::forAngle(double angleDegrees, QSizeF size) {
  if (!std::isfinite(angleDegrees)) angleDegrees = 0;
  const double a = angleDegrees * std::numbers::pi / 180 - std::numbers::pi / 2;
  const double c = 0.5 * std::cos(a), s = 0.5 * std::sin(a);
  const double w = size.width(), h = size.height();
  return {{(0.5 - c) * w, (0.5 - s) * h}, {(0.5 + c) * w, (0.5 + s) * h}};
}

}  // namespace tk
