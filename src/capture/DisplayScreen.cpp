#include "capture/DisplayScreen.h"

#include <memory>
#include <mutex>

#include "platform/media/Error.h"
#include "platform/media/GlobalCoordinates.h"
#include "platform/x11/X11ShareableContent.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

// One connection for these look-ups, reopened when it broke: they run up to 30 times a second
// from the cursor sampling, too often for a connection each.
std::optional<std::vector<CaptureDisplay>> currentDisplays() {
  static std::mutex mutex;
  static std::unique_ptr<XcbConnection> connection;
  std::lock_guard lock(mutex);
  try {
    if (!connection || connection->hasError()) connection = XcbConnection::open();
    return queryDisplays(*connection);
  } catch (const PlatformError&) {
    connection.reset();
    return std::nullopt;
  }
}

}  // namespace

std::optional<QRectF> screenFrame(const CaptureDisplay& display) {
  const auto displays = currentDisplays();
  if (!displays) return std::nullopt;
  for (const auto& candidate : *displays) {
    if (candidate.displayID == display.displayID)
      return GlobalCoordinates::current().fromX11(candidate.frame);
  }
  return std::nullopt;
}

std::optional<QRectF> mainScreenFrame() {
  const auto displays = currentDisplays();
  if (!displays || displays->empty()) return std::nullopt;
  return GlobalCoordinates::current().fromX11(displays->front().frame);
}

}  // namespace tk
