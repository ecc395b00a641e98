#include "editor_ui/TimelineSprite.h"

#include <QPaintDevice>
#include <QPainter>
#include <cmath>

namespace tk {

void TimelineSprite::draw(QPainter& painter, QPointF topLeft, QSizeF size,
                          const std::function<void(QPainter& painter, const QRectF& rect)>& paint) {
  const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  if (image_.isNull() || ratio != ratio_ || size != size_) {
    const QSizeF whole = size + QSizeF(2 * kMargin, 2 * kMargin);
    image_ = QImage(static_cast<int>(std::ceil(whole.width() * ratio)),
                    static_cast<int>(std::ceil(whole.height() * ratio)), QImage::Format_ARGB32_Premultiplied);
    image_.setDevicePixelRatio(ratio);
    image_.fill(Qt::transparent);
    QPainter sprite(&image_);
    sprite.setRenderHint(QPainter::Antialiasing);
    paint(sprite, QRectF(QPointF(kMargin, kMargin), size));
    ratio_ = ratio;
    size_ = size;
  }
  painter.drawImage(topLeft - QPointF(kMargin, kMargin), image_);
}

}  // namespace tk
