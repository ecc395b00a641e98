#pragma once

#include <QRectF>

#include "model/MetadataEvents.h"

class QPainter;

namespace tk {

// The marker of a zoom event or a zoom keyframe: a blue dot ringed in white, solid when selected.
// Its look depends only on the selection. Pure drawing; main thread.
struct TrimmerZoomEventMarker {
  static constexpr double kSize = 14;

  ZoomEvent event;
  bool isSelected = false;

  // Copies the marker's picture, drawn once per look.
  void paint(QPainter& painter, const QRectF& rect) const;
  void paintShape(QPainter& painter, const QRectF& rect) const;
};

}  // namespace tk
