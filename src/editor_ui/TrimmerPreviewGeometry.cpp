#include "editor_ui/TrimmerPreviewGeometry.h"

#include <algorithm>
#include <cmath>

#include "editor/ZoomGeometry.h"
#include "export/CanvasSpace.h"
#include "export/RoundedCameraCompositor.h"
#include "export/RoundedCameraCompositorSettings.h"

namespace tk::TrimmerPreviewGeometry {

double previewAspectRatio(OutputAspectRatio aspect, QSizeF videoNaturalSize) {
  if (auto ratio = AspectRatio::ratio(aspect)) return *ratio;
  return videoNaturalSize.width() / std::max(videoNaturalSize.height(), 1.0);
}

double canvasAspectRatio(bool verticalStack, OutputAspectRatio aspect, QSizeF videoNaturalSize) {
  return verticalStack ? 0.5625 : previewAspectRatio(aspect, videoNaturalSize);
}

QSizeF canvasSize(QSizeF available, double ratio) {
  const double W = available.width(), H = available.height();
  if (!(ratio > 0)) return {0, 0};
  const double c = W / std::max(H, 1.0);
  if (c >= ratio) return {ratio * H, H};
  return {W, W / ratio};
}

QSizeF standardScreenArea(QSizeF canvas, double previewRatio, QSizeF videoNaturalSize) {
  const double v = videoNaturalSize.height() >= 1 ? videoNaturalSize.width() / videoNaturalSize.height()
                                                  : videoNaturalSize.width();
  if (!(v > 0)) return canvas;
  if (previewRatio < v) return {canvas.width(), canvas.width() / v};
  return {v * canvas.height(), canvas.height()};
}

VerticalStackBands verticalStackBands(QSizeF canvas) {
  const double Hc = canvas.height(), Wc = canvas.width();
  const double s = Hc / 1920, g = 4 * s;
  const double cameraHeight = 0.35 * Hc - g / 2, screenHeight = 0.65 * Hc - g / 2;
  return {QRectF(0, 0, Wc, cameraHeight), QRectF(0, cameraHeight + g, Wc, screenHeight), g};
}

QRectF screenLayerRect(const RoundedCameraCompositorSettings& settings, QSizeF canvas, QSizeF screenArea,
                       QSizeF videoNaturalSize) {
  const QPointF areaOrigin((canvas.width() - screenArea.width()) / 2,
                           (canvas.height() - screenArea.height()) / 2);
  const QRectF area(areaOrigin, screenArea);
  if (!settings.backgroundEnabled) return area;
  bool padded = false;
  const QRectF rect =
      RoundedCameraCompositor::screenRect(settings, canvas.width(), canvas.height(), videoNaturalSize.width(),
                                          videoNaturalSize.height(), &padded);
  if (!padded) return area;
  return CanvasSpace{canvas.width(), canvas.height()}.toRaster(rect);
}

namespace {

// The bubble's shrink under one segment at t, when the segment acts there.
std::optional<double> segmentScale(const ZoomSegment& segment, double s, double t) {
  const double a = segment.startTime, b = segment.endTime, i = segment.easeIn, o = segment.easeOut;
  const double r = std::max(a - i, 0.0);
  if (t >= r && t < a) {
    const double q = ZoomGeometry::easeInOutQuint((t - r) / std::max(i, 0.0001));
    return 1 + q * (s - 1);
  }
  if (t >= a && t <= b) return s;
  if (t > b && t <= b + o) {
    const double q = ZoomGeometry::easeInOutQuint((t - b) / std::max(o, 0.0001));
    return s + q * (1 - s);
  }
  return std::nullopt;
}

}  // namespace

double overlayScale(const std::vector<ZoomSegment>& zoomSegments, double s, double t,
                    const ZoomSegmentIndex* index) {
  if (index) {
    for (uint32_t i : index->segmentsAt(t))
      if (auto scale = segmentScale(zoomSegments[i], s, t)) return *scale;
    return 1.0;
  }
  for (const auto& segment : zoomSegments)
    if (auto scale = segmentScale(segment, s, t)) return *scale;
  return 1.0;
}

AffineTransform previewZoomTransform(bool enableZoomPreview, const std::vector<ZoomSegment>& segments,
                                     const std::vector<ZoomKeyframe>& keyframes,
                                     const std::vector<CursorPosition>* cursorPositions, double t,
                                     QSizeF size, const ZoomSegmentIndex* index) {
  if (!enableZoomPreview) return AffineTransform::identity();
  ZoomState zoom;
  if (!segments.empty()) {
    zoom = ZoomGeometry::zoomStateAtTime(segments, cursorPositions, t, index);
  } else if (!keyframes.empty()) {
    std::vector<ZoomKeyframe> sorted = keyframes;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& l, const auto& r) { return l.time < r.time; });
    zoom = ZoomGeometry::zoomStateFromKeyframes(sorted, cursorPositions, t);
  } else {
    return AffineTransform::identity();
  }
  return ZoomGeometry::zoomTransform(zoom.centerX, zoom.centerY, zoom.level, size.width(), size.height());
}

QPointF normalisedDragLocation(QPointF location, QSizeF area) {
  double x = area.width() >= 1 ? location.x() / area.width() : location.x();
  double y = area.height() >= 1 ? location.y() / area.height() : location.y();
  auto unit = [](double v) { return std::max(std::min(v, 1.0), 0.0); };
  return {unit(x), unit(y)};
}

std::optional<CameraBubble> cameraBubble(QSizeF container, QPointF center, double widthFraction, double scale,
                                         CameraShape shape) {
  const double cw = container.width(), ch = container.height();
  if (!(cw > 0) || !(ch > 0)) return std::nullopt;
  const double f = std::clamp(widthFraction, 0.1, 0.5);
  const bool square = shape == CameraShape::squircle || shape == CameraShape::circle;
  const double bw = std::max(cw * f, 80.0), bh = bw * (square ? 1.0 : 0.5625);
  const double W = bw * scale, H = bh * scale;
  const double cx = center.x() * cw, cy = center.y() * ch;
  const double left = cx - bw / 2, right = cx + bw / 2, top = cy - bh / 2, bottom = cy + bh / 2;
  const double x = left < cw - right ? left : right - W;
  const double y = top < ch - bottom ? top : bottom - H;
  double factor = 0;
  switch (shape) {
    case CameraShape::squircle:
      factor = 0.22;
      break;
    case CameraShape::circle:
      factor = 0.5;
      break;
    case CameraShape::roundedRect:
      factor = 0.12;
      break;
    case CameraShape::rectangle:
      factor = 0;
      break;
  }
  return CameraBubble{QRectF(x, y, W, H), std::min(W, H) * factor};
}

}  // namespace tk::TrimmerPreviewGeometry
