#include "overlays/RippleEffectView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "overlays/MouseButtonColors.h"
#include "overlays/OverlayPainting.h"

namespace tk {

RippleEffectView::Style RippleEffectView::style(ClickType clickType, const QColor& userColor) {
  switch (clickType) {
    case ClickType::rightClick:
      return {2, 4, MouseButtonColors::purple(), 0.6};
    case ClickType::doubleClick:
      return {4, 2, MouseButtonColors::yellow(), 0.4};
    case ClickType::leftClick:
      break;
  }
  return {3, 3, userColor, 0.6};
}

RippleEffectView::RippleEffectView(QColor color, ClickType clickType, double rippleScale,
                                   double rippleOpacity)
    : color_(color), clickType_(clickType), startScale_(rippleScale), startOpacity_(rippleOpacity) {}

double RippleEffectView::progress(double elapsed) const {
  return OverlayPainting::easeOut(std::clamp(elapsed / duration(), 0.0, 1.0));
}

double RippleEffectView::rippleScale(double elapsed) const {
  return startScale_ + (1.0 - startScale_) * progress(elapsed);
}

double RippleEffectView::rippleOpacity(double elapsed) const {
  return startOpacity_ * (1.0 - progress(elapsed));
}

QImage RippleEffectView::render(double elapsed) const {
  QImage image = OverlayPainting::transparentImage(QSize(kSide, kSide));
  const Style row = style(clickType_, color_);
  const double scale = rippleScale(elapsed);
  const double opacity = rippleOpacity(elapsed);
  if (opacity <= 0) return image;
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(kSide / 2.0, kSide / 2.0);
  const QRectF whole(0, 0, kSide, kSide);
  // Each ring is the full-size circle scaled about the centre, its stroke scaled with it; a
  // negative scale mirrors the circle, which draws the same ring.
  for (int ring = 0; ring < row.rings; ++ring) {
    const double ringScale = std::abs(scale - 0.1 * ring);
    if (ringScale <= 0) continue;
    painter.save();
    painter.translate(centre);
    painter.scale(ringScale, ringScale);
    painter.translate(-centre);
    OverlayPainting::strokeCircle(painter, whole, row.lineWidth,
                                  MouseButtonColors::withOpacity(row.color, (1 - 0.2 * ring) * opacity));
    painter.restore();
  }
  const double dot = 0.2 * kSide;
  OverlayPainting::fillCircle(painter,
                              QRectF(centre.x() - dot / 2, centre.y() - dot / 2, dot, dot),
                              MouseButtonColors::withOpacity(row.color, opacity));
  return image;
}

}  // namespace tk
