#include "editor_ui/BackgroundPreviewView.h"

#include <QPainter>

#include "editor_ui/GradientBackgroundView.h"
#include "platform/player/PlayerView.h"

namespace tk {

const QImage& BackgroundPreviewView::imageFor(const std::filesystem::path& file) {
  if (imageFile_ != file) {
    imageFile_ = file;
    image_ = QImage(QString::fromStdString(file.string()));
    ++decodeCount_;
  }
  return image_;
}

void BackgroundPreviewView::paint(QPainter& painter, const QRectF& rect, const BackgroundSettings& settings) {
  switch (settings.type) {
    case StudioBackgroundType::gradient:
      if (settings.gradient)
        GradientBackgroundView::paint(painter, rect, *settings.gradient);
      else
        painter.fillRect(rect, Qt::black);
      return;
    case StudioBackgroundType::solidColor:
      if (settings.color) {
        GradientSettings single{{*settings.color}, 0, std::nullopt};
        GradientBackgroundView::paint(painter, rect, single);
      } else {
        painter.fillRect(rect, Qt::black);
      }
      return;
    case StudioBackgroundType::image: {
      const QImage* image = settings.imageURL ? &imageFor(*settings.imageURL) : nullptr;
      if (!image || image->isNull()) {
        painter.fillRect(rect, Qt::black);
        return;
      }
      painter.save();
      painter.setClipRect(rect, Qt::IntersectClip);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(
          PlayerView::targetRect(image->size(), rect, PlayerView::VideoGravity::resizeAspectFill), *image);
      painter.restore();
      return;
    }
  }
}

}  // namespace tk
