#pragma once

#include <vector>

#include "editor_ui/SelectionBinding.h"
#include "editor_ui/TrimmerMarkerTrackView.h"
#include "model/MetadataEvents.h"

namespace tk {

// The zoom keyframes as markers; a tap selects one in the editor view, which opens its editor.
// Main thread.
class TrimmerZoomKeyframesTrackView : public TrimmerMarkerTrackView {
  Q_OBJECT

 public:
  static constexpr int kHeight = 44;

  explicit TrimmerZoomKeyframesTrackView(SelectionBinding selectedId, QWidget* parent = nullptr);

  void setKeyframes(const std::vector<ZoomKeyframe>& keyframes) {
    setItemsOf(keyframes, &ZoomKeyframe::time);
  }
  std::optional<QUuid> selectedId() const override { return selectedId_.value(); }

 protected:
  void paintMarker(QPainter& painter, const QRectF& rect, bool selected) const override;
  void select(const QUuid& id) override { selectedId_.assign(id); }

 private:
  SelectionBinding selectedId_;
};

}  // namespace tk
