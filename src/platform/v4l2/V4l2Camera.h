#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/v4l2/V4l2Devices.h"
#include "platform/v4l2/VideoCaptureSource.h"

namespace tk {

class V4l2FrameConverter;

// A V4L2 camera streaming through mmap buffers on a thread of its own. Frames are converted to
// BGRA and stamped with the driver's monotonic timestamp (the clock of MonotonicClock) where the
// driver gives one, else with the time they were dequeued. An unplugged device ends the stream
// (the end handler says so) instead of polling a dead node.
class V4l2Camera : public VideoCaptureSource {
 public:
  // Opens the node and sets the format chosen for "high" (or under a lower size ceiling). Throws
  // PlatformError (domain "V4L2", code errno); EACCES or EPERM mean the user lacks the rights.
  explicit V4l2Camera(CaptureDevice device, int maxWidth = 1920, int maxHeight = 1080);
  ~V4l2Camera() override;

  const CaptureDevice& device() const override { return device_; }
  int width() const override { return format_.width; }
  int height() const override { return format_.height; }
  const V4l2FormatOption& format() const { return format_; }

  // Lost frames are told from gaps in the driver's frame sequence numbers.
  void start(FrameHandler onFrame, EndHandler onEnd, DropHandler onDrop) override;
  void stop() override;
  bool isRunning() const override { return running_.load(); }

  // Whether an error from the constructor means missing rights rather than a missing device.
  static bool isPermissionError(int code);

 private:
  struct Mapping {
    void* address = nullptr;
    size_t length = 0;
  };
  void run(FrameHandler onFrame, EndHandler onEnd, DropHandler onDrop);
  void releaseBuffers();

  CaptureDevice device_;
  int fd_ = -1;
  int wakeFd_ = -1;
  V4l2FormatOption format_;
  int bytesPerLine_ = 0;
  std::vector<Mapping> buffers_;
  std::unique_ptr<V4l2FrameConverter> converter_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;
};

}  // namespace tk
