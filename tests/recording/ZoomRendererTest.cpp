#include "overlays/ZoomRenderer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace tk {
namespace {

// A renderer on a clock the test moves by hand.
class ZoomRendererTest : public ::testing::Test {
 protected:
  void advance(double seconds) {
    now += seconds;
    renderer.update();
  }

  double now = 100.0;
  ZoomRenderer renderer{[this] { return now; }};
};

// Each pixel says where it came from: red = x / 8, green = y / 8, blue = 0x40.
std::shared_ptr<PixelBuffer> coordinateFrame(int w, int h) {
  auto frame = PixelBuffer::create(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      frame->setPixel(x, y, 0xff000040u | uint32_t(x / 8) << 16 | uint32_t(y / 8) << 8);
  return frame;
}

int redOf(uint32_t p) {
  return int(p >> 16 & 0xff);
}
int greenOf(uint32_t p) {
  return int(p >> 8 & 0xff);
}

TEST_F(ZoomRendererTest, WithoutClickRendersACopyNotTheInput) {
  auto input = coordinateFrame(64, 48);
  renderer.update();
  auto output = renderer.render(input);
  ASSERT_TRUE(output);
  EXPECT_NE(output.get(), input.get());
  EXPECT_EQ(output->pixel(63, 5), input->pixel(63, 5));
  EXPECT_EQ(output->pixel(3, 47), input->pixel(3, 47));
}

TEST_F(ZoomRendererTest, ClickJumpsAnchorAndEasesScaleAlongSmoothstep) {
  renderer.update();
  renderer.handleClick({0.2, 0.3});
  auto snap = renderer.snapshot();
  EXPECT_DOUBLE_EQ(snap.anchorNormalizedCurrent.x(), 0.2);
  EXPECT_DOUBLE_EQ(snap.anchorNormalizedCurrent.y(), 0.3);
  EXPECT_DOUBLE_EQ(snap.zoomScaleTarget, 2.25);

  advance(0.225);
  EXPECT_NEAR(renderer.snapshot().zoomScaleCurrent, 1.625, 1e-9);
  advance(0.25);
  EXPECT_DOUBLE_EQ(renderer.snapshot().zoomScaleCurrent, 2.25);
  EXPECT_FALSE(renderer.snapshot().zoomAnimActive);
}

TEST_F(ZoomRendererTest, SecondClickZoomsOutAndSnapsToExactlyOne) {
  renderer.update();
  renderer.handleClick({0.5, 0.5});
  advance(0.5);
  renderer.handleClick({0.9, 0.9});
  EXPECT_DOUBLE_EQ(renderer.snapshot().zoomScaleTarget, 1.0);
  EXPECT_DOUBLE_EQ(renderer.snapshot().anchorNormalizedTarget.x(), 0.5);  // the anchor stays
  advance(0.5);
  auto snap = renderer.snapshot();
  EXPECT_EQ(snap.zoomScaleCurrent, 1.0);
  EXPECT_FALSE(snap.clickZoomEnabled);
}

TEST_F(ZoomRendererTest, ClickDuringZoomOutDependsOnCurrentScale) {
  renderer.update();
  renderer.handleClick({0.5, 0.5});
  advance(0.5);
  renderer.handleClick({0.5, 0.5});  // zooming out
  advance(0.1);
  ASSERT_GT(renderer.snapshot().zoomScaleCurrent, 1.05);
  renderer.handleClick({0.1, 0.1});  // still above 1.05: zooms out again
  EXPECT_DOUBLE_EQ(renderer.snapshot().zoomScaleTarget, 1.0);
  advance(0.44);
  ASSERT_LE(renderer.snapshot().zoomScaleCurrent, 1.05);
  renderer.handleClick({0.1, 0.1});  // low enough: zooms in from here
  EXPECT_DOUBLE_EQ(renderer.snapshot().zoomScaleTarget, 2.25);
}

TEST_F(ZoomRendererTest, CornerClickKeepsCropInsideTheFrame) {
  ZoomRenderer::Snapshot snap;
  snap.clickZoomEnabled = true;
  snap.zoomScaleCurrent = 2.25;
  snap.anchorNormalizedCurrent = {0, 0};
  QRectF crop = ZoomRenderer::cropRect(snap, 1920, 1080);
  EXPECT_NEAR(crop.center().x(), 1920 / 4.5, 1e-9);
  EXPECT_NEAR(crop.center().y(), 1080 / 4.5, 1e-9);  // rows run down: the top edge
  EXPECT_NEAR(crop.left(), 0, 1e-9);
  EXPECT_NEAR(crop.top(), 0, 1e-9);

  snap.anchorNormalizedCurrent = {1, 1};
  crop = ZoomRenderer::cropRect(snap, 1920, 1080);
  EXPECT_NEAR(crop.right(), 1920, 1e-9);
  EXPECT_NEAR(crop.bottom(), 1080, 1e-9);

  snap.clickZoomEnabled = false;
  EXPECT_TRUE(ZoomRenderer::cropRect(snap, 1920, 1080).isEmpty());
}

TEST_F(ZoomRendererTest, ZoomedRenderShowsTheCroppedRegionScaledUp) {
  renderer.update();
  // Zoom on the right-hand, lower part of the frame: the probes below fail on a flipped axis.
  renderer.handleClick({0.75, 0.7});
  advance(1.0);
  const int w = 720, h = 480;
  auto input = coordinateFrame(w, h);
  auto output = renderer.render(input);
  ASSERT_TRUE(output);
  QRectF crop = ZoomRenderer::cropRect(renderer.snapshot(), w, h);
  ASSERT_FALSE(crop.isEmpty());
  // Top-left of the output is the crop's top-left; bottom-right is its bottom-right.
  EXPECT_NEAR(redOf(output->pixel(2, 2)), crop.left() / 8, 1.5);
  EXPECT_NEAR(greenOf(output->pixel(2, 2)), crop.top() / 8, 1.5);
  EXPECT_NEAR(redOf(output->pixel(w - 3, h - 3)), crop.right() / 8, 1.5);
  EXPECT_NEAR(greenOf(output->pixel(w - 3, h - 3)), crop.bottom() / 8, 1.5);
  // A span of 90 input pixels covers 90 * 2.25 output pixels.
  EXPECT_NEAR(redOf(output->pixel(w / 2 + 101, h / 2)) - redOf(output->pixel(w / 2, h / 2)), 101 / 2.25 / 8,
              1.5);
}

TEST_F(ZoomRendererTest, AnchorSmoothingCapsLongGaps) {
  renderer.setCaptureFrame({1000, 500}, {0, 0});
  renderer.setFollowCursorEnabled(true);
  renderer.update();
  renderer.updateCursor({1000, 500});  // top right: normalised (1, 0)
  advance(1.0);
  double covered = 1 - std::exp2(-0.2 / 0.12);
  EXPECT_NEAR(renderer.snapshot().anchorNormalizedCurrent.x(), 0.5 + 0.5 * covered, 1e-9);
  EXPECT_NEAR(renderer.snapshot().anchorNormalizedCurrent.y(), 0.5 - 0.5 * covered, 1e-9);
}

TEST_F(ZoomRendererTest, NormalisesGlobalPointsAgainstTheCaptureFrame) {
  EXPECT_EQ(renderer.normalizedPoint({300, 300}), QPointF(0.5, 0.5));  // no frame yet
  renderer.setCaptureFrame({400, 200}, {100, 50});
  EXPECT_EQ(renderer.normalizedPoint({200, 200}), QPointF(0.25, 0.25));
  EXPECT_EQ(renderer.normalizedPoint({-50, 400}), QPointF(0, 0));
  EXPECT_EQ(renderer.normalizedPoint({1e6, -1e6}), QPointF(1, 1));
}

TEST_F(ZoomRendererTest, NewInputSizeGetsBuffersOfThatSize) {
  auto a = renderer.render(coordinateFrame(64, 32));
  auto b = renderer.render(coordinateFrame(32, 64));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(b->width(), 32);
  EXPECT_EQ(b->height(), 64);
}

TEST(ZoomRendererThreadsTest, ClicksFromOneThreadWhileAnotherRendersStayConsistent) {
  ZoomRenderer renderer;
  renderer.setCaptureFrame({320, 240}, {0, 0});
  renderer.setFollowCursorEnabled(true);
  auto input = coordinateFrame(320, 240);
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread pump([&] {
    while (!done) {
      renderer.update();
      auto snap = renderer.snapshot();
      if (snap.zoomScaleCurrent < 1.0 - 1e-9 || snap.zoomScaleCurrent > 2.25 + 1e-9) ++bad;
      if (!renderer.render(input)) ++bad;
    }
  });
  for (int i = 0; i < 2000; ++i) {
    renderer.updateCursor({double(i % 320), double(i % 240)});
    if (i % 50 == 0) renderer.handleClick({(i % 7) / 7.0, (i % 5) / 5.0});
  }
  done = true;
  pump.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace tk
