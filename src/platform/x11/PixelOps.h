#pragma once

#include <QRect>
#include <QRegion>
#include <QSize>
#include <cstdint>

#include "platform/media/PixelBuffer.h"

namespace tk {

// The pixel work of building a frame: plain CPU loops over BGRA buffers. Every function clips to
// the destination, so callers may pass rectangles that reach past its edges.
namespace pixelops {

// Copies `size` pixels from 32-bit source rows (X's BGRX words) to `at` in `target`, making them
// opaque: the X pad byte is not an alpha value.
void copyOpaque(PixelBuffer& target, QPoint at, const uint8_t* source, int sourceBytesPerRow, QSize size);

// Same, but only inside `clip` (target coordinates).
void copyOpaqueClipped(PixelBuffer& target, QPoint at, const uint8_t* source, int sourceBytesPerRow,
                       QSize size, const QRegion& clip);

void fillRect(PixelBuffer& target, const QRect& rect, uint32_t argb);
void fillRegion(PixelBuffer& target, const QRegion& region, uint32_t argb);

// Blends a premultiplied ARGB image (the XFixes cursor) over `target` at `at`.
void blendPremultiplied(PixelBuffer& target, QPoint at, const uint32_t* argb, QSize size);

// Scales `sourceRect` of `source` into `targetRect` of `target` (smooth filtering).
void scale(const PixelBuffer& source, const QRect& sourceRect, PixelBuffer& target, const QRect& targetRect);

// The largest rectangle of `content`'s aspect that fits `bounds`, centred in it.
QRect aspectFit(QSize content, const QRect& bounds);

}  // namespace pixelops
}  // namespace tk
