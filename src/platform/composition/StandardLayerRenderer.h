#pragma once

#include <cstdint>
#include <vector>

#include "platform/composition/AffineTransform.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// Draws source frames onto a canvas through a layer transform: the plain (standard-instruction)
// path of an export. Scales and translations, the transforms exports make, are resampled
// bilinearly, with a plain row copy when the transform is a whole-pixel shift; any other transform
// is sampled at the nearest pixel. Movie frames are opaque, so a layer replaces what lies under it.
// Scratch tables are kept between frames, so steady rendering allocates nothing. One thread at a time.
class StandardLayerRenderer {
 public:
  void draw(PixelBuffer& canvas, const PixelBuffer& source, const AffineTransform& transform);

 private:
  void drawScaled(PixelBuffer& canvas, const PixelBuffer& source, const AffineTransform& t);
  void drawGeneral(PixelBuffer& canvas, const PixelBuffer& source, const AffineTransform& t);

  std::vector<int> x0_;
  std::vector<uint16_t> wx_;
};

}  // namespace tk
