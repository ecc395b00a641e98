#pragma once

#include <QImage>

#include "platform/media/ShareableContent.h"

namespace tk {

// One window with its picture, as the window picker shows it. Set once, never changed: a picture
// that arrives comes as a new thumbnail of the same window. `placeholder` marks the stand-in a
// window is listed with until its own picture is taken.
struct WindowThumbnail {
  QImage image;
  CaptureWindowRef window;
  bool placeholder = false;
};

}  // namespace tk
