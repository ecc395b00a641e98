#pragma once

#include <vector>

#include "editor_ui/TrimmerMarkerTrackView.h"
#include "model/MetadataEvents.h"

namespace tk {

// The recording's camera positions as markers; a tap only highlights one (the selection is the
// track's own and starts empty). Main thread.
class TrimmerCameraKeyframesTrackView : public TrimmerMarkerTrackView {
  Q_OBJECT

 public:
  static constexpr int kHeight = 40;

  explicit TrimmerCameraKeyframesTrackView(QWidget* parent = nullptr);

  void setKeyframes(const std::vector<CameraKeyframe>& keyframes) {
    setItemsOf(keyframes, &CameraKeyframe::timestamp);
  }
  std::optional<QUuid> selectedId() const override { return selectedKeyframeId_; }

 protected:
  void paintMarker(QPainter& painter, const QRectF& rect, bool selected) const override;
  void select(const QUuid& id) override { selectedKeyframeId_ = id; }

 private:
  std::optional<QUuid> selectedKeyframeId_;
};

}  // namespace tk
