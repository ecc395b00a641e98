#pragma once

#include <QCoroTask>
#include <QImage>
#include <chrono>
#include <memory>
#include <optional>

#include "platform/x11/CaptureSource.h"
#include "platform/x11/StreamConfiguration.h"

namespace tk {

// One still picture of a display or a window, taken through the capture layer: a capture stream
// on its own X connection (so covered windows are read from their Composite pixmaps, and windows
// with the never-capture marker are left out) that is stopped as soon as its first frame arrives.
// It gives up after `timeout`, or when cancelled; either way the stream is stopped before take()
// returns, so nothing keeps capturing. Main thread; take() resumes there. The object may be
// destroyed while take() is pending: take() holds what it needs.
class CaptureSnapshot {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{4000};

  CaptureSnapshot(CaptureSource source, StreamConfiguration configuration,
                  std::chrono::milliseconds timeout = kDefaultTimeout);
  ~CaptureSnapshot();
  CaptureSnapshot(const CaptureSnapshot&) = delete;
  CaptureSnapshot& operator=(const CaptureSnapshot&) = delete;

  // The picture; none when the stream could not start, gave no frame in time, or was cancelled.
  // Call once.
  QCoro::Task<std::optional<QImage>> take();
  // Ends a pending take() with none at once. Any later frame is dropped.
  void cancel();

  // Whether a capture stream of this snapshot is running now (started and not yet stopped).
  bool isCapturing() const;

  // How many snapshot streams of the whole process are running now.
  static int runningStreams();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace tk
