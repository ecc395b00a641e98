#pragma once

#include <QSizeF>
#include <optional>
#include <vector>

#include "model/MetadataEvents.h"
#include "platform/composition/VideoCompositionLayerInstruction.h"

namespace tk {

// Bakes a recording's zoom into the screen track's layer instruction: one transform per 1/60 s of
// video, set at that time on a 1/600 s grid. Each transform scales by the zoom level about the focus
// so that the focus lands in the middle of the picture, then adds the offset that centres the picture
// on the canvas: the picture is `videoSize` (the source's own size) when given, else the canvas.
// Called on the exporter's thread while it builds its composition; no state.
namespace ExportZoomTransforms {

// From zoom segments (the editor's blended segment state, cursor-following).
void applyZoomSegmentsForExport(VideoCompositionLayerInstruction& layer,
                                const std::vector<ZoomSegment>& segments,
                                const std::vector<CursorPosition>& cursorPositions,
                                std::optional<QSizeF> videoSize, double duration, QSizeF renderSize);
// From zoom keyframes, following the cursor between them when there are cursor samples.
void applyZoomKeyframesForExport(VideoCompositionLayerInstruction& layer,
                                 const std::vector<ZoomKeyframe>& keyframes,
                                 const std::vector<CursorPosition>* cursorPositions, double duration,
                                 QSizeF renderSize, std::optional<QSizeF> videoSize = std::nullopt);
// From the zoom events recorded during capture (their y measured from the bottom edge).
void applyZoomEventsForExport(VideoCompositionLayerInstruction& layer, const std::vector<ZoomEvent>& events,
                              double duration, QSizeF renderSize,
                              std::optional<QSizeF> videoSize = std::nullopt);

// The transform for level `s` and centre (cx, cy) on a picture of `size`, shifted by `offset`.
AffineTransform transform(double s, double cx, double cy, QSizeF size, QPointF offset);
// Frames of a duration at 60 per second, truncated; 0 for a duration that is negative or not finite.
long long frameCount(double duration);

}  // namespace ExportZoomTransforms
}  // namespace tk
