#pragma once

#include <QPointF>
#include <optional>
#include <vector>

#include "editor/ZoomSegmentIndex.h"
#include "model/MetadataEvents.h"
#include "platform/composition/AffineTransform.h"

namespace tk {

// A zoom at one instant: level 1 is no magnification; the centre is normalised to the frame with y
// measured from the top edge.
struct ZoomState {
  double level = 1;
  double centerX = 0.5;
  double centerY = 0.5;
  bool operator==(const ZoomState&) const = default;
};

// The zoom geometry the editor's preview and the export's layer transforms share: pure functions of
// their inputs, callable from any thread. Every cursor list handed in is sorted by timestamp.
namespace ZoomGeometry {

// The quintic ease-in-out every ramp uses (0 before 0, 1 from 1 on).
double easeInOutQuint(double p);
// The cubic ease-in-out of the keyframe and event transforms of an export.
double easeInOutCubic(double p);

// Scale by `level` about the centre, with the centre first held inside the band that keeps the
// zoomed frame covering the picture. Identity at a level of 1.001 or less, for a frame without
// area, and for a level that is not a finite number; a centre that is not a number counts as 0.
AffineTransform zoomTransform(double centerX, double centerY, double level, double width, double height);

// The cursor at `t`: interpolated between neighbouring samples more than 1 ms apart, the first
// sample before the list starts, each coordinate clamped to 0...1 (not-a-number becomes 0).
std::optional<QPointF> cursorPosition(const std::vector<CursorPosition>& positions, double t);
std::optional<QPointF> optionalCursorPosition(const std::vector<CursorPosition>* positions, double t);

// Exponential smoothing with a half-life in seconds; lists shorter than 3 come back unchanged.
std::vector<CursorPosition> smoothCursorPositions(const std::vector<CursorPosition>& positions,
                                                  double halfLife);
// The path a zoom segment's view takes after the cursor: a dead zone, speed-dependent lag and a
// fade-in after each rest.
std::vector<CursorPosition> cursorFollowPath(const std::vector<CursorPosition>& positions,
                                             const ZoomSegment& segment);

// The zoom of a set of segments at `t` (segments in any order; overlapping ones blend). A caller
// that asks often passes an index built from the same segments, so a look-up does not go over them
// all; without one, one is built for the call.
ZoomState zoomStateAtTime(const std::vector<ZoomSegment>& segments,
                          const std::vector<CursorPosition>* cursorPositions, double t,
                          const ZoomSegmentIndex* index = nullptr);
// The zoom of keyframes sorted by time at `t`, eased with the quintic ramp (preview) or the cubic
// one (export transforms).
ZoomState zoomStateFromKeyframes(const std::vector<ZoomKeyframe>& keyframes,
                                 const std::vector<CursorPosition>* cursorPositions, double t);
ZoomState zoomStateFromKeyframesForExport(const std::vector<ZoomKeyframe>& keyframes,
                                          const std::vector<CursorPosition>* cursorPositions, double t);

}  // namespace ZoomGeometry
}  // namespace tk
