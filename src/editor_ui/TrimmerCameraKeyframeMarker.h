#pragma once

#include <QRectF>

class QPainter;

namespace tk {

// The marker of a camera keyframe: a camera symbol in a rounded square outlined in purple; selected,
// the square fills purple and the symbol turns white. Pure drawing; main thread.
struct TrimmerCameraKeyframeMarker {
  static constexpr double kSize = 24;

  bool isSelected = false;

  // Copies the marker's picture, drawn once per look.
  void paint(QPainter& painter, const QRectF& rect) const;
  void paintShape(QPainter& painter, const QRectF& rect) const;
};

}  // namespace tk
