#include "capture/ScreenCaptureEngine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>

#include "capture/ContentQueries.h"
#include "capture/DisplayScreen.h"
#include "platform/media/Error.h"
#include "platform/pulse/PulseRecordStream.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/MainThread.h"
#include "platform/qt/TestHold.h"
#include "platform/x11/X11CaptureStream.h"

namespace tk {

namespace {

constexpr int kLargestStreamSide = 8192;

// An output renders up to two seconds ahead of what it plays, and its monitor hears only what it
// renders from the moment the monitor is opened. The picture waits this long at most for the
// first sound, so that the take does not begin with a stretch of sound nobody could capture.
constexpr auto kFirstSoundLimit = std::chrono::milliseconds(2500);

// Set by the record stream's thread when it hands over its first block.
class FirstSound {
 public:
  void arrived() {
    {
      std::lock_guard lock(mutex_);
      arrived_ = true;
    }
    condition_.notify_all();
  }
  bool waitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return condition_.wait_for(lock, limit, [this] { return arrived_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool arrived_ = false;
};

// QtConcurrent only carries QException across threads: take any exception home as a pointer.
struct WorkerOutcome {
  std::exception_ptr failure;
};

template <typename Function>
QCoro::Task<void> runOnWorker(Function function) {
  const WorkerOutcome outcome = co_await onWorker([&function]() -> WorkerOutcome {
    try {
      function();
      return {};
    } catch (...) {
      return {std::current_exception()};
    }
  });
  if (outcome.failure) std::rethrow_exception(outcome.failure);
}

int evenSide(int side) {
  int value = std::min(side, kLargestStreamSide);
  value -= value % 2;  // encoders want even sizes
  return std::max(value, 2);
}

}  // namespace

ScreenCaptureEngine::Streams::Streams() = default;
ScreenCaptureEngine::Streams::Streams(std::unique_ptr<X11CaptureStream> video,
                                      std::unique_ptr<PulseRecordStream> audio)
    : video(std::move(video)), audio(std::move(audio)) {}
ScreenCaptureEngine::Streams::Streams(Streams&&) noexcept = default;
ScreenCaptureEngine::Streams& ScreenCaptureEngine::Streams::operator=(Streams&&) noexcept = default;
ScreenCaptureEngine::Streams::~Streams() {
  // Video first: its thread may still hand frames on while audio winds down.
  video.reset();
  audio.reset();
}

ScreenCaptureEngine::ScreenCaptureEngine()
    : gate_(std::make_shared<Gate>(this)), streamGate_(std::make_shared<Gate>(this)) {}

ScreenCaptureEngine::~ScreenCaptureEngine() {
  streamGate_->close();
  gate_->close();
  stream_.reset();
  audioStream_.reset();
}

QCoro::Task<void> ScreenCaptureEngine::refreshAvailableContent() {
  const std::shared_ptr<Gate> gate = gate_;
  std::optional<ShareableContent> loaded;
  co_await runOnWorker([&loaded] {
    ShareableContentOptions options;
    options.excludeDesktopWindows = false;
    options.onScreenWindowsOnly = true;
    loaded = loadShareableContent(options);
  });
  if (!gate->isOpen()) throw RecordingError::captureDeviceUnavailable();  // the engine went meanwhile
  availableContent_ = std::move(loaded);
  if (availableContent_->displays.empty()) throw RecordingError::captureDeviceUnavailable();
}

void ScreenCaptureEngine::refreshAvailableContentBlocking() {
  ShareableContentOptions options;
  options.excludeDesktopWindows = false;
  options.onScreenWindowsOnly = true;
  availableContent_ = loadShareableContent(options);
  if (availableContent_->displays.empty()) throw RecordingError::captureDeviceUnavailable();
}

QCoro::Task<void> ScreenCaptureEngine::startCapture() {
  if (stream_) co_return;
  // Cleared before the worker runs: a stop reported while the streams are made must last.
  stoppedByItself_ = false;
  const std::shared_ptr<Gate> gate = gate_;
  const std::shared_ptr<Gate> streamGate = openStreamGate();
  Streams streams;
  // The streams are made on a worker (connecting may take a while) but handed over here, so the
  // main thread alone ever sees the engine's stream fields.
  auto make = [gate, streamGate, &streams, soundOpen = audioStream_ != nullptr] {
    gate->call([&](ScreenCaptureEngine& engine) {
      TestHold::at("stream-making", [&gate] { return gate->closerWaits(); });
      streams = engine.makeStreams(streamGate, soundOpen);
    });
  };
  co_await runOnWorker(std::move(make));
  // Gone or stopped meanwhile: the streams made stop with this frame.
  if (!gate->isOpen() || !streamGate->isOpen()) throw RecordingError::streamInterrupted();
  adopt(std::move(streams));
}

void ScreenCaptureEngine::startCaptureBlocking() {
  if (stream_) return;
  stoppedByItself_ = false;
  adopt(makeStreams(openStreamGate(), audioStream_ != nullptr));
}

std::shared_ptr<ScreenCaptureEngine::Gate> ScreenCaptureEngine::openStreamGate() {
  if (!streamGate_->isOpen()) streamGate_ = std::make_shared<Gate>(this);
  return streamGate_;
}

QCoro::Task<void> ScreenCaptureEngine::startSound() {
  if (stream_ || audioStream_ || !configuration_ || !configuration_->capturesAudio) co_return;
  const std::shared_ptr<Gate> gate = gate_;
  std::unique_ptr<PulseRecordStream> audio;
  auto open = [streamGate = openStreamGate(), configuration = *configuration_, &audio] {
    audio = openSoundStream(streamGate, configuration);
  };
  try {
    co_await runOnWorker(std::move(open));
  } catch (const std::exception& error) {
    // startCapture opens it again, and reports a failure there.
    Diagnostics::line(std::string("⚠️ System audio did not open ahead of the picture: ") + error.what());
    co_return;
  }
  if (!gate->isOpen()) co_return;  // gone meanwhile: the stream stops with this frame
  audioStream_ = std::move(audio);
}

std::unique_ptr<PulseRecordStream> ScreenCaptureEngine::openSoundStream(
    const std::shared_ptr<Gate>& gate, const StreamConfiguration& configuration) {
  TestHold::at("sound-opening");
  PulseRecordStream::Options options;
  options.monitorOfDefaultSink = true;
  options.deliveredFormat = AudioFormat{configuration.sampleRate, configuration.channelCount, true};
  auto firstSound = std::make_shared<FirstSound>();
  auto audio = PulseRecordStream::start(
      options,
      [gate, firstSound](const SampleBuffer& sample) {
        firstSound->arrived();
        TestHold::at("sound-handoff");
        gate->call([&](ScreenCaptureEngine& engine) { engine.handleAudioSample(sample); });
      },
      [gate, firstSound](const std::string& reason) {
        firstSound->arrived();  // nothing more to wait for
        // The picture is the recording: it goes on, and the audio track is silent from here.
        Diagnostics::line("⚠️ System audio capture ended: " + reason +
                          "; the video goes on with silence");
        gate->call([&](ScreenCaptureEngine& engine) {
          if (engine.soundEndHandler_) engine.soundEndHandler_(reason);
        });
      });
  if (!firstSound->waitFor(kFirstSoundLimit))
    Diagnostics::line("⚠️ The default output's monitor delivered nothing yet; the picture starts anyway");
  return audio;
}

ScreenCaptureEngine::Streams ScreenCaptureEngine::makeStreams(const std::shared_ptr<Gate>& streamGate,
                                                              bool soundOpen) {
  if (!filter_ || !configuration_) {
    throw RecordingError::invalidConfiguration(
        "Filter and configuration must be set before starting capture");
  }
  Streams streams;
  CaptureSource source = filter_->captureSource();
  for (const auto& window : pickedWindows()) source.followed.push_back(window->windowID);
  streams.video = std::make_unique<X11CaptureStream>(
      std::move(source), *configuration_,
      [gate = streamGate](const SampleBuffer& sample) {
        TestHold::at("frame-handoff");
        gate->call([&](ScreenCaptureEngine& engine) { engine.handleVideoSample(sample); });
      },
      [gate = streamGate](const std::string& reason) {
        gate->call([&](ScreenCaptureEngine& engine) { engine.streamDidStop(reason); });
      });
  streams.video->setWindowGoneHandler([gate = streamGate](uint32_t window, bool closed, bool wasAway) {
    gate->call([&](ScreenCaptureEngine& engine) { engine.windowGone(window, closed, wasAway); });
  });
  if (configuration_->capturesAudio && !soundOpen)
    streams.audio = openSoundStream(streamGate, *configuration_);
  streams.video->start();
  return streams;
}

void ScreenCaptureEngine::adopt(Streams streams) {
  stream_ = std::move(streams.video);
  if (streams.audio) audioStream_ = std::move(streams.audio);
  resizePending_ = false;  // a resize asked by a stopped stream was turned away
  isCapturing_ = true;
}

QCoro::Task<void> ScreenCaptureEngine::stopCapture() {
  if (!stream_ && !audioStream_) co_return;  // the sound may be open alone (startSound)
  Streams streams = release();
  co_await runOnWorker([&streams] { streams = {}; });
}

void ScreenCaptureEngine::stopCaptureBlocking() {
  if (!stream_ && !audioStream_) return;
  release();
}

void ScreenCaptureEngine::drainSoundUntil(MediaTime end) {
  if (audioStream_) audioStream_->drainUntil(end);
}

bool ScreenCaptureEngine::soundDrained() const {
  return !audioStream_ || audioStream_->drained();
}

ScreenCaptureEngine::Streams ScreenCaptureEngine::release() {
  // The streams' threads are joined later, on a worker: a frame grabbed before this stop but handed
  // on after it would otherwise set the timing again and reach the handler of a take that ended.
  streamGate_->close();
  Streams streams{std::move(stream_), std::move(audioStream_)};
  isCapturing_ = false;
  std::lock_guard lock(timingMutex_);
  lastPTS_.reset();
  frameTimingBuffer_.clear();
  return streams;
}

std::optional<MediaTime> ScreenCaptureEngine::lastPTS() const {
  std::lock_guard lock(timingMutex_);
  return lastPTS_;
}

std::vector<MediaTime> ScreenCaptureEngine::frameTimes() const {
  std::lock_guard lock(timingMutex_);
  return frameTimingBuffer_.buffer();
}

size_t ScreenCaptureEngine::frameTimingIndex() const {
  std::lock_guard lock(timingMutex_);
  return frameTimingBuffer_.index();
}

size_t ScreenCaptureEngine::frameTimingReserved() const {
  std::lock_guard lock(timingMutex_);
  return frameTimingBuffer_.reservedCapacity();
}

void ScreenCaptureEngine::handleVideoSample(const SampleBuffer& sample) {
  if (!sample.isValid()) return;
  const auto& attachments = sample.attachments();
  if (!attachments || attachments->status != FrameStatus::complete) return;
  if (attachments->contentScale && *attachments->contentScale < 0.99 && attachments->contentRect &&
      std::isfinite(*attachments->contentScale) && *attachments->contentScale > 0 &&
      !resizePending_.exchange(true)) {
    // The content's real size: the placed rectangle at full scale.
    const double scale = *attachments->contentScale;
    const QSize content(static_cast<int>(std::lround(attachments->contentRect->width / scale)),
                        static_cast<int>(std::lround(attachments->contentRect->height / scale)));
    // Through this take's gate: a resize asked before a stop never reaches the next take's stream.
    // (Read on the capture thread: only a stopped take's gate is ever replaced.)
    postToMainThread([gate = streamGate_, scale, content] {
      gate->call([&](ScreenCaptureEngine& engine) {
        engine.updateStreamForResize(scale, content);
        engine.resizePending_ = false;
      });
    });
  }
  {
    std::lock_guard lock(timingMutex_);
    frameTimingBuffer_.append(sample.presentationTime());
    lastPTS_ = sample.presentationTime();
  }
  if (frameHandler_) frameHandler_(sample);
}

void ScreenCaptureEngine::handleAudioSample(const SampleBuffer& sample) {
  if (!sample.isValid()) return;
  if (audioHandler_) audioHandler_(sample);
}

void ScreenCaptureEngine::streamDidStop(const std::string& reason) {
  if (stoppedByItself_.exchange(true)) return;
  Diagnostics::line("ScreenCaptureEngine: Stream stopped with error: " + reason);
  isCapturing_ = false;
  if (errorHandler_) errorHandler_(RecordingError::streamInterrupted());
}

std::vector<CaptureWindowRef> ScreenCaptureEngine::pickedWindows() const {
  std::vector<CaptureWindowRef> picked;
  if (!filter_ || !mode_) return picked;
  auto wasPicked = [this](const CaptureWindowRef& window) {
    if (const auto* one = mode_->get<RecordingMode::Window>())
      return one->window && one->window->windowID == window->windowID;
    if (const auto* several = mode_->get<RecordingMode::Windows>()) {
      return std::any_of(
          several->windows.begin(), several->windows.end(),
          [&](const CaptureWindowRef& chosen) { return chosen && chosen->windowID == window->windowID; });
    }
    return false;
  };
  for (const auto& window : filter_->windows)
    if (window && wasPicked(window)) picked.push_back(window);
  return picked;
}

void ScreenCaptureEngine::windowGone(uint32_t window, bool closed, bool wasAway) {
  for (const auto& picked : pickedWindows()) {
    if (picked->windowID != window) continue;
    Diagnostics::line("ScreenCaptureEngine: window " + std::to_string(window) +
                      (closed ? " closed" : " left the screen"));
    const bool wholePicture = filter_->kind == ContentFilter::Kind::desktopIndependentWindow;
    if (windowGoneHandler_)
      windowGoneHandler_(
          {windowNameInWords(*picked), closed, closed && wholePicture, window, closed && wasAway});
    return;
  }
}

void ScreenCaptureEngine::updateStreamForResize(double contentScale, QSize contentSize) {
  if (!stream_ || !configuration_) return;
  // A scale of zero, below zero or not a number says nothing about the window's size.
  if (!std::isfinite(contentScale) || contentScale <= 0 || contentSize.isEmpty()) return;
  const int width = evenSide(contentSize.width());
  const int height = evenSide(contentSize.height());
  if (width <= configuration_->width && height <= configuration_->height) return;
  Diagnostics::line("🔄 Window resized: contentScale=" + formatDouble(contentScale) + ", updating stream to " +
                    std::to_string(width) + "x" + std::to_string(height));
  StreamConfiguration updated;
  updated.width = width;
  updated.height = height;
  updated.showsCursor = configuration_->showsCursor;
  updated.backgroundColor = configuration_->backgroundColor;
  updated.pixelFormat = configuration_->pixelFormat;
  updated.colorSpaceName = configuration_->colorSpaceName;
  updated.minimumFrameInterval = configuration_->minimumFrameInterval;
  updated.scalesToFit = configuration_->scalesToFit;
  updated.capturesAudio = configuration_->capturesAudio;
  updated.sampleRate = configuration_->sampleRate;
  updated.channelCount = configuration_->channelCount;
  stream_->updateConfiguration(updated);
  configuration_ = updated;
  Diagnostics::line("✅ Stream configuration updated successfully");
}

std::optional<QRectF> ScreenCaptureEngine::captureRect() const {
  if (!filter_) return std::nullopt;
  std::optional<QRectF> screen;
  if (const CaptureDisplayRef display = currentDisplay()) screen = screenFrame(*display);
  if (!screen) screen = mainScreenFrame();
  const QRectF frame = screen.value_or(QRectF());
  const QRectF region = configuration_ && !configuration_->sourceRect.isNull() ? configuration_->sourceRect
                                                                               : filter_->contentRect();
  return QRectF(frame.x() + region.x(), frame.y() + (frame.height() - region.height() - region.y()),
                region.width(), region.height());
}

}  // namespace tk
