#include "capture/CameraPreviewWidget.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

namespace tk {

CameraPreviewWidget::CameraPreviewWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void CameraPreviewWidget::showFrame(const SampleBuffer& sample) {
  if (!sample.isVideo() || !sample.pixelBuffer()) return;
  {
    std::lock_guard lock(mutex_);
    frame_ = sample.pixelBuffer();
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void CameraPreviewWidget::clear() {
  {
    std::lock_guard lock(mutex_);
    frame_.reset();
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void CameraPreviewWidget::paintEvent(QPaintEvent*) {
  std::shared_ptr<PixelBuffer> frame;
  {
    std::lock_guard lock(mutex_);
    frame = frame_;
  }
  if (!frame) return;
  // The buffer stays alive for the image's life: `frame` is held until painting ends.
  const QImage image(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(),
                     QImage::Format_ARGB32_Premultiplied);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QSize size = image.size().scaled(this->size(), Qt::KeepAspectRatio);
  QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
  if (isMirrored_) {
    painter.translate(width(), 0);
    painter.scale(-1, 1);
  }
  painter.drawImage(target, image);
}

}  // namespace tk
