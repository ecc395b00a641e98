#include "editor_ui/TrimmerZoomSegmentsTrackView.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TimelineTrackFrame.h"

namespace tk {

TrimmerZoomSegmentsTrackView::TrimmerZoomSegmentsTrackView(SelectionBinding selectedId, QWidget* parent)
    : QWidget(parent), selectedId_(std::move(selectedId)) {
  setFixedHeight(kHeight);
}

void TrimmerZoomSegmentsTrackView::setSegments(std::vector<ZoomSegment> segments) {
  segments_ = std::move(segments);
  update();
}

void TrimmerZoomSegmentsTrackView::setDuration(double duration) {
  if (duration == duration_) return;
  duration_ = duration;
  update();
}

std::vector<TrimmerZoomSegmentsTrackView::PlacedBar> TrimmerZoomSegmentsTrackView::placedBars() const {
  const TimelineScale scale = this->scale();
  const std::optional<QUuid> selected = selectedId_.value();
  std::vector<PlacedBar> bars;
  bars.reserve(segments_.size());
  for (const ZoomSegment& segment : segments_) {
    const double startX = scale.x(segment.startTime), endX = scale.x(segment.endTime);
    const double width = endX - startX;
    bars.push_back({ZoomSegmentBar{segment, selected == segment.id, width},
                    QPointF(startX + width / 2, height() / 2.0), startX, endX});
  }
  return bars;
}

TrimmerZoomSegmentsTrackView::DragType TrimmerZoomSegmentsTrackView::dragTypeAt(double x, double startX,
                                                                                double endX) {
  if (x < startX + kEdgeZone) return DragType::resizeStart;
  if (x > endX - kEdgeZone) return DragType::resizeEnd;
  return DragType::move;
}

void TrimmerZoomSegmentsTrackView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TimelineTrackFrame::paint(painter, *this, QStringLiteral("Zoom Segments"));
  painter.setRenderHint(QPainter::Antialiasing);
  for (const PlacedBar& placed : placedBars()) {
    if (placed.bar.rect(placed.centre).intersects(QRectF(rect()))) placed.bar.paint(painter, placed.centre);
  }
}

void TrimmerZoomSegmentsTrackView::mousePressEvent(QMouseEvent* event) {
  pressedSegmentId_.reset();
  if (event->button() != Qt::LeftButton) return event->ignore();
  const std::vector<PlacedBar> bars = placedBars();
  // Later bars are drawn on top, so they take the press.
  for (auto it = bars.rbegin(); it != bars.rend(); ++it) {
    if (it->bar.rect(it->centre).contains(event->position())) {
      pressedSegmentId_ = it->bar.segment.id;
      pressPosition_ = event->position();
      return;
    }
  }
  event->ignore();  // empty track: the timeline seeks
}

void TrimmerZoomSegmentsTrackView::mouseMoveEvent(QMouseEvent* event) {
  if (!pressedSegmentId_) return event->ignore();
  if (!draggedSegmentId_) {
    const QPointF travel = event->position() - pressPosition_;
    if (TimelineScale::isTap(travel.x(), travel.y())) return;
    // The drag begins: its kind is fixed by where the press landed on the bar.
    for (const PlacedBar& placed : placedBars()) {
      if (placed.bar.segment.id != *pressedSegmentId_) continue;
      draggedSegmentId_ = placed.bar.segment.id;
      dragStartX_ = pressPosition_.x();
      originalStartTime_ = placed.bar.segment.startTime;
      originalEndTime_ = placed.bar.segment.endTime;
      dragType_ = dragTypeAt(dragStartX_, placed.startX, placed.endX);
    }
    if (!draggedSegmentId_) return;  // the segment went away under the press
  }
  dragTo(event->position().x());
}

void TrimmerZoomSegmentsTrackView::dragTo(double x) {
  const QUuid id = *draggedSegmentId_;
  double delta = (x - dragStartX_) * scale().secondsPerPoint();
  if (!std::isfinite(delta)) delta = 0;
  switch (dragType_) {
    case DragType::move:
    case DragType::resizeStart: {
      double t = originalStartTime_ + delta;
      if (!(t >= 0)) t = 0;  // also when not a number
      auto& callback = dragType_ == DragType::move ? onMove : onResizeStart;
      if (callback) callback(id, t);
      break;
    }
    case DragType::resizeEnd: {
      double t = originalEndTime_ + delta;
      if (!(t < duration_)) t = duration_;
      if (onResizeEnd) onResizeEnd(id, t);
      break;
    }
    case DragType::none:
      break;
  }
}

void TrimmerZoomSegmentsTrackView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressedSegmentId_) return event->ignore();
  const QUuid pressed = *pressedSegmentId_;
  pressedSegmentId_.reset();
  if (draggedSegmentId_) {
    draggedSegmentId_.reset();
    dragType_ = DragType::none;
    return;
  }
  selectedId_.assign(pressed);
  update();
}

}  // namespace tk
