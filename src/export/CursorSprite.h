#pragma once

#include <QImage>
#include <QPointF>
#include <vector>

#include "platform/media/PixelBuffer.h"

namespace tk {

// The drawn cursor arrow: white with a thin black outline and a white halo, its tip at a point. Drawn
// per frame into a small scratch image at the exact sub-pixel position and size (so the arrow stays
// crisp at any scale and moves smoothly), with an optional soft drop shadow and a blur along the
// direction of motion. Scratch memory is kept between frames. Used on the render thread only.
class CursorSprite {
 public:
  struct Look {
    double arrowSize = 128;   // the arrow's unit: its tip-to-tail height is 0.95 of it
    double shadowSigma = 0;   // 0: no shadow
    double shadowOffset = 0;  // right and down, in pixels
    double blurRadius = 0;    // motion blur along `blurDirection`; 0: none
    QPointF blurDirection{1, 0};
  };

  // Draws over `frame` with the arrow's tip at `tip` (pixel space, origin top left, y down).
  void draw(PixelBuffer& frame, QPointF tip, const Look& look);

 private:
  void motionBlur(uint32_t* pixels, int width, int height, double radius, QPointF direction);

  QImage canvas_;
  std::vector<uint32_t> shadow_;
  std::vector<uint32_t> scratch_;
  std::vector<uint32_t> blurSource_;
  std::vector<float> planeScratch_;
  std::vector<float> blurScratch_;
};

}  // namespace tk
