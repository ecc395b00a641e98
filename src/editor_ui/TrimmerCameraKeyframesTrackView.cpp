#include "editor_ui/TrimmerCameraKeyframesTrackView.h"

#include "editor_ui/TrimmerCameraKeyframeMarker.h"

namespace tk {

TrimmerCameraKeyframesTrackView::TrimmerCameraKeyframesTrackView(QWidget* parent)
    : TrimmerMarkerTrackView(QStringLiteral("Camera Keyframes"), kHeight, TrimmerCameraKeyframeMarker::kSize,
                             Placement::centred, parent) {}

void TrimmerCameraKeyframesTrackView::paintMarker(QPainter& painter, const QRectF& rect,
                                                  bool selected) const {
  TrimmerCameraKeyframeMarker{selected}.paint(painter, rect);
}

}  // namespace tk
