#pragma once

#include <vector>

#include "platform/media/ShareableContent.h"

namespace tk {

class XcbConnection;

// One snapshot of what can be recorded. Windows are listed front to back; applications in the
// order their first window appears.
struct ShareableContent {
  std::vector<CaptureDisplayRef> displays;
  std::vector<CaptureApplicationRef> applications;
  std::vector<CaptureWindowRef> windows;
};

struct ShareableContentOptions {
  bool excludeDesktopWindows = false;  // leave DESKTOP-type windows out of the list
  bool onScreenWindowsOnly = true;
};

// Displays from RandR 1.5 monitors; the whole root screen when the server has no monitors. The
// primary monitor comes first. Keeps GlobalCoordinates::current() on the primary monitor.
std::vector<CaptureDisplay> queryDisplays(XcbConnection& connection);

// Reads displays, windows (from the window manager's stacking list, or the root's children when no
// EWMH window manager runs) and applications (one per process, its id the WM_CLASS class; this
// process carries ownApplicationId()). Throws tk::PlatformError when the X server is gone.
ShareableContent loadShareableContent(XcbConnection& connection, const ShareableContentOptions& options = {});

// Same, on a connection of its own to $DISPLAY.
ShareableContent loadShareableContent(const ShareableContentOptions& options = {});

}  // namespace tk
