#include "editor_ui/TrimmerZoomSegmentsTrackView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TimelineTrackFrame.h"

namespace tk {

TrimmerZoomSegmentsTrackView::TrimmerZoomSegmentsTrackView(SelectionBinding selectedId, QWidget* parent)
    : QWidget(parent), selectedId_(std::move(selectedId)) {
  setFixedHeight(kHeight);
}

void TrimmerZoomSegmentsTrackView::setSegments(ZoomSegmentList segments) {
  segments_ = std::move(segments);
  startOrdered_ = std::is_sorted(segments_.begin(), segments_.end(),
                                 [](const auto& a, const auto& b) { return a.startTime < b.startTime; });
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

void TrimmerZoomSegmentsTrackView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  TimelineTrackFrame::paint(painter, *this, QStringLiteral("Zoom Segments"));
  painter.setRenderHint(QPainter::Antialiasing);
  paintedBars_ = 0;
  const TimelineScale scale = this->scale();
  const std::optional<QUuid> selected = selectedId_.value();
  const QRectF exposed(event->rect());
  const QPointF middle(0, height() / 2.0);
  const ZoomSegment* chosen = nullptr;
  double chosenStart = 0, chosenEnd = 0;
  // Only what can be seen is drawn. Segments come in start order, so the first that starts past
  // the exposed right edge ends the walk; a narrow bar that falls inside the pixels of the narrow
  // bar drawn just before adds nothing (thousands of them share each pixel of a long movie).
  double coveredLeft = 0, coveredRight = -1;
  for (const ZoomSegment& segment : segments_) {
    const double startX = scale.x(segment.startTime), endX = scale.x(segment.endTime);
    if (startX - ZoomSegmentBar::kMinimumWidth > exposed.right()) {
      if (startOrdered_) break;
      continue;
    }
    if (selected == segment.id) {
      chosen = &segment;
      chosenStart = startX;
      chosenEnd = endX;
      continue;  // drawn last, on top
    }
    const double width = endX - startX;
    const QPointF centre(startX + width / 2, middle.y());
    const ZoomSegmentBar probe{{}, false, width};
    const QRectF drawn = probe.rect(centre);
    if (!drawn.intersects(exposed)) continue;
    const bool narrow = !probe.showsLabel() && probe.drawnWidth() == ZoomSegmentBar::kMinimumWidth;
    if (narrow) {
      if (std::floor(drawn.left()) >= coveredLeft && std::ceil(drawn.right()) <= coveredRight + 1) continue;
      coveredLeft = std::floor(drawn.left());
      coveredRight = std::ceil(drawn.right());
    }
    ZoomSegmentBar{segment, false, width}.paint(painter, centre);
    ++paintedBars_;
  }
  if (chosen) {
    const double width = chosenEnd - chosenStart;
    const ZoomSegmentBar bar{*chosen, true, width};
    const QPointF centre(chosenStart + width / 2, middle.y());
    if (bar.rect(centre).intersects(exposed)) {
      bar.paint(painter, centre);
      ++paintedBars_;
    }
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
