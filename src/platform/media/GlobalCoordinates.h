#pragma once

#include <QPointF>
#include <QRectF>

namespace tk {

// The application's global space has its origin at the bottom left of the primary display with y
// pointing up; the X server's has its origin at the top left of the root window with y pointing
// down. This is the one place that flips between them; nothing else does.
class GlobalCoordinates {
 public:
  // `primaryDisplay` is the primary display's rectangle in X11 root coordinates.
  explicit GlobalCoordinates(QRectF primaryDisplay) : primary_(primaryDisplay) {}

  QPointF fromX11(QPointF point) const {
    return {point.x() - primary_.x(), primary_.y() + primary_.height() - point.y()};
  }
  QPointF toX11(QPointF point) const {
    return {point.x() + primary_.x(), primary_.y() + primary_.height() - point.y()};
  }
  QRectF fromX11(const QRectF& rect) const {
    return {rect.x() - primary_.x(), primary_.y() + primary_.height() - rect.y() - rect.height(),
            rect.width(), rect.height()};
  }
  QRectF toX11(const QRectF& rect) const {
    return {rect.x() + primary_.x(), primary_.y() + primary_.height() - rect.y() - rect.height(),
            rect.width(), rect.height()};
  }
  const QRectF& primaryDisplay() const { return primary_; }

  // The process-wide mapping, kept current by the X11 layer when displays change.
  static GlobalCoordinates current();
  static void setPrimaryDisplay(QRectF primaryDisplay);

 private:
  QRectF primary_;
};

}  // namespace tk
