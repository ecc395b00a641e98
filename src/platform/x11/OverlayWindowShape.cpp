#include "platform/x11/OverlayWindowShape.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <string>
#include <vector>

#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

// Shapes go through Qt's own connection, so they reach the server after the requests that
// created and mapped the window, whatever has been flushed.
xcb_connection_t* qtConnection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

bool hasShape(xcb_connection_t* connection) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection, &xcb_shape_id);
  return data && data->present;
}

void shape(uint32_t windowId, xcb_shape_kind_t kind, const std::vector<xcb_rectangle_t>& rects) {
  xcb_connection_t* connection = qtConnection();
  if (!connection || !hasShape(connection)) return;
  xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, kind, XCB_CLIP_ORDERING_UNSORTED, windowId,
                       0, 0, uint32_t(rects.size()), rects.data());
  xcb_flush(connection);
}

}  // namespace

bool OverlayWindowShape::compositingManagerRunning() {
  xcb_connection_t* connection = qtConnection();
  if (!connection) return false;
  int screen = 0;
  if (const char* display = std::getenv("DISPLAY")) {
    const std::string text(display);
    if (const size_t dot = text.rfind('.'); dot != std::string::npos && dot > text.rfind(':')) {
      screen = std::atoi(text.c_str() + dot + 1);
    }
  }
  const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
  auto atom = xcbReply(xcb_intern_atom_reply, connection,
                       xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()));
  if (!atom) return false;
  auto owner = xcbReply(xcb_get_selection_owner_reply, connection,
                        xcb_get_selection_owner(connection, atom->atom));
  return owner && owner->owner != XCB_NONE;
}

void OverlayWindowShape::makeClickThrough(uint32_t windowId) {
  shape(windowId, XCB_SHAPE_SK_INPUT, {});
}

void OverlayWindowShape::setVisibleShape(uint32_t windowId, const QRegion& region) {
  std::vector<xcb_rectangle_t> rects;
  for (const QRect& rect : region) {
    rects.push_back({int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                     uint16_t(rect.height())});
  }
  shape(windowId, XCB_SHAPE_SK_BOUNDING, rects);
}

void OverlayWindowShape::clearVisibleShape(uint32_t windowId) {
  xcb_connection_t* connection = qtConnection();
  if (!connection || !hasShape(connection)) return;
  xcb_shape_mask(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, windowId, 0, 0, XCB_NONE);
  xcb_flush(connection);
}

}  // namespace tk
