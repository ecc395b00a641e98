#pragma once

#include <QRectF>
#include <cstdint>
#include <vector>

#include "platform/media/PixelBuffer.h"

namespace tk {

class CoverageMask;

// The compositor's pixel loops over premultiplied BGRA (0xAARRGGBB words). Hot paths: they allocate
// nothing and touch only the pixels a mask or rectangle covers. Any thread, one frame at a time.
namespace PixelCompositing {

// Each channel of `p` times a/255, rounded.
inline uint32_t scale(uint32_t p, uint32_t a) {
  uint32_t rb = (p & 0x00ff00ffu) * a;
  uint32_t ag = ((p >> 8) & 0x00ff00ffu) * a;
  rb = ((rb + 0x00800080u + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
  ag = (ag + 0x00800080u + ((ag >> 8) & 0x00ff00ffu)) & 0xff00ff00u;
  return rb | ag;
}
// `src` over `dst`, both premultiplied.
inline uint32_t over(uint32_t src, uint32_t dst) {
  return src + scale(dst, 255 - (src >> 24));
}

// An image placed on the canvas by scale and translation: canvas = source × k + origin (pixels,
// top-left origin; k may differ per axis).
struct Placement {
  double originX = 0, originY = 0;
  double scaleX = 1, scaleY = 1;
};

// Draws `source`, resampled once (bilinear, edges clamped), through `mask` over `dst`: the pixels
// the mask covers get the source, weighted by their coverage. With a `backdrop` (the size of `dst`),
// the mask's fully covered runs of `dst` are taken as not yet drawn, as copyAround leaves them: they
// get the source over the backdrop, so an opaque picture never pays for what it hides.
void drawImage(PixelBuffer& dst, const PixelBuffer& source, const Placement& placement,
               const CoverageMask& mask, const PixelBuffer* backdrop = nullptr);
// Copies `backdrop` onto `dst` (the same size) everywhere but the runs `mask` covers fully.
void copyAround(PixelBuffer& dst, const PixelBuffer& backdrop, const CoverageMask& mask);
// Draws a small premultiplied sprite at whole-pixel position (x, y) over `dst`, clipped.
void drawSprite(PixelBuffer& dst, const uint32_t* sprite, int width, int height, int x, int y);
// Darkens `dst` by a black coverage plane at whole-pixel position (x, y), clipped.
void darken(PixelBuffer& dst, const uint8_t* plane, int width, int height, int stride, int x, int y);

// Gaussian blur of a float plane in place (three box passes each way); `scratch` grows as needed.
void gaussianBlur(float* plane, int width, int height, double sigma, std::vector<float>& scratch);

}  // namespace PixelCompositing
}  // namespace tk
