#pragma once

#include <cstdint>

namespace tk {

// Planar 4:2:0 YUV (8-bit) to opaque BGRA, unscaled: the decoders' conversion of every frame they
// deliver at natural size. Each chroma sample colours its 2x2 block (no interpolation, as the general
// scaler's unscaled path does). Fixed-point arithmetic, thirty-two pixels of two rows a step where
// the processor has AVX2; every value is within one step of the exact matrix.
//
// Any width and height: an odd last column or row takes the chroma of the block it starts.
struct YuvToBgra {
  enum class Matrix { bt709, bt601 };

  YuvToBgra(Matrix matrix, bool fullRange);

  void convert(const uint8_t* y, int yStride, const uint8_t* u, int uStride, const uint8_t* v, int vStride,
               int width, int height, uint8_t* bgra, int bgraStride) const;

  // Coefficients as 16-bit fixed point, shared by the plain and the vector loops so they agree to
  // the bit: luma gain (of Y * 256, high half of the product kept), luma offset in 1/64 steps, and
  // chroma weights in 1/8192 (of C' * 256, rounded high half of the product doubled).
  uint16_t lumaGain;
  int16_t lumaOffset;
  int16_t redFromV, greenFromU, greenFromV, blueFromU;
};

}  // namespace tk
