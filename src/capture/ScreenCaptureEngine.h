#pragma once

#include <QCoroTask>
#include <QRectF>
#include <QSize>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "capture/CircularBuffer.h"
#include "capture/ContentFilter.h"
#include "model/RecordingConfiguration.h"
#include "model/RecordingError.h"
#include "model/RecordingMode.h"
#include "platform/media/CallGate.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"
#include "platform/x11/StreamConfiguration.h"
#include "platform/x11/X11ShareableContent.h"

namespace tk {

class SettingsStore;
class X11CaptureStream;
class PulseRecordStream;

// A picked window that left the screen during a take, as the person knows it.
struct GoneWindow {
  std::string name;           // as windowNameInWords gives it
  bool closed = false;        // else minimised or hidden, and it may come back
  bool pictureEnded = false;  // it was the whole picture, which ends with it
  uint32_t window = 0;        // its id
  bool wasAway = false;       // closed after it was told as off the screen, without coming back
};

// The one object that captures the screen during a recording: it loads what can be recorded,
// builds the content filter for the recording mode, runs one X11 capture stream of video frames
// and, when asked, a record stream of system audio (the monitor of the default output), checks
// each frame before handing it on, keeps the times of the last 60 frames, follows a window that
// grows, and reports a stream that stops by itself. It neither encodes nor writes.
//
// Threads: construction, the asynchronous operations, the setters, createFilter, captureRect,
// currentDisplay and updateStreamForResize run on the main thread. Video frames arrive on the
// stream's "ScreenCapture" thread and system audio on the record stream's thread; the handlers are
// called there and must be safe there. The error handler is called once, on the thread of the
// stream that stopped. The handlers, filter and configuration are set before startSound and
// startCapture.
class ScreenCaptureEngine {
 public:
  using SampleHandler = std::function<void(const SampleBuffer&)>;
  using ErrorHandler = std::function<void(const RecordingError&)>;
  static constexpr size_t kFrameTimingCapacity = 60;

  ScreenCaptureEngine();
  // Turns the streams' callbacks and then the workers of a start still under way away (waiting for
  // those already inside), then stops both streams and joins their threads. A start or refresh
  // that was awaited meanwhile resumes without touching the engine, and drops what it opened.
  ~ScreenCaptureEngine();
  ScreenCaptureEngine(const ScreenCaptureEngine&) = delete;
  ScreenCaptureEngine& operator=(const ScreenCaptureEngine&) = delete;

  // Loads displays, windows (desktop windows included, on-screen only) and applications. Throws
  // RecordingError::captureDeviceUnavailable when there is no display (the content is stored
  // all the same); a failure to reach the X server is rethrown as its tk::PlatformError and keeps
  // the previous content.
  QCoro::Task<void> refreshAvailableContent();
  void refreshAvailableContentBlocking();

  // Builds the filter for `mode` (the rules in ContentFilterRules.cpp) and stores the mode. Reads
  // the hidden applications from `store` (the standard store when none is given).
  ContentFilter createFilter(const RecordingMode& mode, const RecordingConfiguration& configuration);
  ContentFilter createFilter(const RecordingMode& mode, const RecordingConfiguration& configuration,
                             const SettingsStore& store);

  // Throws RecordingError::invalidConfiguration without filter or configuration, and the
  // streams' tk::PlatformError when one cannot start (then nothing runs).
  QCoro::Task<void> startCapture();
  // With system audio: opens the record stream ahead of the picture and returns once it delivered
  // its first block (2.5 s at most). An output renders its sound up to two seconds ahead of playing
  // it, and its monitor hears only what is rendered after it opened, so a picture started before
  // that would begin without sound. startCapture then keeps this stream; a failure here is only
  // noted, and startCapture opens the stream again (and reports).
  QCoro::Task<void> startSound();
  void startCaptureBlocking();
  // From the moment a stop is called, nothing of the stopped streams (a frame, a block of sound,
  // their stop, a window gone) reaches the engine or its handlers: what is inside already is
  // waited for, the rest is turned away, and only then is the frame timing cleared.
  QCoro::Task<void> stopCapture();
  void stopCaptureBlocking();
  // Before a stop: the system-audio stream hands over everything it captured before `end` and
  // nothing after; soundDrained() says when it has (at once without system audio).
  void drainSoundUntil(MediaTime end);
  bool soundDrained() const;

  // The captured region in global coordinates (y up from the bottom); none without a filter.
  std::optional<QRectF> captureRect() const;
  // The screen and area modes' display; for the other modes the display that holds the chosen
  // window (the largest part of it), else the first display; none without content or displays.
  CaptureDisplayRef currentDisplay() const;

  // A snapshot taken elsewhere (a picker's, or a test's).
  void setAvailableContent(ShareableContent content) { availableContent_ = std::move(content); }
  void setFilter(ContentFilter filter) { filter_ = std::move(filter); }
  void setConfiguration(StreamConfiguration configuration) { configuration_ = std::move(configuration); }
  void setFrameHandler(SampleHandler handler) { frameHandler_ = std::move(handler); }
  void setAudioHandler(SampleHandler handler) { audioHandler_ = std::move(handler); }
  void setErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }
  // Called on the sound's thread, with the reason, when system audio ends by itself while the
  // picture goes on (the sound server went away). Set before startCapture.
  void setSoundEndHandler(std::function<void(const std::string&)> handler) {
    soundEndHandler_ = std::move(handler);
  }

  // Called on the capture thread when a window the mode picked closes or leaves the screen while
  // the picture goes on (and before the stop when it was the whole picture). Set before
  // startCapture.
  void setWindowGoneHandler(std::function<void(const GoneWindow&)> handler) {
    windowGoneHandler_ = std::move(handler);
  }

  const std::optional<ContentFilter>& filter() const { return filter_; }
  const std::optional<StreamConfiguration>& configuration() const { return configuration_; }
  const std::optional<ShareableContent>& availableContent() const { return availableContent_; }
  const std::optional<RecordingMode>& mode() const { return mode_; }
  bool isCapturing() const { return isCapturing_.load(); }
  std::optional<MediaTime> lastPTS() const;
  // A copy of the frame-time history (storage order).
  std::vector<MediaTime> frameTimes() const;
  size_t frameTimingIndex() const;
  size_t frameTimingReserved() const;

  // The stream's entry points, public so that tests can feed frames: a video frame (capture
  // thread), a block of system audio (audio thread), and the stream's own stop (any thread).
  void handleVideoSample(const SampleBuffer& sample);
  void handleAudioSample(const SampleBuffer& sample);
  void streamDidStop(const std::string& reason);
  // Whether the stream stopped by itself since the last start; set at once on the stopping thread,
  // before its news reaches the main thread.
  bool stoppedByItself() const { return stoppedByItself_; }
  // Main thread: grows the stream to the content's real size (a window that grew, whose content had
  // to be scaled down by `contentScale`), never past it and never past 8192 on a side.
  void updateStreamForResize(double contentScale, QSize contentSize);

 private:
  std::optional<ContentFilter> filter_;
  std::optional<StreamConfiguration> configuration_;
  std::optional<ShareableContent> availableContent_;
  std::optional<RecordingMode> mode_;
  SampleHandler frameHandler_;
  SampleHandler audioHandler_;
  ErrorHandler errorHandler_;
  std::function<void(const std::string&)> soundEndHandler_;
  std::function<void(const GoneWindow&)> windowGoneHandler_;

  mutable std::mutex timingMutex_;
  CircularBuffer<MediaTime> frameTimingBuffer_{kFrameTimingCapacity};
  std::optional<MediaTime> lastPTS_;

  std::atomic<bool> isCapturing_{false};
  std::atomic<bool> stoppedByItself_{false};
  // A resize is on its way to the main thread: frames in the meantime ask for nothing more.
  std::atomic<bool> resizePending_{false};
  std::unique_ptr<X11CaptureStream> stream_;
  std::unique_ptr<PulseRecordStream> audioStream_;
  using Gate = CallGate<ScreenCaptureEngine>;
  // Opens the monitor of the default output and waits for its first block (any thread). The
  // stream reaches the engine through `gate` only.
  static std::unique_ptr<PulseRecordStream> openSoundStream(const std::shared_ptr<Gate>& gate,
                                                            const StreamConfiguration& configuration);
  struct Streams {
    std::unique_ptr<X11CaptureStream> video;
    std::unique_ptr<PulseRecordStream> audio;
    Streams();
    Streams(std::unique_ptr<X11CaptureStream> video, std::unique_ptr<PulseRecordStream> audio);
    Streams(Streams&&) noexcept;
    Streams& operator=(Streams&&) noexcept;
    ~Streams();  // stops and joins both
  };
  // soundOpen: the record stream is open already. The streams reach the engine through `streamGate`.
  Streams makeStreams(const std::shared_ptr<Gate>& streamGate, bool soundOpen);
  // The windows the mode picked, as the filter holds them (with their titles at the start).
  std::vector<CaptureWindowRef> pickedWindows() const;
  void windowGone(uint32_t window, bool closed, bool wasAway);
  void adopt(Streams streams);
  Streams release();

  // The gate of the streams of this take, opened anew by a start after a stop (main thread).
  std::shared_ptr<Gate> openStreamGate();

  // What the workers and the work posted to the main thread reach the engine through; closed
  // when the engine goes.
  std::shared_ptr<Gate> gate_;
  // What the running streams reach the engine through, and what their frames post to the main
  // thread; closed when they are released (at a stop, or when the engine goes). Replaced on the
  // main thread only while no stream of it runs.
  std::shared_ptr<Gate> streamGate_;
};

}  // namespace tk
