#pragma once

#include <xcb/xcb.h>

#include <cstdint>

namespace tk {

class XcbConnection;

// Our own windows that must never appear in a recording (the floating recording panel) carry the
// property _TAVELKOMBRIX_NEVER_CAPTURE = CARDINAL 1. Every capture path leaves such windows out,
// in display recordings too, whatever the content filter says.
inline constexpr const char* kNeverCaptureAtomName = "_TAVELKOMBRIX_NEVER_CAPTURE";

// Marks a window (a QWidget's winId(), or any X window id). Any thread. Returns once the server
// holds the property; capture streams of this process look again at their windows' markers on
// their next frame. Throws tk::PlatformError when the X display cannot be reached or the window
// does not exist.
void markNeverCapture(unsigned long windowId);

// Counts the marks made in this process, so capture streams see a new mark at once instead of at
// their next periodic look at the windows. Window ids are reused once a window is gone, so the
// property, which dies with its window, stays the only record of which windows are marked.
uint64_t neverCaptureMarkCount();

// Whether the window carries the property (one round trip on `connection`).
bool hasNeverCaptureMarker(XcbConnection& connection, xcb_window_t window);

}  // namespace tk
