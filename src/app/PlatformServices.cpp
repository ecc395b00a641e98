#include "app/PlatformServices.h"

namespace tk {

struct PlatformServices::Impl {};

PlatformServices::PlatformServices() : impl_(std::make_unique<Impl>()) {}
PlatformServices::~PlatformServices() = default;

ModeSelectionServices PlatformServices::modeSelectionServices() { return {}; }

}  // namespace tk
