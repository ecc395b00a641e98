#include "platform/x11/NeverCapture.h"

#include <atomic>

#include "platform/media/Error.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {
std::atomic<uint64_t> markCount{0};
}  // namespace

void markNeverCapture(unsigned long windowId) {
  auto connection = XcbConnection::open();
  const uint32_t one = 1;
  const auto window = static_cast<xcb_window_t>(windowId);
  XcbError error(xcb_request_check(
      connection->get(),
      xcb_change_property_checked(connection->get(), XCB_PROP_MODE_REPLACE, window,
                                  connection->atom(kNeverCaptureAtomName), XCB_ATOM_CARDINAL, 32, 1, &one)));
  if (error) {
    throw PlatformError("X11", error->error_code,
                        "Marking window " + std::to_string(windowId) + " as never captured failed (X error " +
                            std::to_string(error->error_code) + ")");
  }
  ++markCount;
}

uint64_t neverCaptureMarkCount() {
  return markCount.load();
}

bool hasNeverCaptureMarker(XcbConnection& connection, xcb_window_t window) {
  const auto values =
      readCardinals(connection, window, connection.atom(kNeverCaptureAtomName), XCB_ATOM_CARDINAL);
  return !values.empty() && values.front() != 0;
}

}  // namespace tk
