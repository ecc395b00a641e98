#pragma once

#include <QPointF>

#include "platform/json/EnumTable.h"

namespace tk {

// Outline of the camera picture; the editor's views and compositor draw each shape.
enum class CameraShape { squircle, circle, roundedRect, rectangle };

template <>
struct EnumTable<CameraShape> {
  static constexpr std::array<std::pair<CameraShape, std::string_view>, 4> entries{{
      {CameraShape::squircle, "squircle"},
      {CameraShape::circle, "circle"},
      {CameraShape::roundedRect, "roundedRect"},
      {CameraShape::rectangle, "rectangle"},
  }};
};

// Placement of the camera picture in an exported movie. No defaults of its own: the editor's shared
// compositor settings hold the instance in use.
struct CameraExportSettings {
  QPointF centerNormalized;  // on the output, 0 to 1
  double widthFraction = 0;  // of the output width
  double shrinkFactor = 0;
  double easeDuration = 0;  // seconds
  CameraShape shape = CameraShape::squircle;
};

}  // namespace tk
