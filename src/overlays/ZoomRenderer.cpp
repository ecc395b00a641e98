#include "overlays/ZoomRenderer.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

double clamp01(double v) {
  v = std::min(v, 1.0);
  return v >= 0 ? v : 0;  // NaN becomes 0 too
}

// Share of the remaining distance covered in dt when the distance halves every halfLife.
double halfLifeFactor(double dt, double halfLife) {
  if (halfLife <= 0) return 1.0;
  return std::clamp(1.0 - std::exp2(-dt / halfLife), 0.0, 1.0);
}

// Output buffers kept for reuse: the pump holds one, the writer's encoder queue a few more.
constexpr size_t kPoolCapacity = 6;

}  // namespace

ZoomRenderer::ZoomRenderer(SecondsClock clock) : clock_(std::move(clock)) {}

ZoomRenderer::~ZoomRenderer() = default;

void ZoomRenderer::setCaptureFrame(QSizeF size, QPointF origin) {
  bool debug;
  {
    std::lock_guard lock(mutex_);
    captureSize_ = size;
    captureOrigin_ = origin;
    debug = debugEnabled_;
  }
  if (debug) {
    Diagnostics::line("🔎 ZoomRenderer.setCaptureFrame size=" + formatInt(int64_t(size.width())) + "x" +
                      formatInt(int64_t(size.height())) + " origin=(" + formatInt(int64_t(origin.x())) +
                      "," + formatInt(int64_t(origin.y())) + ")");
  }
}

void ZoomRenderer::setClickZoom(bool enabled) {
  bool debug;
  {
    std::lock_guard lock(mutex_);
    clickZoomEnabled_ = enabled;
    if (!enabled) zoomScaleTarget_ = 1.0;
    debug = debugEnabled_;
  }
  if (debug) Diagnostics::line("🔎 ZoomRenderer.setClickZoom enabled=" + boolText(enabled));
}

void ZoomRenderer::setFollowCursorEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  followCursorEnabled_ = enabled;
}

void ZoomRenderer::setHudEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  hudEnabled_ = enabled;
}

void ZoomRenderer::setHudIncludeInRecording(bool enabled) {
  std::lock_guard lock(mutex_);
  hudIncludeInRecording_ = enabled;
}

void ZoomRenderer::setDebugEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  debugEnabled_ = enabled;
}

QPointF ZoomRenderer::normalizedPoint(QPointF globalPoint) const {
  std::lock_guard lock(mutex_);
  if (captureSize_.width() <= 0 || captureSize_.height() <= 0) return {0.5, 0.5};
  double nx = (globalPoint.x() - captureOrigin_.x()) / std::max(captureSize_.width(), 1.0);
  double ny = 1.0 - (globalPoint.y() - captureOrigin_.y()) / std::max(captureSize_.height(), 1.0);
  return {clamp01(nx), clamp01(ny)};
}

void ZoomRenderer::updateCursor(QPointF globalPoint) {
  QPointF p = normalizedPoint(globalPoint);
  bool log;
  {
    std::lock_guard lock(mutex_);
    cursorNormalizedPoint_ = p;
    if (followCursorEnabled_) anchorNormalizedTarget_ = p;
    log = followCursorEnabled_ && debugEnabled_;
  }
  if (log) Diagnostics::linef("🖱️ ZoomRenderer.updateCursor cursorTL=(%.3f,%.3f)", p.x(), p.y());
}

void ZoomRenderer::zoomInLocked(QPointF p, double now) {
  anchorNormalizedTarget_ = p;
  anchorNormalizedCurrent_ = p;
  clickZoomEnabled_ = true;
  zoomScaleTarget_ = maxZoomScale_;
  zoomAnimFromScale_ = std::max(zoomScaleCurrent_, 1.0);
  zoomAnimToScale_ = maxZoomScale_;
  zoomAnimStartTime_ = now;
  zoomAnimActive_ = true;
  anchorHoldUntil_ = now + 0.1;
}

void ZoomRenderer::handleClick(QPointF p) {
  double now = clock_();
  std::lock_guard lock(mutex_);
  if (!(zoomScaleTarget_ > 1.05) && !(zoomScaleCurrent_ > 1.05)) {
    zoomInLocked(p, now);
    return;
  }
  clickZoomEnabled_ = true;
  zoomScaleTarget_ = 1.0;
  zoomAnimFromScale_ = zoomScaleCurrent_;
  zoomAnimToScale_ = 1.0;
  zoomAnimStartTime_ = now;
  zoomAnimActive_ = true;
  anchorHoldUntil_ = now + 0.08;
}

void ZoomRenderer::zoomIn(QPointF p) {
  double now = clock_();
  std::lock_guard lock(mutex_);
  zoomInLocked(p, now);
}

void ZoomRenderer::update(std::optional<MediaTime> frameTime) {
  double t = frameTime && frameTime->isValid() ? frameTime->seconds() : clock_();
  std::lock_guard lock(mutex_);
  double dt = lastTimestampSec_ == 0 ? 0 : t - lastTimestampSec_;
  lastTimestampSec_ = t;
  dt = std::clamp(std::isfinite(dt) ? dt : 0.0, 0.0, 0.2);

  if (followCursorEnabled_ && anchorHoldUntil_ <= t) anchorNormalizedTarget_ = cursorNormalizedPoint_;

  double a = halfLifeFactor(dt, anchorHalfLife_);
  anchorNormalizedCurrent_ += a * (anchorNormalizedTarget_ - anchorNormalizedCurrent_);

  if (zoomAnimActive_) {
    double u = (t - zoomAnimStartTime_) / std::max(zoomEaseInDuration_, 0.05);
    if (u >= 1) {
      u = 1;
      zoomAnimActive_ = false;
    }
    double s = u * u * (3 - 2 * u);
    zoomScaleCurrent_ = zoomAnimFromScale_ + s * (zoomAnimToScale_ - zoomAnimFromScale_);
  } else {
    double b = halfLifeFactor(dt, scaleHalfLife_);
    zoomScaleCurrent_ += b * (zoomScaleTarget_ - zoomScaleCurrent_);
  }

  if (zoomScaleTarget_ <= 1.0 && zoomScaleCurrent_ <= 1.001) {
    zoomScaleCurrent_ = 1.0;
    clickZoomEnabled_ = false;
  }
}

ZoomRenderer::Snapshot ZoomRenderer::snapshot() const {
  std::lock_guard lock(mutex_);
  Snapshot s;
  s.clickZoomEnabled = clickZoomEnabled_;
  s.zoomScaleCurrent = zoomScaleCurrent_;
  s.zoomScaleTarget = zoomScaleTarget_;
  s.anchorNormalizedCurrent = anchorNormalizedCurrent_;
  s.anchorNormalizedTarget = anchorNormalizedTarget_;
  s.cursorNormalizedPoint = cursorNormalizedPoint_;
  s.zoomAnimActive = zoomAnimActive_;
  s.maxZoomScale = maxZoomScale_;
  return s;
}

QRectF ZoomRenderer::cropRect(const Snapshot& snap, int width, int height) {
  double s = std::max(std::min(snap.zoomScaleCurrent, snap.maxZoomScale), 1.0);
  if (!snap.clickZoomEnabled || s <= 1.001) return {};
  double w = width, h = height;
  // Frame rows run top to bottom here, so the anchor's y (measured from the top) maps directly.
  double cx = w * clamp01(snap.anchorNormalizedCurrent.x());
  double cy = h * clamp01(snap.anchorNormalizedCurrent.y());
  double cw = w / s, ch = h / s;
  double hw = cw / 2, hh = ch / 2;
  cx = std::max(hw, std::min(cx, w - hw));
  cy = std::max(hh, std::min(cy, h - hh));
  return {cx - hw, cy - hh, cw, ch};
}

std::shared_ptr<PixelBuffer> ZoomRenderer::render(const std::shared_ptr<PixelBuffer>& input) {
  if (!input) return nullptr;
  const int w = input->width(), h = input->height();
  if (!pool_ || pool_->width() != w || pool_->height() != h) {
    pool_ = std::make_unique<PixelBufferPool>(w, h, kPoolCapacity);
  }
  std::shared_ptr<PixelBuffer> output = pool_->acquire();
  if (!output) output = PixelBuffer::create(w, h);
  if (!output) return nullptr;

  QRectF crop = cropRect(snapshot(), w, h);
  if (crop.isEmpty()) {
    output->copyFrom(*input);
    return output;
  }
  // Measured against libswscale on 1080p frames (bench_RecordingCoordinator --zoom): QPainter's
  // bilinear scaled blit keeps the sub-pixel crop and needs no per-size context rebuild while the
  // zoom animates, which swscale does on every changing crop size.
  const QImage source(input->data(), w, h, input->bytesPerRow(), QImage::Format_ARGB32_Premultiplied);
  QImage target(output->data(), w, h, output->bytesPerRow(), QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&target);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter.drawImage(QRectF(0, 0, w, h), source, crop);
  painter.end();
  return output;
}

}  // namespace tk
