#pragma once

#include <QSize>
#include <memory>
#include <vector>

#include "platform/composition/VideoCompositing.h"
#include "platform/composition/VideoCompositionInstruction.h"

namespace tk {

// How an export turns its source tracks into output frames: the canvas, the frame rate, the
// instructions by time range and, when set, the custom compositor that renders every frame (the
// plain path draws the instructions' layer instructions instead). Built on one thread before the
// export starts, then only read.
struct VideoComposition {
  QSize renderSize;
  MediaTime frameDuration = MediaTime(1, 60);
  std::vector<std::shared_ptr<const VideoCompositionInstruction>> instructions;
  VideoCompositorFactory customVideoCompositor;
};

}  // namespace tk
