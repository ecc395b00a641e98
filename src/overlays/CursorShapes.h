#pragma once

#include <QPainterPath>
#include <QSizeF>

namespace tk {

// The two outlines of the custom cursor, as paths in a rectangle of the given size with (0, 0) at
// its top-left corner.

// An arrow whose tip is the corner at (0.2w, 0.2h).
struct ArrowShape {
  static QPainterPath path(QSizeF size) {
    const double w = size.width(), h = size.height();
    QPainterPath path;
    path.moveTo(0.2 * w, 0.8 * h);
    path.lineTo(0.2 * w, 0.2 * h);
    path.lineTo(0.8 * w, 0.2 * h);
    path.lineTo(0.5 * w, 0.5 * h);
    path.lineTo(0.7 * w, 0.7 * h);
    path.lineTo(0.5 * w, 0.8 * h);
    path.closeSubpath();
    return path;
  }
};

// An upright tab with its pointed top at (0.5w, 0.2h).
struct PointerShape {
  static QPainterPath path(QSizeF size) {
    const double w = size.width(), h = size.height();
    QPainterPath path;
    path.moveTo(0.3 * w, 0.7 * h);
    path.lineTo(0.3 * w, 0.4 * h);
    path.lineTo(0.4 * w, 0.3 * h);
    path.lineTo(0.5 * w, 0.2 * h);
    path.lineTo(0.6 * w, 0.3 * h);
    path.lineTo(0.7 * w, 0.4 * h);
    path.lineTo(0.7 * w, 0.7 * h);
    path.lineTo(0.6 * w, 0.8 * h);
    path.lineTo(0.4 * w, 0.8 * h);
    path.closeSubpath();
    return path;
  }
};

}  // namespace tk
