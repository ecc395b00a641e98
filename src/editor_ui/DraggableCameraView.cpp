#include "editor_ui/DraggableCameraView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "editor_ui/TrimmerPreviewGeometry.h"
#include "platform/player/PlayerView.h"

namespace tk {

DraggableCameraView::DraggableCameraView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
}

void DraggableCameraView::setCameraPlayer(MediaPlayer* player) {
  disconnect(frameConnection_);
  cameraPlayer_ = player;
  if (player)
    frameConnection_ = connect(player, &MediaPlayer::frameChanged, this, [this] { QWidget::update(); });
  QWidget::update();
}

void DraggableCameraView::update(QPointF centerNormalized, double widthFraction, double scale,
                                 CameraShape shape) {
  if (isDragging_) return;
  currentNormalizedCenter_ = centerNormalized;
  currentWidthFraction_ = widthFraction;
  currentScale_ = scale;
  currentShape_ = shape;
  updateCameraFrame();
}

void DraggableCameraView::updateCameraFrame() {
  auto bubble = TrimmerPreviewGeometry::cameraBubble(size(), currentNormalizedCenter_, currentWidthFraction_,
                                                     currentScale_, currentShape_);
  if (!bubble) return;
  bubble_ = bubble->frame;
  cornerRadius_ = bubble->cornerRadius;
  hasInitializedFrame_ = true;
  QWidget::update();
}

void DraggableCameraView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!isDragging_) updateCameraFrame();
}

QPainterPath DraggableCameraView::bubblePath() const {
  QPainterPath path;
  if (currentShape_ == CameraShape::circle)
    path.addEllipse(bubble_);
  else
    path.addRoundedRect(bubble_, cornerRadius_, cornerRadius_);
  return path;
}

void DraggableCameraView::paintEvent(QPaintEvent*) {
  if (!hasInitializedFrame_ || bubble_.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPainterPath path = bubblePath();
  // A soft shadow four points below the bubble: a few widening rings of falling opacity.
  for (int ring = 4; ring >= 0; --ring) {
    QPainterPath shadow = path.translated(0, 4);
    QPen pen(QColor(0, 0, 0, static_cast<int>(0.3 * 255 / 5)), 2.0 * ring + 0.1);
    painter.setPen(ring ? pen : Qt::NoPen);
    painter.setBrush(ring ? Qt::NoBrush : QBrush(QColor(0, 0, 0, static_cast<int>(0.3 * 255))));
    painter.drawPath(shadow);
  }
  painter.save();
  painter.setClipPath(path);
  painter.fillRect(bubble_, Qt::black);
  if (cameraPlayer_) {
    if (auto frame = cameraPlayer_->currentFrame()) {
      const QImage image(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(),
                         QImage::Format_ARGB32_Premultiplied);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(
          PlayerView::targetRect(image.size(), bubble_, PlayerView::VideoGravity::resizeAspectFill), image);
    }
  }
  painter.restore();
  painter.setPen(QPen(QColor(255, 255, 255, isDragging_ ? 230 : 128), borderWidth()));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
}

void DraggableCameraView::mousePressEvent(QMouseEvent* event) {
  const QPointF point = event->position();
  if (!bubble_.contains(point)) {
    event->ignore();  // the preview below takes it
    return;
  }
  if (!hasInitializedFrame_ && width() > 0) updateCameraFrame();
  isDragging_ = true;
  dragStartLocation_ = point;
  dragStartCenter_ = bubble_.center();
  event->accept();
  QWidget::update();
}

void DraggableCameraView::mouseMoveEvent(QMouseEvent* event) {
  if (!isDragging_) {
    event->ignore();
    return;
  }
  QPointF c = dragStartCenter_ + (event->position() - dragStartLocation_);
  const double hw = bubble_.width() / 2, hh = bubble_.height() / 2;
  c.setX(std::max(std::min(c.x(), width() - hw), hw));
  c.setY(std::max(std::min(c.y(), height() - hh), hh));
  bubble_.moveTopLeft(QPointF(c.x() - hw, c.y() - hh));
  QWidget::update();
}

void DraggableCameraView::mouseReleaseEvent(QMouseEvent* event) {
  if (!isDragging_) {
    event->ignore();
    return;
  }
  isDragging_ = false;
  QWidget::update();
  if (width() <= 0 || height() <= 0) return;
  auto unit = [](double v) { return std::max(std::min(v, 1.0), 0.0); };
  const QPointF centre = bubble_.center();
  currentNormalizedCenter_ = QPointF(unit(centre.x() / width()), unit(centre.y() / height()));
  if (onPositionChanged) onPositionChanged(currentNormalizedCenter_);
}

}  // namespace tk
