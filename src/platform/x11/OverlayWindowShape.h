#pragma once

#include <QRegion>
#include <cstdint>

namespace tk {

// X11 helpers for the live overlay windows, sent on Qt's own connection. Main thread.
class OverlayWindowShape {
 public:
  // Whether a compositing manager owns _NET_WM_CM_S<screen>: only then do translucent pixels of
  // a 32-bit window blend with what lies beneath. On a bare X server they show as opaque colour.
  static bool compositingManagerRunning();

  // Empties the window's input shape: every click passes through to the window beneath.
  static void makeClickThrough(uint32_t windowId);

  // Limits what the window shows to `region` (window coordinates). Without a compositor this is
  // what keeps an opaque overlay from hiding more of the screen than it draws.
  static void setVisibleShape(uint32_t windowId, const QRegion& region);
  // Lifts that limit.
  static void clearVisibleShape(uint32_t windowId);
};

}  // namespace tk
