#include "editor_ui/TrimmerZoomEventsTrackView.h"

#include "editor_ui/TrimmerZoomEventMarker.h"

namespace tk {

TrimmerZoomEventsTrackView::TrimmerZoomEventsTrackView(QWidget* parent)
    : TrimmerMarkerTrackView(QStringLiteral("Zoom Events"), kHeight, TrimmerZoomEventMarker::kSize,
                             Placement::bottom, parent) {}

void TrimmerZoomEventsTrackView::paintMarker(QPainter& painter, const QRectF& rect, bool selected) const {
  TrimmerZoomEventMarker{ZoomEvent{}, selected}.paint(painter, rect);
}

}  // namespace tk
