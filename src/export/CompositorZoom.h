#pragma once

#include <QPointF>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "editor/ZoomGeometry.h"
#include "editor/ZoomSegmentIndex.h"
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

// The same zoom state and bubble size for a renderer that asks every frame; equal to zoomState() and
// zoomProgress() at every time. The segments reaching a time are found through an index built once
// for each settings object and shared by every renderer of it (an export's compositors), and a
// segment's follow path is worked out when it is first reached and kept only while it is in use, so
// the memory does not grow with the number of segments beyond the index. Built and read on one
// thread; the settings outlive it.
class FollowPaths {
 public:
  FollowPaths() = default;
  explicit FollowPaths(const std::shared_ptr<const RoundedCameraCompositorSettings>& settings);
  ZoomState zoomState(double t) const;
  double zoomProgress(double t) const;
  // How many follow paths are kept now (for tests).
  size_t keptPaths() const { return paths_.size(); }

 private:
  const std::vector<CursorPosition>& pathOf(uint32_t position) const;

  std::shared_ptr<const RoundedCameraCompositorSettings> settings_;
  std::shared_ptr<const ZoomSegmentIndex> index_;
  bool sortedCursors_ = true;
  mutable std::vector<uint32_t> found_;
  // Follow paths by position in the list; an empty one stands for every cursor sample.
  mutable std::unordered_map<uint32_t, std::vector<CursorPosition>> paths_;
};

// The focus held inside [0.5/L, 1 − 0.5/L] on each axis, so the zoomed view stays inside the frame.
QPointF clampedFocus(const ZoomState& zoom);
// Where a point of the canvas (output space, y up, W × H) goes under the zoom; unchanged at a level
// of 1.001 or less.
QPointF mapPoint(const ZoomState& zoom, QPointF point, double W, double H);
bool isZoomed(const ZoomState& zoom);

}  // namespace CompositorZoom
}  // namespace tk
