#include "platform/media/GlobalCoordinates.h"

#include <mutex>

namespace tk {

namespace {
std::mutex gMutex;
QRectF gPrimary(0, 0, 0, 0);
}  // namespace

GlobalCoordinates GlobalCoordinates::current() {
  std::lock_guard lock(gMutex);
  return GlobalCoordinates(gPrimary);
}

void GlobalCoordinates::setPrimaryDisplay(QRectF primaryDisplay) {
  std::lock_guard lock(gMutex);
  gPrimary = primaryDisplay;
}

}  // namespace tk
