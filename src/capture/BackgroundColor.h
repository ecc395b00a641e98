#pragma once

#include <cstdint>

#include "model/RecordingOptions.h"

namespace tk {

// The colour a capture stream puts behind (or in place of) what it leaves out, for each background
// choice: premultiplied ARGB. The named colours are the desktop palette's system colours.
uint32_t streamBackgroundColor(BackgroundType background);

}  // namespace tk
