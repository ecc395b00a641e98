#include "editor_ui/TrimmerMarkerTrackView.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "editor_ui/TimelineTrackFrame.h"

namespace tk {

TrimmerMarkerTrackView::TrimmerMarkerTrackView(QString title, int height, double markerSize,
                                               Placement placement, QWidget* parent)
    : QWidget(parent), title_(std::move(title)), markerSize_(markerSize), placement_(placement) {
  setFixedHeight(height);
}

void TrimmerMarkerTrackView::setItems(std::vector<Item> items) {
  items_ = std::move(items);
  update();
}

void TrimmerMarkerTrackView::setDuration(double duration) {
  if (duration == duration_) return;
  duration_ = duration;
  update();
}

std::vector<QRectF> TrimmerMarkerTrackView::markerRects() const {
  const TimelineScale scale{double(width()), duration_};
  const double size = markerSize_;
  const double top = placement_ == Placement::bottom ? height() - size : (height() - size) / 2;
  std::vector<QRectF> rects;
  rects.reserve(items_.size());
  for (const Item& item : items_) rects.emplace_back(scale.x(item.time) - size / 2, top, size, size);
  return rects;
}

void TrimmerMarkerTrackView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TimelineTrackFrame::paint(painter, *this, title_);
  painter.setRenderHint(QPainter::Antialiasing);
  const std::optional<QUuid> selected = selectedId();
  const std::vector<QRectF> rects = markerRects();
  const QRectF bounds(rect());
  for (size_t i = 0; i < items_.size(); ++i) {
    if (rects[i].intersects(bounds)) paintMarker(painter, rects[i], selected == items_[i].id);
  }
}

void TrimmerMarkerTrackView::mousePressEvent(QMouseEvent* event) {
  pressedId_.reset();
  if (event->button() != Qt::LeftButton) return event->ignore();
  const std::vector<QRectF> rects = markerRects();
  for (size_t i = items_.size(); i-- > 0;) {  // the last drawn is on top
    if (rects[i].contains(event->position())) {
      pressedId_ = items_[i].id;
      pressPosition_ = event->position();
      return;
    }
  }
  event->ignore();  // the timeline seeks
}

void TrimmerMarkerTrackView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressedId_) return event->ignore();
  const QUuid id = *pressedId_;
  pressedId_.reset();
  const QPointF travel = event->position() - pressPosition_;
  if (!TimelineScale::isTap(travel.x(), travel.y())) return;
  select(id);
  update();
}

}  // namespace tk
