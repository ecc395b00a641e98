#pragma once

#include <QRectF>
#include <cstdint>
#include <vector>

#include "export/CoverageMask.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// A drop shadow as a pre-blurred coverage plane: one byte of black opacity per pixel over the
// shadow's bounding box. Built once per layout and laid over frames by darkening, so no frame ever
// blurs anything. Pixel space (origin top left, y down). Used on the render thread only.
class ShadowPlane {
 public:
  // The screen's shadow: the rounded rectangle moved down by `offsetY`, blurred by `blur` (the
  // shadow's blur radius: a Gaussian of half that deviation), at `opacity`, with the rectangle
  // itself cut out so that nothing of it shows through a transparent screen.
  void buildScreenShadow(const QRectF& rect, double radius, double offsetY, double blur, double opacity,
                         int W, int H);
  // The camera's shadow: the shape moved down by `offsetY`, filled at `opacity` over its own shadow.
  void buildCameraShadow(const QRectF& rect, double radius, double offsetY, double blur, double opacity,
                         int W, int H);
  void clear();

  bool isEmpty() const { return width_ <= 0 || height_ <= 0; }
  // Darkens `frame` under the shadow, skipping the runs `opaqueOnTop` covers fully (an opaque layer
  // drawn over them hides them anyway).
  void drawOver(PixelBuffer& frame, const CoverageMask* opaqueOnTop = nullptr) const;
  // Darkens `frame` under the shadow as seen through the zoom x' = ox + L·x, y' = oy + L·y,
  // skipping each row's [skip0, skip1) (the part an opaque layer covers anyway).
  void drawZoomedOver(PixelBuffer& frame, double L, double ox, double oy,
                      const CoverageMask* opaqueOnTop) const;

 private:
  void allocate(const QRectF& bounds, int W, int H);
  // The shape moved down by `offsetY`, at `weight`, blurred into work_; shape_ keeps its outline.
  bool blurShape(const QRectF& rect, double radius, double offsetY, double blur, float weight, int W, int H);
  void store();
  // Row r of the plane, -1 to height_ + 1 (the border's zeros outside 0 to height_ - 1).
  const uint8_t* row(int r) const { return plane_.data() + static_cast<size_t>(r + 1) * (width_ + 2) + 1; }

  int x0_ = 0, y0_ = 0, width_ = 0, height_ = 0;
  std::vector<uint8_t> plane_;  // width_ × height_, within a border of zeros
  std::vector<float> work_;     // while building only
  std::vector<float> scratch_;
  CoverageMask shape_;
};

}  // namespace tk
