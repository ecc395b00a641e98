#pragma once

#include <QPointF>
#include <QSizeF>

namespace tk {

// Where a linear background gradient starts (first colour) and ends (last colour) in a rectangle of
// `size` with its origin at the top left and y growing downwards. 0° runs from the bottom edge to the
// top, 90° from left to right, 180° from top to bottom; both points lie on the ellipse inscribed in
// the rectangle. The editor's gradient views and the export compositor both draw from this, so a
// preview and its export show the same gradient. Any thread.
struct GradientEndpoints {
  QPointF start;
  QPointF end;

  static GradientEndpoints forAngle(double angleDegrees, QSizeF size);
};

}  // namespace tk
