#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/media/PixelBuffer.h"
#include "platform/v4l2/VideoCaptureSource.h"
#include "writing/WriterConfiguration.h"

namespace tk::test {

// The camera layer's writer settings for a 64x48 synthetic camera at 30 fps.
inline WriterConfiguration syntheticCameraLayer(const std::filesystem::path& path) {
  WriterConfiguration configuration;
  configuration.outputURL = path;
  VideoSettings video;
  video.width = 64;
  video.height = 48;
  video.frameRate = 30;
  video.codec = VideoEncoder::h264;
  video.quality = VideoQuality::medium;
  configuration.videoSettings = video;
  return configuration;
}

// A camera the test drives by hand: each deliver() hands one frame to the engine on the test's
// thread, as a device's thread would.
class SyntheticCamera : public VideoCaptureSource {
 public:
  // Red on the left half, blue on the right; or all of one ARGB colour.
  SyntheticCamera(CaptureDevice device, int width, int height, std::optional<uint32_t> colour = {})
      : device_(std::move(device)), width_(width), height_(height) {
    pixels_ = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        pixels_->setPixel(x, y, colour ? *colour : x < width / 2 ? 0xFFFF0000u : 0xFF0000FFu);
  }

  const CaptureDevice& device() const override { return device_; }
  int width() const override { return width_; }
  int height() const override { return height_; }

  void start(FrameHandler onFrame, EndHandler onEnd, DropHandler onDrop) override {
    std::lock_guard lock(mutex_);
    onFrame_ = std::move(onFrame);
    onEnd_ = std::move(onEnd);
    onDrop_ = std::move(onDrop);
    running_ = true;
  }
  void stop() override {
    std::lock_guard lock(mutex_);
    onFrame_ = nullptr;
    onEnd_ = nullptr;
    running_ = false;
  }
  bool isRunning() const override {
    std::lock_guard lock(mutex_);
    return running_;
  }

  // One frame stamped `seconds` on the monotonic clock; false when the source is not running.
  bool deliver(double seconds) {
    FrameHandler handler;
    {
      std::lock_guard lock(mutex_);
      handler = onFrame_;
    }
    if (!handler) return false;
    handler(SampleBuffer::video(pixels_, MediaTime::fromSeconds(seconds, 1'000'000'000)));
    return true;
  }

  // A frame stamped `seconds` that the device's thread is about to hand over (its handler taken):
  // calling the result hands it over, whenever that is.
  std::function<void()> grab(double seconds) {
    std::lock_guard lock(mutex_);
    return [handler = onFrame_,
            sample = SampleBuffer::video(pixels_, MediaTime::fromSeconds(seconds, 1'000'000'000))] {
      if (handler) handler(sample);
    };
  }

  // The device lost `frames` frames (a gap in its sequence).
  void drop(int64_t frames) {
    DropHandler handler;
    {
      std::lock_guard lock(mutex_);
      handler = onDrop_;
    }
    if (handler) handler(frames);
  }

  void unplug() {
    EndHandler handler;
    {
      std::lock_guard lock(mutex_);
      handler = onEnd_;
      onFrame_ = nullptr;
      running_ = false;
    }
    if (handler) handler("The camera " + device_.devicePath + " was disconnected");
  }

 private:
  CaptureDevice device_;
  int width_;
  int height_;
  std::shared_ptr<PixelBuffer> pixels_;
  mutable std::mutex mutex_;
  FrameHandler onFrame_;
  EndHandler onEnd_;
  DropHandler onDrop_;
  bool running_ = false;
};

inline CaptureDevice syntheticDevice(const std::string& name = "Synthetic Camera") {
  CaptureDevice device;
  device.uniqueID = "synthetic:" + name;
  device.localizedName = name;
  device.devicePath = "/dev/video-synthetic";
  return device;
}

}  // namespace tk::test
