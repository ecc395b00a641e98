#pragma once

#include <QImage>
#include <QString>

#include "platform/media/ShareableContent.h"

namespace tk {

// One display's picture with the display and the name shown for it. Set once, never changed.
struct ScreenThumbnail {
  QImage image;
  CaptureDisplayRef screen;
  QString screenName;
};

}  // namespace tk
