#include "export/ExportZoomTransforms.h"

#include <algorithm>
#include <cmath>

#include "editor/ZoomGeometry.h"
#include "export/DiagnosticText.h"
#include "platform/qt/Diagnostics.h"

namespace tk::ExportZoomTransforms {
namespace {

constexpr double kFrame = 1.0 / 60;

double unit(double v) {
  return v >= 0 ? std::min(v, 1.0) : 0;
}  // not-a-number gives 0

std::string sizeText(QSizeF s) {
  return bracketed({s.width(), s.height()});
}

QPointF centringOffset(QSizeF picture, QSizeF canvas) {
  return {(canvas.width() - picture.width()) * 0.5, (canvas.height() - picture.height()) * 0.5};
}

template <typename T, typename Key>
std::vector<T> sortedBy(std::vector<T> list, Key key) {
  std::stable_sort(list.begin(), list.end(), [&](const T& a, const T& b) { return key(a) < key(b); });
  return list;
}

void set(VideoCompositionLayerInstruction& layer, long long i, const AffineTransform& t) {
  layer.setTransform(t, MediaTime::fromSeconds(static_cast<double>(i) * kFrame, 600));
}

}  // namespace

long long frameCount(double duration) {
  if (!std::isfinite(duration) || duration < 0) return 0;
  return static_cast<long long>(duration * 60);
}

AffineTransform transform(double s, double cx, double cy, QSizeF size, QPointF offset) {
  const double w = size.width(), h = size.height();
  auto t =
      AffineTransform::scale(s, s).then(AffineTransform::translation(w / 2 - s * w * cx, h / 2 - s * h * cy));
  if (!offset.isNull()) t = t.then(AffineTransform::translation(offset.x(), offset.y()));
  return t;
}

void applyZoomSegmentsForExport(VideoCompositionLayerInstruction& layer,
                                const std::vector<ZoomSegment>& segments,
                                const std::vector<CursorPosition>& cursors, std::optional<QSizeF> videoSize,
                                double duration, QSizeF renderSize) {
  if (segments.empty()) return;
  const auto sorted = sortedBy(segments, [](const ZoomSegment& s) { return s.startTime; });
  const long long n = frameCount(duration);
  const QSizeF picture = videoSize.value_or(renderSize);
  const QPointF offset = centringOffset(picture, renderSize);
  Diagnostics::line("🎬 Applying zoom segments for export:");
  Diagnostics::line("   renderSize=" + sizeText(renderSize) + ", videoSize=" + sizeText(picture) +
                    ", offset=" + bracketed({offset.x(), offset.y()}));
  for (size_t i = 0; i < sorted.size(); ++i)
    Diagnostics::linef("   [%zu] %.2fs - %.2fs @ %sx", i, sorted[i].startTime, sorted[i].endTime,
                       formatDouble(sorted[i].zoomLevel).c_str());
  for (long long i = 0; i < n; ++i) {
    const ZoomState z = ZoomGeometry::zoomStateAtTime(sorted, &cursors, static_cast<double>(i) * kFrame);
    set(layer, i, transform(z.level, unit(z.centerX), unit(z.centerY), picture, offset));
  }
}

void applyZoomKeyframesForExport(VideoCompositionLayerInstruction& layer,
                                 const std::vector<ZoomKeyframe>& keyframes,
                                 const std::vector<CursorPosition>* cursors, double duration,
                                 QSizeF renderSize, std::optional<QSizeF> videoSize) {
  if (keyframes.empty()) return;
  const auto sorted = sortedBy(keyframes, [](const ZoomKeyframe& k) { return k.time; });
  const long long n = frameCount(duration);
  const QSizeF picture = videoSize.value_or(renderSize);
  const QPointF offset = centringOffset(picture, renderSize);
  Diagnostics::line("🎬 Applying zoom keyframes for export:");
  for (size_t i = 0; i < sorted.size(); ++i)
    Diagnostics::linef("   [%zu] t=%.2fs center=(%.2f, %.2f) level=%sx", i, sorted[i].time,
                       sorted[i].center.x(), sorted[i].center.y(), formatDouble(sorted[i].level).c_str());
  for (long long i = 0; i < n; ++i) {
    const ZoomState z =
        ZoomGeometry::zoomStateFromKeyframesForExport(sorted, cursors, static_cast<double>(i) * kFrame);
    set(layer, i, transform(z.level, unit(z.centerX), unit(z.centerY), picture, offset));
  }
}

void applyZoomEventsForExport(VideoCompositionLayerInstruction& layer, const std::vector<ZoomEvent>& events,
                              double duration, QSizeF renderSize, std::optional<QSizeF> videoSize) {
  if (events.empty()) return;
  const auto sorted = sortedBy(events, [](const ZoomEvent& e) { return e.timestamp; });
  const long long n = frameCount(duration);
  const QSizeF picture = videoSize.value_or(renderSize);
  const QPointF offset = centringOffset(picture, renderSize);
  ZoomState current, target, start;
  double transitionStart = 0, length = 0;
  bool transitioning = false;
  size_t next = 0;
  for (long long i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) * kFrame;
    std::optional<double> p;
    if (next < sorted.size() && sorted[next].timestamp <= t) {
      const ZoomEvent& e = sorted[next++];
      target = {e.level, unit(e.position.x()), unit(1 - e.position.y())};
      length = e.duration;
      start = current;
      transitionStart = t;
      transitioning = true;
      if (length <= 0 || !std::isfinite(length)) {
        current = target;
        transitioning = false;
      } else {
        p = 0;
      }
    } else if (transitioning) {
      const double elapsed = t - transitionStart;
      if (elapsed >= length) {
        current = target;
        transitioning = false;
      } else {
        p = elapsed / length;
      }
    }
    if (p) {
      const double e = ZoomGeometry::easeInOutCubic(*p);
      current = {start.level + e * (target.level - start.level),
                 start.centerX + e * (target.centerX - start.centerX),
                 start.centerY + e * (target.centerY - start.centerY)};
    }
    set(layer, i, transform(current.level, unit(current.centerX), unit(current.centerY), picture, offset));
  }
}

}  // namespace tk::ExportZoomTransforms
