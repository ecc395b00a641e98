#pragma once

#include <vector>

#include "editor_ui/TrimmerMarkerTrackView.h"
#include "model/MetadataEvents.h"

namespace tk {

// The zoom events recorded during capture, as markers; a tap only highlights one (the selection is
// the track's own and starts empty). Main thread.
class TrimmerZoomEventsTrackView : public TrimmerMarkerTrackView {
  Q_OBJECT

 public:
  static constexpr int kHeight = 44;

  explicit TrimmerZoomEventsTrackView(QWidget* parent = nullptr);

  void setEvents(const std::vector<ZoomEvent>& events) { setItemsOf(events, &ZoomEvent::timestamp); }
  std::optional<QUuid> selectedId() const override { return selectedEventId_; }

 protected:
  void paintMarker(QPainter& painter, const QRectF& rect, bool selected) const override;
  void select(const QUuid& id) override { selectedEventId_ = id; }

 private:
  std::optional<QUuid> selectedEventId_;
};

}  // namespace tk
