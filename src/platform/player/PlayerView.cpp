#include "platform/player/PlayerView.h"

#include <QImage>
#include <QPainter>
#include <algorithm>

namespace tk {

PlayerView::PlayerView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlayerView::setPlayer(MediaPlayer* player) {
  if (player_ == player) return;
  disconnect(frameConnection_);
  disconnect(statusConnection_);
  player_ = player;
  if (player_) {
    frameConnection_ = connect(player_, &MediaPlayer::frameChanged, this, qOverload<>(&QWidget::update));
    statusConnection_ = connect(player_, &MediaPlayer::statusChanged, this, [this] { requestFrameSize(); });
    requestFrameSize();
  }
  update();
}

void PlayerView::setVideoGravity(VideoGravity gravity) {
  gravity_ = gravity;
  requestFrameSize();
  update();
}

QRectF PlayerView::targetRect(QSizeF frame, QRectF bounds, VideoGravity gravity) {
  if (frame.width() <= 0 || frame.height() <= 0 || bounds.isEmpty()) return bounds;
  const double sx = bounds.width() / frame.width();
  const double sy = bounds.height() / frame.height();
  const double scale = gravity == VideoGravity::resizeAspectFill ? std::max(sx, sy) : std::min(sx, sy);
  const QSizeF size(frame.width() * scale, frame.height() * scale);
  return QRectF(bounds.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

void PlayerView::requestFrameSize() {
  if (!player_) return;
  const QSize natural = player_->naturalSize();
  if (natural.isEmpty()) return;
  const double ratio = devicePixelRatioF();
  const QRectF target = targetRect(natural, QRectF(QPointF(0, 0), QSizeF(size()) * ratio), gravity_);
  // Never more than the natural size: enlarging is left to painting, which costs nothing extra.
  int width = std::min(natural.width(), static_cast<int>(target.width() + 0.5)) & ~1;
  int height = std::min(natural.height(), static_cast<int>(target.height() + 0.5)) & ~1;
  if (width < 2 || height < 2) return;
  player_->setVideoOutputSize(QSize(width, height));
}

void PlayerView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  requestFrameSize();
}

void PlayerView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!player_) return;
  auto frame = player_->currentFrame();
  if (!frame) return;
  const QImage image(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(),
                     QImage::Format_ARGB32_Premultiplied);
  const QRectF target = targetRect(image.size(), rect(), gravity_);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, target.size().toSize() != image.size());
  painter.drawImage(target, image);
}

}  // namespace tk
