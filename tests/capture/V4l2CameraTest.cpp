#include "platform/v4l2/V4l2Camera.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <atomic>
#include <fstream>

#include "platform/media/Error.h"
#include "platform/v4l2/V4l2Devices.h"
#include "platform/v4l2/V4l2FrameConverter.h"
#include "platform/v4l2/V4l2HotplugWatcher.h"
#include "support/TestSupport.h"

using tk::V4l2Devices;
using tk::V4l2FormatOption;

TEST(V4l2DevicesTest, HighTakesTheLargestSizeUpTo1080pAt24FpsPreferringMjpeg) {
  const uint32_t mjpeg = V4l2Devices::kMjpeg, yuyv = V4l2Devices::kYuyv;
  const uint32_t h264 = 0x34363248;  // a format we do not decode
  const std::vector<V4l2FormatOption> webcam = {
      {yuyv, 1920, 1080, 5}, {yuyv, 1280, 720, 10},   {yuyv, 640, 480, 30},   {mjpeg, 1280, 720, 30},
      {yuyv, 1280, 720, 30}, {mjpeg, 3840, 2160, 30}, {h264, 1920, 1080, 30}, {mjpeg, 640, 480, 30},
  };
  EXPECT_EQ(V4l2Devices::chooseHighFormat(webcam), (V4l2FormatOption{mjpeg, 1280, 720, 30}));
  EXPECT_EQ(V4l2Devices::chooseFormat(webcam, 640, 480), (V4l2FormatOption{mjpeg, 640, 480, 30}));
  // Only YUYV at that size: taken. Nothing reaches 24: the fastest usable one.
  EXPECT_EQ(V4l2Devices::chooseHighFormat({{yuyv, 1280, 720, 25}, {yuyv, 800, 600, 30}}),
            (V4l2FormatOption{yuyv, 1280, 720, 25}));
  EXPECT_EQ(V4l2Devices::chooseHighFormat({{yuyv, 1920, 1080, 5}, {yuyv, 640, 480, 15}}),
            (V4l2FormatOption{yuyv, 640, 480, 15}));
  EXPECT_FALSE(V4l2Devices::chooseHighFormat({{h264, 1280, 720, 30}}).has_value());
}

TEST(V4l2DevicesTest, NodesThatAreNoCaptureDevicesAreLeftOutAndAMissingNodeFailsWithItsReason) {
  QTemporaryDir dev;
  std::ofstream(dev.filePath("video0").toStdString()) << "not a device";
  std::ofstream(dev.filePath("videox").toStdString()) << "";
  EXPECT_TRUE(V4l2Devices::list(dev.path().toStdString()).empty());
  EXPECT_TRUE(V4l2Devices::list(dev.filePath("absent").toStdString()).empty());
  for (const auto& device : V4l2Devices::list())
    EXPECT_FALSE(device.uniqueID.empty());  // whatever this machine has

  tk::CaptureDevice missing;
  missing.devicePath = dev.filePath("video9").toStdString();
  try {
    tk::V4l2Camera camera(missing);
    FAIL() << "a missing node was opened";
  } catch (const tk::PlatformError& error) {
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(tk::V4l2Camera::isPermissionError(error.code()));
  }
  EXPECT_TRUE(tk::V4l2Camera::isPermissionError(EACCES));
  // A node that is no video device: its formats cannot be read, so there is no format to use.
  missing.devicePath = dev.filePath("video0").toStdString();
  EXPECT_THROW(tk::V4l2Camera camera(missing), tk::PlatformError);
}

TEST(V4l2FrameConverterTest, YuyvAndMjpegFramesBecomeBgraTheRightWayRound) {
  // YUYV: left half red, right half blue (BT.601 limited range).
  const int width = 8, height = 2;
  std::vector<uint8_t> yuyv;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; x += 2) {
      const bool left = x < width / 2;
      const uint8_t Y = left ? 81 : 41, U = left ? 90 : 240, V = left ? 240 : 110;
      yuyv.insert(yuyv.end(), {Y, U, Y, V});
    }
  tk::V4l2FrameConverter yuyvConverter(V4l2Devices::kYuyv, width, height, width * 2);
  const auto pixels = yuyvConverter.convert(yuyv.data(), yuyv.size());
  ASSERT_NE(pixels, nullptr);
  const uint32_t left = pixels->pixel(1, 0), right = pixels->pixel(6, 1);
  EXPECT_GT((left >> 16) & 0xFF, 200u);  // red
  EXPECT_LT(left & 0xFF, 60u);
  EXPECT_GT(right & 0xFF, 200u);  // blue
  EXPECT_LT((right >> 16) & 0xFF, 60u);
  EXPECT_EQ(left >> 24, 0xFFu);
  EXPECT_EQ(yuyvConverter.convert(yuyv.data(), yuyv.size() / 2), nullptr) << "a short frame is skipped";

  // MJPEG: a JPEG with green on top, white below.
  QImage image(64, 32, QImage::Format_RGB32);
  image.fill(Qt::white);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) image.setPixel(x, y, qRgb(0, 200, 0));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(image.save(&buffer, "JPEG", 95));
  tk::V4l2FrameConverter mjpegConverter(V4l2Devices::kMjpeg, 64, 32, 0);
  for (int frame = 0; frame < 3; ++frame) {  // the pool and decoder are reused frame after frame
    const auto decoded =
        mjpegConverter.convert(reinterpret_cast<const uint8_t*>(jpeg.constData()), jpeg.size());
    ASSERT_NE(decoded, nullptr);
    const uint32_t top = decoded->pixel(10, 4), bottom = decoded->pixel(10, 28);
    EXPECT_GT((top >> 8) & 0xFF, 170u);
    EXPECT_LT((top >> 16) & 0xFF, 40u);
    EXPECT_GT(bottom & 0xFF, 230u);
  }
  const uint8_t garbage[64] = {0xFF, 0xD8, 1, 2, 3};
  EXPECT_EQ(mjpegConverter.convert(garbage, sizeof garbage), nullptr);
}

TEST(V4l2HotplugWatcherTest, NoticesVideoNodesComingAndGoingButNothingElse) {
  QTemporaryDir dev;
  std::atomic<int> changes{0};
  {
    tk::V4l2HotplugWatcher watcher([&] { ++changes; }, dev.path().toStdString());
    std::ofstream(dev.filePath("tty5").toStdString()) << "";
    std::ofstream(dev.filePath("video3").toStdString()) << "";
    ASSERT_TRUE(tk::test::waitUntil([&] { return changes.load() == 1; }));
    std::filesystem::remove(dev.filePath("video3").toStdString());
    ASSERT_TRUE(tk::test::waitUntil([&] { return changes.load() == 2; }));
    std::filesystem::remove(dev.filePath("tty5").toStdString());
    tk::test::pumpEvents(std::chrono::milliseconds(300));
    EXPECT_EQ(changes.load(), 2);
  }
  EXPECT_THROW(tk::V4l2HotplugWatcher([] {}, dev.filePath("absent").toStdString()), tk::PlatformError);
}
