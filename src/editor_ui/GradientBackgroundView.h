#pragma once

#include <QRectF>

#include "model/BackgroundSettings.h"

class QPainter;

namespace tk {

// Paints a linear gradient from its settings into a rectangle: the colours spread evenly from the
// start point to the end point GradientEndpoints gives for the angle, the same direction the export
// draws. No colours paint black. Main thread (any painter's thread).
struct GradientBackgroundView {
  static void paint(QPainter& painter, const QRectF& rect, const GradientSettings& gradient);
};

}  // namespace tk
