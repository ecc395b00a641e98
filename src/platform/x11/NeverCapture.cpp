#include "platform/x11/NeverCapture.h"

#include <mutex>
#include <unordered_set>

#include "platform/media/Error.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_set<unsigned long>& registry() {
  static std::unordered_set<unsigned long> marked;
  return marked;
}

}  // namespace

void markNeverCapture(unsigned long windowId) {
  auto connection = XcbConnection::open();
  const uint32_t one = 1;
  const auto window = static_cast<xcb_window_t>(windowId);
  XcbError error(xcb_request_check(
      connection->get(),
      xcb_change_property_checked(connection->get(), XCB_PROP_MODE_REPLACE, window,
                                  connection->atom(kNeverCaptureAtomName), XCB_ATOM_CARDINAL, 32, 1,
                                  &one)));
  if (error) {
    throw PlatformError("X11", error->error_code,
                        "Marking window " + std::to_string(windowId) +
                            " as never captured failed (X error " +
                            std::to_string(error->error_code) + ")");
  }
  std::lock_guard lock(registryMutex());
  registry().insert(windowId);
}

bool isMarkedNeverCapture(unsigned long windowId) {
  std::lock_guard lock(registryMutex());
  return registry().count(windowId) != 0;
}

bool hasNeverCaptureMarker(XcbConnection& connection, xcb_window_t window) {
  if (isMarkedNeverCapture(window)) return true;
  const auto values =
      readCardinals(connection, window, connection.atom(kNeverCaptureAtomName), XCB_ATOM_CARDINAL);
  return !values.empty() && values.front() != 0;
}

}  // namespace tk
