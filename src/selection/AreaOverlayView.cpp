#include "selection/AreaOverlayView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "platform/media/GlobalCoordinates.h"
#include "selection/AreaSelectionStorage.h"

namespace tk {

namespace {

const QColor kControlPointColor(255, 204, 0);  // the system's yellow

// `value` within [low, high]; `low` wins when the range is empty.
double clampTo(double value, double low, double high) {
  return std::max(low, std::min(value, high));
}

}  // namespace

AreaOverlayView::AreaOverlayView(QSizeF displaySize, QSizeF size, AreaSelectionStorage& storage,
                                 QWidget* parent)
    : QWidget(parent), storage_(storage), displaySize_(displaySize) {
  setMouseTracking(false);
  setCursor(Qt::CrossCursor);
  const QRectF centred((displaySize.width() - size.width()) / 2, (displaySize.height() - size.height()) / 2,
                       size.width(), size.height());
  // A display smaller than the starting size must still hold the area.
  setSelection(constrainToBounds(centred));
}

ResizeHandle AreaOverlayView::handle(QPointF point) const {
  if (!selectionRect_) return ResizeHandle::none;
  for (ResizeHandle candidate : allResizeHandles) {
    if (candidate == ResizeHandle::none) continue;
    const QRectF square = handleSquare(candidate, *selectionRect_, kControlPointSize);
    // Closed on every side, as a point on a square's edge is on the handle.
    if (point.x() >= square.left() && point.x() <= square.right() && point.y() >= square.top() &&
        point.y() <= square.bottom())
      return candidate;
  }
  return ResizeHandle::none;
}

void AreaOverlayView::resizeSelection(QPointF point) {
  if (!selectionRect_ || !lastMouseLocation_) return;
  const double dx = point.x() - lastMouseLocation_->x();
  const double dy = point.y() - lastMouseLocation_->y();
  const QRectF r = *selectionRect_;
  const QRectF b = bounds();
  // QRectF's left/right are our left and right edges, its top() our bottom edge (smallest y) and
  // its bottom() our top edge. A pulled edge stops at the display's edge and at the minimum side
  // from the opposite edge, which never moves.
  double minX = r.left(), maxX = r.right(), minY = r.top(), maxY = r.bottom();
  const auto pullLeft = [&] { minX = clampTo(r.left() + dx, b.left(), maxX - kMinimumSide); };
  const auto pullRight = [&] { maxX = std::max(minX + kMinimumSide, std::min(r.right() + dx, b.right())); };
  const auto pullTop = [&] { maxY = std::max(minY + kMinimumSide, std::min(r.bottom() + dy, b.bottom())); };
  const auto pullBottom = [&] { minY = clampTo(r.top() + dy, b.top(), maxY - kMinimumSide); };
  switch (activeHandle_) {
    case ResizeHandle::none:
      return;
    case ResizeHandle::topLeft:
      pullLeft();
      pullTop();
      break;
    case ResizeHandle::top:
      pullTop();
      break;
    case ResizeHandle::topRight:
      pullRight();
      pullTop();
      break;
    case ResizeHandle::right:
      pullRight();
      break;
    case ResizeHandle::bottomRight:
      pullRight();
      pullBottom();
      break;
    case ResizeHandle::bottom:
      pullBottom();
      break;
    case ResizeHandle::bottomLeft:
      pullLeft();
      pullBottom();
      break;
    case ResizeHandle::left:
      pullLeft();
      break;
  }
  setSelection(constrainToBounds(QRectF(QPointF(minX, minY), QPointF(maxX, maxY))));
}

void AreaOverlayView::moveSelection(QPointF to, QPointF from) {
  if (!selectionRect_) return;
  const QRectF r = *selectionRect_;
  const double x = std::min(std::max(r.x() + to.x() - from.x(), 0.0), bounds().width() - r.width());
  const double y = std::min(std::max(r.y() + to.y() - from.y(), 0.0), bounds().height() - r.height());
  setSelection(constrainToBounds(QRectF(x, y, r.width(), r.height())));
}

QRectF AreaOverlayView::constrainToBounds(QRectF rect) const {
  const QRectF b = bounds();
  double x = std::max(rect.x(), 0.0);
  double y = std::max(rect.y(), 0.0);
  double w = std::min(rect.width(), b.width() - x);
  double h = std::min(rect.height(), b.height() - y);
  // The minimum side comes last, and moves the area back inside where it would pass an edge.
  if (w < kMinimumSide) {
    w = std::min(kMinimumSide, b.width());
    x = std::min(x, b.width() - w);
  }
  if (h < kMinimumSide) {
    h = std::min(kMinimumSide, b.height());
    y = std::min(y, b.height() - h);
  }
  return {x, y, w, h};
}

void AreaOverlayView::setSelectionSize(QSizeF size) {
  const QPointF origin = selectionRect_ ? selectionRect_->topLeft() : QPointF(0, 0);
  QRectF rect(origin, size);
  rect.moveLeft(std::min(rect.x(), bounds().width() - rect.width()));
  rect.moveTop(std::min(rect.y(), bounds().height() - rect.height()));
  setSelection(constrainToBounds(rect));
}

void AreaOverlayView::mouseDownAt(QPointF point) {
  initialLocation_ = point;
  lastMouseLocation_ = point;
  activeHandle_ = handle(point);
  if (selectionRect_ && selectionRect_->contains(point)) isDragging_ = true;
}

void AreaOverlayView::mouseDraggedTo(QPointF point) {
  if (!initialLocation_) return;
  if (activeHandle_ != ResizeHandle::none) {
    resizeSelection(point);
  } else if (isDragging_) {
    moveSelection(point, *initialLocation_);
    initialLocation_ = point;
  } else {
    const QPointF i = *initialLocation_;
    const QRectF drawn(std::max(std::min(point.x(), i.x()), 0.0), std::max(std::min(point.y(), i.y()), 0.0),
                       std::abs(point.x() - i.x()), std::abs(point.y() - i.y()));
    setSelection(constrainToBounds(drawn.intersected(bounds())));
  }
  lastMouseLocation_ = point;
}

void AreaOverlayView::mouseUp() {
  initialLocation_.reset();
  activeHandle_ = ResizeHandle::none;
  isDragging_ = false;
}

void AreaOverlayView::setSelection(QRectF rect) {
  selectionRect_ = rect;
  storage_.selectedArea = rect;
  update();
  emit selectionChanged(rect);
}

void AreaOverlayView::setBackdrop(QImage backdrop) {
  backdrop_ = std::move(backdrop);
  update();
}

QPointF AreaOverlayView::fromWidget(QPointF point) const {
  return GlobalCoordinates(bounds()).fromX11(point);
}

QRectF AreaOverlayView::toWidget(const QRectF& rect) const {
  return GlobalCoordinates(bounds()).toX11(rect);
}

void AreaOverlayView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!backdrop_.isNull()) {
    painter.drawImage(rect(), backdrop_);
  } else {
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  if (!selectionRect_) return;
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF area = toWidget(*selectionRect_);

  // Dimming: the bounds with the area cut out.
  QPainterPath mask;
  mask.setFillRule(Qt::OddEvenFill);
  mask.addRect(toWidget(bounds()));
  mask.addRect(area);
  painter.fillPath(mask, QColor(0, 0, 0, 128));

  // Border: a nearly clear fill (so the inside still takes the pointer) and a dashed white line.
  painter.fillRect(area, QColor(255, 255, 255, 3));
  QPen border(Qt::white, 4);
  border.setDashPattern({1, 1});  // in units of the pen's width: 4 on, 4 off
  painter.setPen(border);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(area);

  painter.setPen(Qt::NoPen);
  painter.setBrush(kControlPointColor);
  for (ResizeHandle h : allResizeHandles) {
    if (h == ResizeHandle::none) continue;
    painter.drawEllipse(toWidget(handleSquare(h, *selectionRect_, kControlPointSize)));
  }
}

void AreaOverlayView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  mouseDownAt(fromWidget(event->position()));
}

void AreaOverlayView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  mouseDraggedTo(fromWidget(event->position()));
}

void AreaOverlayView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  mouseUp();
}

}  // namespace tk
