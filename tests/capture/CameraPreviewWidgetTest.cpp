#include "capture/CameraPreviewWidget.h"

#include <gtest/gtest.h>

#include <QImage>
#include <thread>

#include "support/TestSupport.h"

TEST(CameraPreviewWidgetTest, ShowsTheLatestFrameFromAnyThreadTheRightWayRound) {
  TK_REQUIRE_DESKTOP();
  tk::CameraPreviewWidget preview;
  preview.resize(200, 100);
  preview.show();
  // Red on the left, blue on the right, a green top row: a flipped axis shows.
  auto pixels = tk::PixelBuffer::create(40, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      pixels->setPixel(x, y, y < 3 ? 0xFF00FF00u : x < 20 ? 0xFFFF0000u : 0xFF0000FFu);
  std::thread([&] { preview.showFrame(tk::SampleBuffer::video(pixels, tk::MediaTime(1, 30))); }).join();
  QImage shown;
  ASSERT_TRUE(tk::test::waitUntil([&] {
    shown = preview.grab().toImage();
    return shown.pixelColor(50, 60) == QColor(255, 0, 0);
  }));
  EXPECT_EQ(shown.pixelColor(150, 60), QColor(0, 0, 255));
  EXPECT_EQ(shown.pixelColor(100, 2), QColor(0, 255, 0));

  preview.setMirrored(true);
  preview.update();
  ASSERT_TRUE(tk::test::waitUntil([&] {
    shown = preview.grab().toImage();
    return shown.pixelColor(50, 60) == QColor(0, 0, 255);
  }));
}
