#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <optional>

#include "selection/ResizeHandle.h"

namespace tk {

class AreaSelectionStorage;

// The area overlay's one view: dims the display outside the area, draws its dashed white border
// and eight yellow handles, and lets the person drag a new area, move it or pull a handle. Its
// geometry lives in the display's points with the origin at the bottom-left corner and y upwards
// (the model the recording's area is given in); widget positions are flipped only on the way in
// and out, through GlobalCoordinates. Every change is published to the shared storage.
// Without a compositing manager the window cannot be translucent, so the view paints a picture of
// the display beneath it (the backdrop) and dims that instead. Main thread only.
class AreaOverlayView : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kMinimumSide = 20;
  static constexpr double kControlPointSize = 10;

  // `displaySize` is the display's size in points (the view's bounds); the area starts as `size`
  // centred on it, kept inside it.
  AreaOverlayView(QSizeF displaySize, QSizeF size, AreaSelectionStorage& storage, QWidget* parent = nullptr);

  const std::optional<QRectF>& selectionRect() const { return selectionRect_; }
  QRectF bounds() const { return {0, 0, displaySize_.width(), displaySize_.height()}; }
  ResizeHandle activeHandle() const { return activeHandle_; }
  bool isDragging() const { return isDragging_; }

  // The geometry, in the view's own coordinates.
  ResizeHandle handle(QPointF point) const;
  void resizeSelection(QPointF point);
  void moveSelection(QPointF to, QPointF from);
  QRectF constrainToBounds(QRectF rect) const;
  // A size typed in the resize sheet: the area keeps its origin where the new size fits, and is
  // drawn and recorded at that size.
  void setSelectionSize(QSizeF size);

  // One gesture, as the mouse handlers run it (view coordinates).
  void mouseDownAt(QPointF point);
  void mouseDraggedTo(QPointF point);
  void mouseUp();

  // The picture of the display shown under the dimming when the window is opaque.
  void setBackdrop(QImage backdrop);
  const QImage& backdrop() const { return backdrop_; }

  // Between the view's coordinates and the widget's (top-left origin, y down).
  QPointF fromWidget(QPointF point) const;
  QRectF toWidget(const QRectF& rect) const;

 signals:
  void selectionChanged(QRectF area);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void setSelection(QRectF rect);

  AreaSelectionStorage& storage_;
  QSizeF displaySize_;
  std::optional<QRectF> selectionRect_;
  std::optional<QPointF> initialLocation_;
  bool isDragging_ = false;
  ResizeHandle activeHandle_ = ResizeHandle::none;
  std::optional<QPointF> lastMouseLocation_;
  QImage backdrop_;
};

}  // namespace tk
