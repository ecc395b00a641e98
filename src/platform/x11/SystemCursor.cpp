#include "platform/x11/SystemCursor.h"

#include <xcb/xfixes.h>

#include <memory>
#include <mutex>

#include "platform/media/Error.h"
#include "platform/qt/Diagnostics.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

struct CursorState {
  std::mutex mutex;
  std::unique_ptr<XcbConnection> connection;
  int hideCount = 0;
};

CursorState& state() {
  static CursorState instance;
  return instance;
}

// Opens the connection once and announces our XFixes version, which the server requires before
// it honours HideCursor.
XcbConnection* cursorConnection(CursorState& cursor) {
  if (cursor.connection && !cursor.connection->hasError()) return cursor.connection.get();
  cursor.connection.reset();
  try {
    auto connection = XcbConnection::open();
    if (!connection->hasExtension(&xcb_xfixes_id)) return nullptr;
    auto version = xcbReply(xcb_xfixes_query_version_reply, connection->get(),
                            xcb_xfixes_query_version(connection->get(), 4, 0));
    if (!version) return nullptr;
    cursor.connection = std::move(connection);
  } catch (const PlatformError& error) {
    Diagnostics::line(std::string("⚠️ Cannot hide the system cursor: ") + error.what());
    return nullptr;
  }
  return cursor.connection.get();
}

}  // namespace

bool SystemCursor::hide() {
  auto& cursor = state();
  std::lock_guard lock(cursor.mutex);
  if (cursor.hideCount == 0) {
    XcbConnection* connection = cursorConnection(cursor);
    if (!connection) return false;
    XcbError error(xcb_request_check(connection->get(),
                                     xcb_xfixes_hide_cursor_checked(connection->get(), connection->root())));
    if (error) return false;
  }
  ++cursor.hideCount;
  return true;
}

void SystemCursor::show() {
  auto& cursor = state();
  std::lock_guard lock(cursor.mutex);
  if (cursor.hideCount == 0) return;
  if (--cursor.hideCount == 0 && cursor.connection) {
    XcbError error(xcb_request_check(
        cursor.connection->get(),
        xcb_xfixes_show_cursor_checked(cursor.connection->get(), cursor.connection->root())));
  }
}

bool SystemCursor::isHidden() {
  auto& cursor = state();
  std::lock_guard lock(cursor.mutex);
  return cursor.hideCount > 0;
}

}  // namespace tk
