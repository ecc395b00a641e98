#pragma once

#include <xcb/xcb.h>

namespace tk {

class XcbConnection;

// Our own windows that must never appear in a recording (the floating recording panel) carry the
// property _TAVELKOMBRIX_NEVER_CAPTURE = CARDINAL 1. Every capture path leaves such windows out,
// in display recordings too, whatever the content filter says.
inline constexpr const char* kNeverCaptureAtomName = "_TAVELKOMBRIX_NEVER_CAPTURE";

// Marks a window (a QWidget's winId(), or any X window id). Any thread. The mark is also kept in
// this process, so capture honours it from the next frame on, before the property round trip.
// Throws tk::PlatformError when the X display cannot be reached or the window does not exist.
void markNeverCapture(unsigned long windowId);

// Whether this process marked the window (no round trip). Any thread.
bool isMarkedNeverCapture(unsigned long windowId);

// Whether the window carries the property (one round trip on `connection`); true also for windows
// this process marked.
bool hasNeverCaptureMarker(XcbConnection& connection, xcb_window_t window);

}  // namespace tk
