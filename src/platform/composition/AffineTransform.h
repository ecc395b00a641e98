#pragma once

#include <QPointF>
#include <QRectF>

namespace tk {

// A 2-D affine transform in the row-vector form the composition layer uses:
//   x' = a·x + c·y + tx,  y' = b·x + d·y + ty.
// `then(other)` applies this transform first and `other` after it. A plain value; any thread.
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

  AffineTransform then(const AffineTransform& o) const {
    return {a * o.a + b * o.c, a * o.b + b * o.d,          c * o.a + d * o.c,
            c * o.b + d * o.d, tx * o.a + ty * o.c + o.tx, tx * o.b + ty * o.d + o.ty};
  }
  QPointF map(QPointF p) const { return {a * p.x() + c * p.y() + tx, b * p.x() + d * p.y() + ty}; }
  bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }
  bool operator==(const AffineTransform&) const = default;
};

}  // namespace tk
