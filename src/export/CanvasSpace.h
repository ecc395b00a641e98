#pragma once

#include <QPointF>
#include <QRectF>

namespace tk {

// The compositor lays its frames out in the output's own space: origin at the bottom left, y up, as
// its geometry is written. Pixel rows run from the top. This is the one place that converts; the
// layout code never flips y itself. A plain value; any thread.
struct CanvasSpace {
  double width = 0;
  double height = 0;

  QRectF toRaster(const QRectF& r) const {
    return {r.x(), height - r.y() - r.height(), r.width(), r.height()};
  }
  QPointF toRaster(QPointF p) const { return {p.x(), height - p.y()}; }
  // A normalised position measured from the top edge, in this space.
  QPointF fromTopNormalised(QPointF n, const QRectF& area) const {
    return {area.x() + n.x() * area.width(), area.y() + (1 - n.y()) * area.height()};
  }
};

}  // namespace tk
