#pragma once

#include <QRectF>
#include <optional>

#include "platform/media/ShareableContent.h"

namespace tk {

// The screen of a display as it is now: the frame of the live monitor with the display's id, in
// the global coordinates (origin at the bottom left of the primary display, y up). Nothing when no
// monitor has that id any more. Any thread; one round trip to the X server.
std::optional<QRectF> screenFrame(const CaptureDisplay& display);

// The primary monitor's frame in global coordinates; nothing without an X display.
std::optional<QRectF> mainScreenFrame();

}  // namespace tk
