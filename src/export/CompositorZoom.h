#pragma once

#include <QPointF>
#include <optional>
#include <vector>

#include "editor/ZoomGeometry.h"
#include "export/RoundedCameraCompositorSettings.h"

namespace tk {

// The export compositor's own zoom: each segment ramps in, holds and ramps out (earlier segments in
// the list win), and while zoomed the view follows the recorded cursor through a dead zone and a
// half-life smoothing. These constants differ from the editor preview's. The camera bubble shrinks
// on the same timing. Pure functions of the settings; any thread.
namespace CompositorZoom {

ZoomState zoomState(const RoundedCameraCompositorSettings& settings, double t);
std::optional<QPointF> cursorFocusAt(const RoundedCameraCompositorSettings& settings,
                                     const ZoomSegment& segment, double t);
std::vector<CursorPosition> smoothedFocusPath(const std::vector<CursorPosition>& positions,
                                              const ZoomSegment& segment);
std::optional<QPointF> focusPosition(const std::vector<CursorPosition>& positions, double t);
// The camera bubble's size factor: 1 unzoomed, `shrinkFactor` while a segment holds.
double zoomProgress(const RoundedCameraCompositorSettings& settings, double t);

// The same zoom state with each segment's follow path worked out once, for a renderer that asks
// every frame; equal to zoomState() at every time. Built and read on one thread.
class FollowPaths {
 public:
  FollowPaths() = default;
  explicit FollowPaths(const RoundedCameraCompositorSettings& settings);
  ZoomState zoomState(double t) const;

 private:
  std::vector<ZoomSegment> segments_;
  std::vector<std::vector<CursorPosition>> paths_;  // per segment; empty without cursor samples
};

// The focus held inside [0.5/L, 1 − 0.5/L] on each axis, so the zoomed view stays inside the frame.
QPointF clampedFocus(const ZoomState& zoom);
// Where a point of the canvas (output space, y up, W × H) goes under the zoom; unchanged at a level
// of 1.001 or less.
QPointF mapPoint(const ZoomState& zoom, QPointF point, double W, double H);
bool isZoomed(const ZoomState& zoom);

}  // namespace CompositorZoom
}  // namespace tk
