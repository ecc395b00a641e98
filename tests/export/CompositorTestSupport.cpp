#include "CompositorTestSupport.h"

#include <chrono>

namespace tk::test {

std::shared_ptr<PixelBuffer> positionFrame(int width, int height, uint8_t blue) {
  auto frame = PixelBuffer::create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t r = static_cast<uint32_t>(x * 255 / std::max(width - 1, 1));
      const uint32_t g = static_cast<uint32_t>(y * 255 / std::max(height - 1, 1));
      frame->setPixel(x, y, 0xff000000u | r << 16 | g << 8 | blue);
    }
  return frame;
}

std::shared_ptr<PixelBuffer> splitFrame(int width, int height, uint32_t top, uint32_t bottom) {
  auto frame = PixelBuffer::create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) frame->setPixel(x, y, y < height / 2 ? top : bottom);
  return frame;
}

Channels channels(uint32_t p) {
  return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff),
          static_cast<int>(p >> 24)};
}

ZoomSegment zoomSegment(double start, double end, double level, double ease) {
  ZoomSegment s;
  s.startTime = start;
  s.endTime = end;
  s.zoomLevel = level;
  s.easeIn = s.easeOut = ease;
  return s;
}

RoundedCameraCompositorSettings plainSettings() {
  RoundedCameraCompositorSettings s;
  s.cursorOverlaySettings.enabled = false;
  s.screenShadowOpacity = 0;
  s.cameraShadowOpacity = 0;
  return s;
}

Composed compose(RoundedCameraCompositor& compositor, const RoundedCameraCompositorSettings& settings,
                 double t, QSize canvas, std::shared_ptr<const PixelBuffer> screen,
                 std::shared_ptr<const PixelBuffer> camera,
                 std::shared_ptr<VideoCompositionRenderContext> context) {
  if (!context) context = std::make_shared<VideoCompositionRenderContext>(canvas, MediaTime(1, 60));
  const MediaTimeRange all{MediaTime(0, 600), MediaTime(600 * 3600, 600)};
  auto instruction =
      std::make_shared<RoundedCameraCompositionInstruction>(all, std::vector<int32_t>{1, 2}, settings);
  std::vector<VideoCompositionRequest::SourceFrame> frames;
  if (screen) frames.push_back({1, all, screen});
  if (camera) frames.push_back({2, all, camera});
  std::mutex mutex;
  std::condition_variable done;
  std::optional<Composed> result;
  auto request = std::make_shared<VideoCompositionRequest>(
      MediaTime::fromSeconds(t, 600), instruction, context, std::move(frames),
      [&](std::shared_ptr<PixelBuffer> frame, std::optional<PlatformError> error) {
        std::lock_guard lock(mutex);
        result = Composed{std::move(frame), std::move(error)};
        done.notify_all();
      });
  compositor.startVideoCompositionRequest(std::move(request));
  std::unique_lock lock(mutex);
  if (!done.wait_for(lock, std::chrono::seconds(60), [&] { return result.has_value(); })) return {};
  return std::move(*result);
}

}  // namespace tk::test
