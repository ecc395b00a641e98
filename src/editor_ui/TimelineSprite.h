#pragma once

#include <QImage>
#include <QPointF>
#include <QSizeF>
#include <functional>

class QPainter;

namespace tk {

// A small drawing made once and then copied wherever it is needed: a long recording has hundreds of
// identical markers, and copying a picture costs a fraction of drawing its curves again. It is made
// again when the device pixel ratio changes. Main thread.
class TimelineSprite {
 public:
  // Draws the picture of `size` (plus a 2 pt margin for shadows) with its top left at `topLeft`;
  // `paint` draws it into the rectangle it is given, the first time only.
  void draw(QPainter& painter, QPointF topLeft, QSizeF size,
            const std::function<void(QPainter& painter, const QRectF& rect)>& paint);

 private:
  static constexpr double kMargin = 2;
  QImage image_;
  QSizeF size_;
  double ratio_ = 0;
};

}  // namespace tk
