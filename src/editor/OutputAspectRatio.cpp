#include "editor/OutputAspectRatio.h"

namespace tk::AspectRatio {

std::optional<double> ratio(OutputAspectRatio ratio) {
  switch (ratio) {
    case OutputAspectRatio::original:
      return std::nullopt;
    case OutputAspectRatio::ratio16x9:
      return 16.0 / 9.0;
    case OutputAspectRatio::ratio1x1:
      return 1.0;
    case OutputAspectRatio::ratio4x3:
      return 4.0 / 3.0;
    case OutputAspectRatio::ratio9x16:
      return 0.5625;
    case OutputAspectRatio::ratio3x4:
      return 0.75;
    case OutputAspectRatio::ratio4x5:
      return 0.8;
  }
  return std::nullopt;
}

QSizeF outputCanvasSize(OutputAspectRatio aspect, QSizeF source) {
  const auto r = ratio(aspect);
  if (!r) return source;
  const double w = source.width(), h = source.height();
  const double q = w / h;
  // A NaN q (0 × 0) takes the first branch, as the width-keeping rule does.
  if (!(q < *r)) return {w, w / *r};
  return {*r * h, h};
}

}  // namespace tk::AspectRatio
