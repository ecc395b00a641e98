// Times the camera's per-frame work: an MJPEG frame decoded and converted to BGRA, and a YUYV
// frame converted, at 1280x720 and 1920x1080. A camera at 30 fps leaves 33 ms a frame.
//
// bench_CameraFrameConversion [--short]

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/v4l2/V4l2Devices.h"
#include "platform/v4l2/V4l2FrameConverter.h"

namespace {

// A picture with detail everywhere, so the JPEG is as large as a real camera's.
QImage scene(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y,
                     qRgb(static_cast<int>(127 + 120 * std::sin(x * 0.05 + y * 0.01)), (x ^ y) & 0xFF,
                          static_cast<int>(127 + 120 * std::cos(y * 0.07))));
  return image;
}

double timeFrames(tk::V4l2FrameConverter& converter, const std::vector<uint8_t>& frame, int count) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i)
    if (!converter.convert(frame.data(), frame.size())) std::fprintf(stderr, "frame %d failed\n", i);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / count;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const bool isShort = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  const int count = isShort ? 5 : 300;
  for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    const QImage image = scene(width, height);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    std::vector<uint8_t> mjpeg(jpeg.begin(), jpeg.end());
    tk::V4l2FrameConverter mjpegConverter(tk::V4l2Devices::kMjpeg, width, height, 0);
    const double mjpegMs = timeFrames(mjpegConverter, mjpeg, count);

    std::vector<uint8_t> yuyv(static_cast<size_t>(width) * height * 2);
    for (size_t i = 0; i < yuyv.size(); ++i) yuyv[i] = static_cast<uint8_t>(i * 7);
    tk::V4l2FrameConverter yuyvConverter(tk::V4l2Devices::kYuyv, width, height, width * 2);
    const double yuyvMs = timeFrames(yuyvConverter, yuyv, count);

    std::printf("%dx%d: MJPEG (%zu KB) %.2f ms/frame, YUYV %.2f ms/frame (budget at 30 fps: 33.3 ms)\n",
                width, height, mjpeg.size() / 1024, mjpegMs, yuyvMs);
  }
  return 0;
}
