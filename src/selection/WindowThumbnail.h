#pragma once

#include <QImage>

#include "platform/media/ShareableContent.h"

namespace tk {

// One window with its picture, as the window picker shows it. Set once, never changed.
struct WindowThumbnail {
  QImage image;
  CaptureWindowRef window;
};

}  // namespace tk
