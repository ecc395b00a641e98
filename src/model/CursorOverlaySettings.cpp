#include "model/CursorOverlaySettings.h"

namespace tk {

const CursorOverlaySettings& CursorOverlaySettings::defaultSettings() {
  static const CursorOverlaySettings settings{};
  return settings;
}

}  // namespace tk
