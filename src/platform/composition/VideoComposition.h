#pragma once

#include <QSize>
#include <algorithm>
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
  // Every source picture is read at this fraction of its size (at most 1), scaled while it is
  // converted, so that a canvas made smaller to fit the encoder still holds the whole picture.
  double sourceScale = 1;

  // The size a source of `natural` pixels is read at under `scale`: each side scaled and rounded down
  // to an even number, at least 2.
  static QSize scaledSourceSize(QSize natural, double scale) {
    if (!(scale < 1)) return natural;
    const auto side = [scale](int v) { return std::max(2, static_cast<int>(v * scale) & ~1); };
    return {side(natural.width()), side(natural.height())};
  }
};

}  // namespace tk
