#include "editor_ui/TrimmerZoomKeyframesTrackView.h"

#include "editor_ui/TrimmerZoomEventMarker.h"

namespace tk {

TrimmerZoomKeyframesTrackView::TrimmerZoomKeyframesTrackView(SelectionBinding selectedId, QWidget* parent)
    : TrimmerMarkerTrackView(QStringLiteral("Zoom Keyframes"), kHeight, TrimmerZoomEventMarker::kSize,
                             Placement::bottom, parent),
      selectedId_(std::move(selectedId)) {}

void TrimmerZoomKeyframesTrackView::paintMarker(QPainter& painter, const QRectF& rect, bool selected) const {
  // A keyframe looks like an event: only the selection shows.
  TrimmerZoomEventMarker{ZoomEvent{}, selected}.paint(painter, rect);
}

}  // namespace tk
