#include "overlays/OverlayPainting.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <vector>

namespace tk {

namespace {

QPen strokePen(double lineWidth, const QColor& color) {
  QPen pen(color, lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  pen.setMiterLimit(10);
  return pen;
}

// x(t) and y(t) of a cubic Bézier from (0,0) to (1,1) with control points (x1,y1) and (x2,y2).
double bezier(double t, double p1, double p2) {
  const double u = 1 - t;
  return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
}

double cubicCurve(double progress, double x1, double y1, double x2, double y2) {
  progress = std::clamp(progress, 0.0, 1.0);
  // Bisection on x(t): monotonic for these curves, and exact enough in 30 steps.
  double low = 0, high = 1;
  for (int i = 0; i < 30; ++i) {
    const double middle = (low + high) / 2;
    (bezier(middle, x1, x2) < progress ? low : high) = middle;
  }
  return bezier((low + high) / 2, y1, y2);
}

void blurPass(const QImage& source, QImage& target, const std::vector<float>& kernel,
              bool horizontal) {
  const int radius = int(kernel.size() / 2);
  const int width = source.width();
  const int height = source.height();
  for (int y = 0; y < height; ++y) {
    auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
    for (int x = 0; x < width; ++x) {
      float sum[4] = {0, 0, 0, 0};
      for (int k = -radius; k <= radius; ++k) {
        const int sx = horizontal ? x + k : x;
        const int sy = horizontal ? y : y + k;
        if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
        const QRgb pixel = reinterpret_cast<const QRgb*>(source.constScanLine(sy))[sx];
        const float weight = kernel[size_t(k + radius)];
        sum[0] += weight * float(qAlpha(pixel));
        sum[1] += weight * float(qRed(pixel));
        sum[2] += weight * float(qGreen(pixel));
        sum[3] += weight * float(qBlue(pixel));
      }
      auto channel = [](float value) { return std::clamp(int(std::lround(value)), 0, 255); };
      out[x] = qRgba(channel(sum[1]), channel(sum[2]), channel(sum[3]), channel(sum[0]));
    }
  }
}

}  // namespace

QImage OverlayPainting::transparentImage(QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

void OverlayPainting::strokeCircle(QPainter& painter, const QRectF& frame, double lineWidth,
                                   const QColor& color) {
  painter.setPen(strokePen(lineWidth, color));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(frame);
}

void OverlayPainting::fillCircle(QPainter& painter, const QRectF& frame, const QColor& color) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawEllipse(frame);
}

void OverlayPainting::strokePath(QPainter& painter, const QPainterPath& path, double lineWidth,
                                 const QColor& color) {
  painter.setPen(strokePen(lineWidth, color));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
}

void OverlayPainting::blur(QImage& image, double radius) {
  if (radius <= 0 || image.isNull()) return;
  // The blur radius is the Gaussian's standard deviation; three of them hold nearly all weight.
  const double sigma = radius;
  const int extent = int(std::ceil(3 * sigma));
  std::vector<float> kernel(size_t(2 * extent + 1));
  float total = 0;
  for (int k = -extent; k <= extent; ++k) {
    const float weight = float(std::exp(-(k * k) / (2 * sigma * sigma)));
    kernel[size_t(k + extent)] = weight;
    total += weight;
  }
  for (float& weight : kernel) weight /= total;
  image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage pass(image.size(), image.format());
  blurPass(image, pass, kernel, true);
  blurPass(pass, image, kernel, false);
}

void OverlayPainting::drawBlurred(QPainter& painter, QImage layer, double radius, QPointF offset) {
  blur(layer, radius);
  painter.drawImage(offset, layer);
}

double OverlayPainting::easeOut(double progress) { return cubicCurve(progress, 0, 0, 0.58, 1); }
double OverlayPainting::easeIn(double progress) { return cubicCurve(progress, 0.42, 0, 1, 1); }

QRegion OverlayPainting::coveredRegion(const QImage& image, int threshold) {
  const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QRegion region;
  for (int y = 0; y < source.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    int runStart = -1;
    for (int x = 0; x <= source.width(); ++x) {
      const bool covered = x < source.width() && qAlpha(row[x]) >= threshold;
      if (covered && runStart < 0) runStart = x;
      if (!covered && runStart >= 0) {
        region += QRect(runStart, y, x - runStart, 1);
        runStart = -1;
      }
    }
  }
  return region;
}

}  // namespace tk
