#pragma once

#include <QRectF>
#include <array>

namespace tk {

// The handle of the area overlay under the pointer. Top is the side of greater y and left the side
// of smaller x: the overlay's coordinates grow upwards from the display's bottom-left corner.
enum class ResizeHandle { none, topLeft, top, topRight, right, bottomRight, bottom, bottomLeft, left };

inline constexpr std::array<ResizeHandle, 9> allResizeHandles{
    ResizeHandle::none,     ResizeHandle::topLeft,    ResizeHandle::top,
    ResizeHandle::topRight, ResizeHandle::right,      ResizeHandle::bottomRight,
    ResizeHandle::bottom,   ResizeHandle::bottomLeft, ResizeHandle::left};

// The handle's square beside `rect` (same coordinates): `size` on a side, centred on the corner or
// edge midpoint and moved one point outwards on each axis where the anchor lies on an edge.
// Empty for `none`.
inline QRectF handleSquare(ResizeHandle handle, const QRectF& rect, double size = 10.0) {
  const double half = size / 2;
  double x = rect.center().x() - half;
  double y = rect.center().y() - half;
  switch (handle) {
    case ResizeHandle::none:
      return {};
    case ResizeHandle::topLeft:
    case ResizeHandle::left:
    case ResizeHandle::bottomLeft:
      x = rect.left() - half - 1;
      break;
    case ResizeHandle::topRight:
    case ResizeHandle::right:
    case ResizeHandle::bottomRight:
      x = rect.right() - half + 1;
      break;
    default:
      break;
  }
  switch (handle) {
    case ResizeHandle::topLeft:
    case ResizeHandle::top:
    case ResizeHandle::topRight:
      y = rect.bottom() - half + 1;  // QRectF's bottom() is the greatest y: our top edge
      break;
    case ResizeHandle::bottomLeft:
    case ResizeHandle::bottom:
    case ResizeHandle::bottomRight:
      y = rect.top() - half - 1;  // and its top() the smallest: our bottom edge
      break;
    default:
      break;
  }
  return {x, y, size, size};
}

}  // namespace tk
