#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/media/MediaTime.h"
#include "platform/media/MonotonicClock.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// Click-to-zoom and cursor-follow for the live picture of a window recording.
//
// Threads: construction, setCaptureFrame, setClickZoom, the flag setters, handleClick, zoomIn and
// updateCursor run on the main thread; update and render run on the frame pump's queue. The zoom
// and anchor state sits under one mutex; render copies what it needs under the lock and crops and
// scales outside it, so a click never waits for a frame and a frame never sees half a click.
class ZoomRenderer {
 public:
  // The part of the state one frame is drawn from.
  struct Snapshot {
    bool clickZoomEnabled = false;
    double zoomScaleCurrent = 1.0;
    double zoomScaleTarget = 1.0;
    QPointF anchorNormalizedCurrent{0.5, 0.5};
    QPointF anchorNormalizedTarget{0.5, 0.5};
    QPointF cursorNormalizedPoint{0.5, 0.5};
    bool zoomAnimActive = false;
    double maxZoomScale = 2.25;
  };

  // `clock` is the media clock in seconds (tests pass their own).
  explicit ZoomRenderer(SecondsClock clock = monotonicSecondsClock());
  ~ZoomRenderer();
  ZoomRenderer(const ZoomRenderer&) = delete;
  ZoomRenderer& operator=(const ZoomRenderer&) = delete;

  // Global coordinates: origin at the bottom left of the primary display, y up.
  void setCaptureFrame(QSizeF size, QPointF origin);
  void setClickZoom(bool enabled);
  void setFollowCursorEnabled(bool enabled);
  void setHudEnabled(bool enabled);
  void setHudIncludeInRecording(bool enabled);
  void setDebugEnabled(bool enabled);

  void updateCursor(QPointF globalPoint);
  // Normalised to the captured rectangle, y from the top. Toggles between full picture and zoom.
  void handleClick(QPointF normalizedPoint);
  void zoomIn(QPointF normalizedPoint);

  // Advances the animation and smoothing to the frame time, or to the media clock without one.
  void update(std::optional<MediaTime> frameTime = std::nullopt);
  // A new pooled buffer holding the input cropped around the anchor and scaled back to full size;
  // a plain copy when no zoom is engaged. Never the input itself. Null only when no buffer could
  // be had (the caller then writes the raw frame).
  std::shared_ptr<PixelBuffer> render(const std::shared_ptr<PixelBuffer>& input);

  QPointF normalizedPoint(QPointF globalPoint) const;
  // The crop rectangle of a W x H frame for a snapshot, in frame pixels with y down; empty when
  // the frame is drawn unzoomed.
  static QRectF cropRect(const Snapshot& snapshot, int width, int height);

  Snapshot snapshot() const;
  // Seconds of the media clock as the renderer reads it.
  double now() const { return clock_(); }

  static constexpr double kDefaultMaxZoomScale = 2.25;

 private:
  void zoomInLocked(QPointF p, double now);

  SecondsClock clock_;
  mutable std::mutex mutex_;

  // Guarded by mutex_.
  QSizeF captureSize_{0, 0};
  QPointF captureOrigin_{0, 0};
  bool clickZoomEnabled_ = false;
  bool followCursorEnabled_ = false;
  bool hudEnabled_ = false;
  bool hudIncludeInRecording_ = false;
  double zoomScaleCurrent_ = 1.0;
  double zoomScaleTarget_ = 1.0;
  QPointF anchorNormalizedCurrent_{0.5, 0.5};
  QPointF anchorNormalizedTarget_{0.5, 0.5};
  QPointF cursorNormalizedPoint_{0.5, 0.5};
  double lastTimestampSec_ = 0;
  bool zoomAnimActive_ = false;
  double zoomAnimStartTime_ = 0;
  double zoomAnimFromScale_ = 1.0;
  double zoomAnimToScale_ = 1.0;
  double anchorHoldUntil_ = 0;
  double maxZoomScale_ = kDefaultMaxZoomScale;
  double zoomEaseInDuration_ = 0.45;
  double anchorHalfLife_ = 0.12;
  double scaleHalfLife_ = 0.12;
  bool debugEnabled_ = false;

  // Pump queue only.
  std::unique_ptr<PixelBufferPool> pool_;
};

}  // namespace tk
