#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QRegion>

class QPainter;

namespace tk {

// Drawing helpers the overlay views share: circles stroked the way the views specify them (the
// stroke centred on the path, butt caps, miter joins), a Gaussian blur for glows and shadows, the
// animation curves, and the region an image actually covers.
struct OverlayPainting {
  static QImage transparentImage(QSize size);
  static void strokeCircle(QPainter& painter, const QRectF& frame, double lineWidth,
                           const QColor& color);
  static void fillCircle(QPainter& painter, const QRectF& frame, const QColor& color);
  static void strokePath(QPainter& painter, const QPainterPath& path, double lineWidth,
                         const QColor& color);

  // Blurs the premultiplied image in place with a Gaussian of the given radius (in pixels).
  static void blur(QImage& image, double radius);
  // Draws `layer` blurred with `radius` at `offset`.
  static void drawBlurred(QPainter& painter, QImage layer, double radius, QPointF offset = {});

  // The standard animation curves on progress 0..1 (cubic Béziers).
  static double easeOut(double progress);
  static double easeIn(double progress);

  // Pixels whose alpha reaches `threshold`: what an opaque window must be shaped to.
  static QRegion coveredRegion(const QImage& image, int threshold);
};

}  // namespace tk
