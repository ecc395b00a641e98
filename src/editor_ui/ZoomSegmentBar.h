#pragma once

#include <QPointF>
#include <QRectF>

#include "model/MetadataEvents.h"

class QPainter;

namespace tk {

// One zoom segment drawn on its track: a blue bar 20 pt high with the zoom level written in it when
// it is wide enough, outlined in white with a grip at each end when selected. Narrow segments are
// drawn 20 pt wide, centred on the segment's middle. Pure drawing; main thread.
struct ZoomSegmentBar {
  static constexpr double kHeight = 20;
  static constexpr double kMinimumWidth = 20;

  ZoomSegment segment;
  bool isSelected = false;
  double width = 0;  // from the time mapping, before the minimum

  double drawnWidth() const;
  bool showsLabel() const { return width > 40; }
  bool showsHandles() const { return isSelected && width > 30; }
  // The bar's rectangle when centred on `centre`.
  QRectF rect(QPointF centre) const;
  // Narrow unselected bars, which all look alike, are copied from one picture.
  void paint(QPainter& painter, QPointF centre) const;
  void paintShape(QPainter& painter, QPointF centre) const;
};

}  // namespace tk
