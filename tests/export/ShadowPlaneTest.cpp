#include <gtest/gtest.h>

#include "export/CoverageMask.h"
#include "export/PixelCompositing.h"
#include "export/ShadowPlane.h"

namespace tk {
namespace {

// The camera's shadow is laid only around the bubble's fully covered runs, since the opaque camera
// is drawn over them next: once the camera is on top, the frame must be the one a whole shadow
// gives, at the bubble's anti-aliased edge and where the bubble is cut by the canvas's edges.
TEST(ShadowPlaneTest, ShadowAroundAnOpaqueLayerLeavesTheFrameAsAWholeShadowDoes) {
  const int width = 120, height = 90;
  auto camera = PixelBuffer::create(30, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) camera->setPixel(x, y, 0xff000000u | (x * 8) << 16 | (y * 12) << 8 | 0x40);
  for (const QRectF bubble : {QRectF(20.5, 15.25, 47.5, 41.3), QRectF(85.5, 60.5, 50, 44)}) {
    ShadowPlane shadow;
    shadow.buildCameraShadow(bubble, 12.5, 8, 12, 0.4, width, height);
    ASSERT_FALSE(shadow.isEmpty());
    CoverageMask mask;
    mask.build(bubble, 12.5, bubble, width, height);
    const PixelCompositing::Placement placement{bubble.x(), bubble.y(), bubble.width() / 30,
                                                bubble.height() / 20};
    auto whole = PixelBuffer::create(width, height), around = PixelBuffer::create(width, height);
    whole->fill(0xffd0e0f0u);
    around->fill(0xffd0e0f0u);
    shadow.drawOver(*whole);
    shadow.drawOver(*around, &mask);
    PixelCompositing::drawImage(*whole, *camera, placement, mask);
    PixelCompositing::drawImage(*around, *camera, placement, mask);
    int differing = 0, darkened = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        differing += whole->pixel(x, y) != around->pixel(x, y);
        darkened += whole->pixel(x, y) != 0xffd0e0f0u && mask.coverageAt(x, y) == 0;
      }
    EXPECT_EQ(differing, 0) << "bubble at x " << bubble.x();
    EXPECT_GT(darkened, 100) << "the shadow shows around the bubble at x " << bubble.x();
  }
}

}  // namespace
}  // namespace tk
