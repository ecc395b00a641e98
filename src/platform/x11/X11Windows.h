#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <QRect>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/ShareableContent.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

// What the window manager and the client say about one client window.
struct X11WindowFacts {
  xcb_window_t client = XCB_WINDOW_NONE;
  std::string title;          // UTF-8: _NET_WM_NAME, else WM_NAME decoded by its type
  std::string wmClass;        // WM_CLASS class (the application's id)
  std::string wmInstance;     // WM_CLASS instance
  pid_t pid = 0;              // _NET_WM_PID
  std::string applicationId;  // see applicationIdOf
  CaptureWindowType type = CaptureWindowType::normal;
  bool neverCapture = false;
  bool hidden = false;  // _NET_WM_STATE_HIDDEN (minimised)
  bool above = false;   // _NET_WM_STATE_ABOVE
};

// The id of this application's own windows; windows of this process carry it instead of their
// WM_CLASS class, so the filter rules can find them.
std::string ownApplicationId();
void setOwnApplicationId(std::string id);

// The application id a window belongs to: ours for this process, else the WM_CLASS class, else
// the process's name; empty when the client names neither class nor process.
std::string applicationIdOf(const X11WindowFacts& facts);

// Reads the facts of many client windows in one round trip.
std::vector<X11WindowFacts> readWindowFacts(XcbConnection& connection,
                                            const std::vector<xcb_window_t>& clients);

// The client inside a top-level (frame) window: the first window that has WM_STATE, searched
// breadth first a few levels deep; the top-level itself when none has it (override-redirect
// windows, or no window manager).
xcb_window_t findClientWindow(XcbConnection& connection, xcb_window_t topLevel);

// The windows of the root in stacking order, bottom first.
std::vector<xcb_window_t> rootChildren(XcbConnection& connection);

// The top-level child of the root that holds `window` (the window manager's frame).
xcb_window_t topLevelOf(XcbConnection& connection, xcb_window_t window);

}  // namespace tk
