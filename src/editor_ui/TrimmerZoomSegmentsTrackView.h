#pragma once

#include <QPointF>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "editor_ui/SelectionBinding.h"
#include "editor_ui/TimelineScale.h"
#include "editor_ui/ZoomSegmentBar.h"
#include "model/MetadataEvents.h"
#include "model/ZoomSegmentList.h"

namespace tk {

// The timeline track of zoom segments: one bar per segment on the timeline's time axis. A tap on a
// bar selects it; a drag moves it, or resizes it when it starts within 10 pt of an edge (the start
// edge wins where the two overlap). Each movement reports an absolute time worked out from the
// values at the drag's start, so a value the model limits never accumulates. The track keeps only
// the drag in progress; presses on empty space are left to the timeline. A paint draws only the
// bars that show in the exposed area (the selected one last, on top). Main thread.
class TrimmerZoomSegmentsTrackView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 44;
  static constexpr double kEdgeZone = 10;

  enum class DragType { none, move, resizeStart, resizeEnd };

  TrimmerZoomSegmentsTrackView(SelectionBinding selectedId, QWidget* parent = nullptr);

  // Never called by a gesture of this track: zoom segments are added from the edit controls.
  std::function<void(double time)> onAdd;
  std::function<void(const QUuid& id, double time)> onMove;
  std::function<void(const QUuid& id, double time)> onResizeStart;
  std::function<void(const QUuid& id, double time)> onResizeEnd;

  void setSegments(ZoomSegmentList segments);
  void setDuration(double duration);
  const ZoomSegmentList& segments() const { return segments_; }

  // The bar of each segment, in list order, with the centre it is drawn at.
  struct PlacedBar {
    ZoomSegmentBar bar;
    QPointF centre;
    double startX = 0;
    double endX = 0;
  };
  std::vector<PlacedBar> placedBars() const;
  // What a drag that starts at x does to a bar spanning startX ... endX.
  static DragType dragTypeAt(double x, double startX, double endX);

  std::optional<QUuid> draggedSegmentId() const { return draggedSegmentId_; }
  // How many bars the last paint drew: at most a few per pixel of the exposed width, however many
  // segments there are.
  int paintedBars() const { return paintedBars_; }
  DragType dragType() const { return dragType_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TimelineScale scale() const { return {double(width()), duration_}; }
  void dragTo(double x);

  SelectionBinding selectedId_;
  ZoomSegmentList segments_;
  double duration_ = 0;
  int paintedBars_ = 0;
  bool startOrdered_ = true;

  // The press that may become a tap or a drag.
  std::optional<QUuid> pressedSegmentId_;
  QPointF pressPosition_;
  // The drag in progress.
  std::optional<QUuid> draggedSegmentId_;
  DragType dragType_ = DragType::none;
  double dragStartX_ = 0;
  double originalStartTime_ = 0;
  double originalEndTime_ = 0;
};

}  // namespace tk
