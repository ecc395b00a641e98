#include "export/RoundedCameraCompositorSettings.h"

#include <mutex>

namespace tk {
namespace {

std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

RoundedCameraCompositorSettings& RoundedCameraCompositorSettings::shared() {
  static RoundedCameraCompositorSettings instance;
  return instance;
}

RoundedCameraCompositorSettings RoundedCameraCompositorSettings::update(
    const std::function<void(RoundedCameraCompositorSettings&)>& change) {
  std::lock_guard lock(sharedMutex());
  change(shared());
  return shared();
}

RoundedCameraCompositorSettings RoundedCameraCompositorSettings::snapshot() {
  std::lock_guard lock(sharedMutex());
  return shared();
}

}  // namespace tk
