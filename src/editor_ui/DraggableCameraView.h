#pragma once

#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <functional>

#include "model/CameraShape.h"
#include "platform/player/MediaPlayer.h"

namespace tk {

// The camera bubble of the editor preview: a transparent layer over the preview area that draws the
// camera player's picture in a shaped, outlined, shadowed bubble placed from a normalised centre
// (y down), a width fraction and a shrink, and moves it under the mouse. Presses outside the bubble
// pass through to the preview below, so the preview's own drag still works while the camera shows.
// After a drag the new centre goes to onPositionChanged. Main thread only.
class DraggableCameraView : public QWidget {
  Q_OBJECT

 public:
  explicit DraggableCameraView(QWidget* parent = nullptr);

  // The view does not own the player.
  void setCameraPlayer(MediaPlayer* player);
  MediaPlayer* cameraPlayer() const { return cameraPlayer_; }
  std::function<void(QPointF)> onPositionChanged;

  // Takes the trimmer's values and re-places the bubble; ignored while a drag is under way, so the
  // state cannot pull the bubble from under the mouse.
  void update(QPointF centerNormalized, double widthFraction, double scale, CameraShape shape);
  void updateCameraFrame();

  QRectF bubbleFrame() const { return bubble_; }
  double bubbleCornerRadius() const { return cornerRadius_; }
  QPointF currentNormalizedCenter() const { return currentNormalizedCenter_; }
  bool isDragging() const { return isDragging_; }
  bool hasInitializedFrame() const { return hasInitializedFrame_; }
  // The outline's width: 2.5 while dragging, else 1.5.
  double borderWidth() const { return isDragging_ ? 2.5 : 1.5; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPainterPath bubblePath() const;

  QPointer<MediaPlayer> cameraPlayer_;
  QMetaObject::Connection frameConnection_;
  QPointF currentNormalizedCenter_{0.85, 0.18};
  double currentWidthFraction_ = 0.22;
  double currentScale_ = 1.0;
  CameraShape currentShape_ = CameraShape::squircle;
  QRectF bubble_;
  double cornerRadius_ = 0;
  bool hasInitializedFrame_ = false;
  bool isDragging_ = false;
  QPointF dragStartLocation_;
  QPointF dragStartCenter_;
};

}  // namespace tk
