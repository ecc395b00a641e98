#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>
#include <vector>

#include "editor/OutputAspectRatio.h"
#include "editor/ZoomSegmentIndex.h"
#include "model/CameraShape.h"
#include "model/MetadataEvents.h"
#include "platform/composition/AffineTransform.h"

namespace tk {

struct RoundedCameraCompositorSettings;

// The editor preview's layout: pure functions of their inputs, so that tests and the widgets share
// them. Rectangles are in widget space (origin top left, y down). Any thread.
namespace TrimmerPreviewGeometry {

// Width over height of the preview for an aspect: `original` takes the movie's own ratio.
double previewAspectRatio(OutputAspectRatio aspect, QSizeF videoNaturalSize);
// The canvas ratio: 9:16 for the vertical stack, else the preview ratio.
double canvasAspectRatio(bool verticalStack, OutputAspectRatio aspect, QSizeF videoNaturalSize);
// The largest rectangle of `ratio` inside `available`, touching it on two sides.
QSizeF canvasSize(QSizeF available, double ratio);
// The screen area of the standard layout inside a canvas: the movie's ratio fitted by the preview ratio.
QSizeF standardScreenArea(QSizeF canvas, double previewRatio, QSizeF videoNaturalSize);

// The two bands of the vertical stack on a 9:16 canvas, camera above screen, `gap` apart.
struct VerticalStackBands {
  QRectF camera;
  QRectF screen;
  double gap = 0;
};
VerticalStackBands verticalStackBands(QSizeF canvas);

// Where the screen picture lies in a canvas. With the background on it is the export's own padded
// and fitted rectangle (the compositor's screenRect, flipped to widget space), so the preview shows
// what the export writes; with it off, the screen area centred in the canvas.
QRectF screenLayerRect(const RoundedCameraCompositorSettings& settings, QSizeF canvas, QSizeF screenArea,
                       QSizeF videoNaturalSize);

// The camera bubble's shrink at `t` from the zoom segments (sorted by start): eased in before each
// segment, `shrinkFactor` while it holds, eased out after it; 1 elsewhere. `index`, when given, is
// built from the same segments and spares the walk over all of them.
double overlayScale(const std::vector<ZoomSegment>& zoomSegments, double shrinkFactor, double t,
                    const ZoomSegmentIndex* index = nullptr);

// The zoom of the preview at `t` for an area of `size`: segments win over keyframes; identity
// when zoom preview is off or there is nothing to zoom.
AffineTransform previewZoomTransform(bool enableZoomPreview, const std::vector<ZoomSegment>& segments,
                                     const std::vector<ZoomKeyframe>& keyframes,
                                     const std::vector<CursorPosition>* cursorPositions, double t,
                                     QSizeF size, const ZoomSegmentIndex* index = nullptr);

// A location in an area, normalised and held inside 0...1 (y down, no flip).
QPointF normalisedDragLocation(QPointF location, QSizeF area);

// The camera bubble in a container (top-down): its full-size base, the shrunken frame that keeps
// the nearer side and top-or-bottom edges, and its corner radius.
struct CameraBubble {
  QRectF frame;
  double cornerRadius = 0;
};
std::optional<CameraBubble> cameraBubble(QSizeF container, QPointF centerNormalized, double widthFraction,
                                         double scale, CameraShape shape);

}  // namespace TrimmerPreviewGeometry

}  // namespace tk
