#pragma once

#include <functional>
#include <string>

#include "platform/media/SampleBuffer.h"
#include "platform/media/ShareableContent.h"

namespace tk {

// A running source of camera frames: BGRA pixel buffers stamped on MonotonicClock. The V4L2
// camera is one; tests give the camera engine a synthetic one.
//
// start and stop are called from one thread other than the source's own; the handlers run on the
// source's own thread.
class VideoCaptureSource {
 public:
  using FrameHandler = std::function<void(const SampleBuffer&)>;
  using EndHandler = std::function<void(const std::string& reason)>;  // the device failed or went away
  using DropHandler = std::function<void(int64_t frames)>;  // frames the device captured but lost

  virtual ~VideoCaptureSource() = default;

  virtual const CaptureDevice& device() const = 0;
  // The frame size the source delivers once started.
  virtual int width() const = 0;
  virtual int height() const = 0;

  // Throws PlatformError when the device cannot stream. `onDrop` may be empty.
  virtual void start(FrameHandler onFrame, EndHandler onEnd, DropHandler onDrop) = 0;
  // Waits for the source's thread; no handler runs after it returns. Idempotent.
  virtual void stop() = 0;
  virtual bool isRunning() const = 0;
};

}  // namespace tk
