#include "capture/CameraCaptureEngine.h"

#include <QMessageBox>

#include "model/RecordingError.h"
#include "platform/media/MonotonicClock.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/MainThread.h"
#include "platform/v4l2/V4l2Camera.h"
#include "platform/v4l2/V4l2Devices.h"
#include "writing/MediaWriter.h"

namespace tk {

const char* const CameraCaptureEngine::kPermissionMessage = "Camera Permission Required";
const char* const CameraCaptureEngine::kPermissionInformative =
    "tavelkombrix needs permission to access your camera for overlay functionality. "
    "Cameras belong to the \"video\" group: add your user to it (sudo usermod -aG video $USER), "
    "then log out and back in.";

namespace {

// Numbers the frames of every camera engine of the process for the first lines.
std::atomic<int64_t> processFrameCounter{0};

std::mutex& presenterMutex() {
  static std::mutex mutex;
  return mutex;
}

CameraCaptureEngine::AlertPresenter& presenter() {
  static CameraCaptureEngine::AlertPresenter shown = [](const std::string& message,
                                                        const std::string& informative) {
    QMessageBox alert(QMessageBox::Warning, QString::fromStdString(message), QString::fromStdString(message),
                      QMessageBox::Ok);
    alert.setInformativeText(QString::fromStdString(informative));
    alert.exec();
  };
  return shown;
}

void showCameraPermissionAlert() {
  postToMainThread([] {
    CameraCaptureEngine::AlertPresenter show;
    {
      std::lock_guard lock(presenterMutex());
      show = presenter();
    }
    if (show) show(CameraCaptureEngine::kPermissionMessage, CameraCaptureEngine::kPermissionInformative);
  });
}

std::unique_ptr<VideoCaptureSource> openV4l2(const CaptureDevice& device) {
  return std::make_unique<V4l2Camera>(device);
}

}  // namespace

CameraCaptureEngine::CameraCaptureEngine(SourceFactory factory)
    : factory_(factory ? std::move(factory) : SourceFactory(&openV4l2)) {}

CameraCaptureEngine::~CameraCaptureEngine() {
  alive_->store(false);
  cleanupCamera();
  sessionQueue_.flush();
  sessionQueue_.stop();
  source_.reset();
}

void CameraCaptureEngine::setAlertPresenter(AlertPresenter show) {
  std::lock_guard lock(presenterMutex());
  presenter() = std::move(show);
}

void CameraCaptureEngine::setupCamera(const CaptureDevice& device) {
  std::unique_ptr<VideoCaptureSource> opened;
  try {
    opened = factory_(device);
  } catch (const PlatformError& error) {
    if (V4l2Camera::isPermissionError(error.code())) {
      showCameraPermissionAlert();
      throw RecordingError::permissionDenied(PermissionType::camera);
    }
    throw;
  }
  if (!opened) throw RecordingError::captureDeviceUnavailable();
  // The earlier session, if any, goes only once the new one is ready.
  auto previous = std::move(source_);
  if (previous) {
    sourceGate_->close();
    sessionQueue_.post([previous] { previous->stop(); });
  }
  source_ = std::move(opened);
  currentDevice_ = device;
  Diagnostics::line("Camera setup completed with device: " + device.localizedName);
}

void CameraCaptureEngine::startCapture() {
  if (!source_ || source_->isRunning()) return;
  if (!sourceGate_->isOpen()) sourceGate_ = std::make_shared<Gate>(this);
  auto source = source_;
  auto alive = alive_;
  sessionQueue_.post([this, source, alive, gate = sourceGate_] {
    if (source->isRunning()) return;
    try {
      source->start(
          [gate](const SampleBuffer& sample) {
            gate->call([&](CameraCaptureEngine& engine) { engine.handleCameraFrame(sample); });
          },
          [gate](const std::string& reason) {
            gate->call([&](CameraCaptureEngine& engine) { engine.sourceEnded(reason); });
          },
          [](int64_t frames) {
            for (int64_t i = 0; i < frames; ++i) Diagnostics::line("Camera frame dropped");
          });
    } catch (const Error& error) {
      Diagnostics::line("❌ Failed to start camera: " + error.localizedDescription());
      return;
    }
    postToMainThread([this, alive] {
      if (!alive->load()) return;
      isCapturing_ = true;
      Diagnostics::line("Camera capture started");
    });
  });
}

void CameraCaptureEngine::stopCapture() {
  // The source stops later, on the session queue: what it hands over meanwhile belongs to a take
  // whose camera writer is being finished.
  sourceGate_->close();
  if (!source_ || !source_->isRunning()) return;
  auto source = source_;
  auto alive = alive_;
  sessionQueue_.post([this, source, alive] {
    source->stop();
    postToMainThread([this, alive] {
      if (!alive->load()) return;
      isCapturing_ = false;
      Diagnostics::line("Camera capture stopped");
    });
  });
}

void CameraCaptureEngine::sourceEnded(const std::string& reason) {
  // An unplugged camera ends its stream; the recording goes on without new camera frames.
  Diagnostics::line("⚠️ Camera stopped: " + reason);
  auto alive = alive_;
  postToMainThread([this, alive] {
    if (alive->load()) isCapturing_ = false;
  });
}

void CameraCaptureEngine::cleanupCamera() {
  sourceGate_->close();
  if (source_) {
    auto source = source_;
    sessionQueue_.post([source] { source->stop(); });
    // The source's thread calls into this engine: it must be gone before anything is cleared.
    sessionQueue_.flush();
  }
  source_.reset();
  currentDevice_.reset();
  {
    std::lock_guard lock(mutex_);
    frameHandler_ = nullptr;
    cameraWriter_.reset();
  }
  isSeparateLayerRecording_ = false;
  isCapturing_ = false;
  Diagnostics::line("Camera engine cleaned up");
}

void CameraCaptureEngine::configureForSeparateLayerRecording(std::shared_ptr<MediaWriter> writer) {
  {
    std::lock_guard lock(mutex_);
    cameraWriter_ = std::move(writer);
    syncedSessionStartTime_.reset();
  }
  isSeparateLayerRecording_ = true;
  Diagnostics::line("📹 Camera configured for separate layer recording");
}

void CameraCaptureEngine::setSyncedSessionStartTime(std::optional<MediaTime> time) {
  std::lock_guard lock(mutex_);
  syncedSessionStartTime_ = time;
}

std::optional<MediaTime> CameraCaptureEngine::syncedSessionStartTime() const {
  std::lock_guard lock(mutex_);
  return syncedSessionStartTime_;
}

void CameraCaptureEngine::setFrameHandler(FrameHandler handler) {
  std::lock_guard lock(mutex_);
  frameHandler_ = std::move(handler);
}

std::shared_ptr<MediaWriter> CameraCaptureEngine::writer() const {
  std::lock_guard lock(mutex_);
  return cameraWriter_;
}

std::optional<std::pair<int, int>> CameraCaptureEngine::activeFormatSize() const {
  if (!source_) return std::nullopt;
  return std::make_pair(source_->width(), source_->height());
}

void CameraCaptureEngine::pauseCapture(std::optional<MediaTime> at) {
  std::lock_guard lock(mutex_);
  pause_ = Pause{at && at->isValid() ? at->nanoseconds() : MonotonicClock::nowNanoseconds()};
  isPaused_ = true;
}

void CameraCaptureEngine::resumeCapture(std::optional<MediaTime> pausedDuration) {
  if (!isPaused_.load()) return;
  int64_t startNs = 0;
  {
    std::lock_guard lock(mutex_);
    if (pause_) startNs = pause_->startNs;
  }
  const MediaTime paused = pausedDuration
                               ? *pausedDuration
                               : MediaTime::fromNanoseconds(MonotonicClock::nowNanoseconds() - startNs);
  // Only a session that has started has a clock to shift; before that, frames of the pause were
  // dropped and the session starts where the screen's does.
  int64_t shiftNs = 0;
  if (auto cameraWriter = writer(); cameraWriter && cameraWriter->isWriting()) {
    cameraWriter->addTimeOffset(paused);
    shiftNs = paused.nanoseconds();
  }
  {
    std::lock_guard lock(mutex_);
    if (pause_) {
      pause_->endNs = startNs + paused.nanoseconds();
      pause_->shiftNs = shiftNs;
    }
  }
  isPaused_ = false;
}

std::optional<SampleBuffer> CameraCaptureEngine::outsidePause(const SampleBuffer& sample) const {
  std::optional<Pause> pause;
  {
    std::lock_guard lock(mutex_);
    pause = pause_;
  }
  if (!pause || !sample.presentationTime().isValid()) return sample;
  const int64_t grabbedNs = sample.presentationTime().nanoseconds();
  const bool lasts = pause->endNs == 0;
  if (grabbedNs >= pause->startNs && (lasts || grabbedNs < pause->endNs)) return std::nullopt;
  if (grabbedNs >= pause->startNs || lasts || pause->shiftNs == 0) return sample;
  SampleBuffer moved = sample;
  moved.setPresentationTime(sample.presentationTime() + MediaTime::fromNanoseconds(pause->shiftNs));
  return moved;
}

void CameraCaptureEngine::handleCameraFrame(const SampleBuffer& captured) {
  const int64_t count = ++processFrameCounter;
  if (count <= 3)
    Diagnostics::line("📷 Camera delegate received frame #" + std::to_string(count) +
                      ", isSeparateLayerRecording: " + boolText(isSeparateLayerRecording_.load()));
  // A camera hands a frame over a while after grabbing it: a pause or a resume may come between.
  const std::optional<SampleBuffer> sample = outsidePause(captured);
  if (!sample) return;
  if (isSeparateLayerRecording_.load()) appendCameraFrame(*sample);
  FrameHandler handler;
  {
    std::lock_guard lock(mutex_);
    handler = frameHandler_;
  }
  if (handler) handler(*sample);
}

bool CameraCaptureEngine::appendCameraFrame(const SampleBuffer& sample) {
  std::shared_ptr<MediaWriter> cameraWriter;
  std::optional<MediaTime> synced;
  {
    std::lock_guard lock(mutex_);
    cameraWriter = cameraWriter_;
    synced = syncedSessionStartTime_;
  }
  if (!cameraWriter) {
    if (cameraFrameCount_.load() == 0) Diagnostics::line("⚠️ Camera writer is nil, cannot append frame");
    return false;
  }
  const int64_t n = ++cameraFrameCount_;
  if (!synced) {
    if (n <= 3)
      Diagnostics::line("⏳ Camera frame #" + std::to_string(n) + ": waiting for screen session to start...");
    return false;
  }

  bool startNow = false;
  {
    std::lock_guard lock(mutex_);
    if (!sessionStarted_) startNow = sessionStarted_ = true;
  }
  if (startNow) {
    try {
      cameraWriter->startSession(*synced);
    } catch (const std::exception& error) {
      {
        std::lock_guard lock(mutex_);
        sessionStarted_ = false;
      }
      Diagnostics::line(std::string("❌ Failed to start camera writer session: ") + error.what());
      return false;
    }
    Diagnostics::line("✅ Camera writer session started at synced PTS: " + formatDouble(synced->seconds()));
  }
  {
    std::lock_guard lock(mutex_);
    if (!sessionStarted_) {
      Diagnostics::line("⚠️ Cannot append camera frame: session not started");
      return false;
    }
  }
  const bool appended = cameraWriter->appendVideoBuffer(sample);
  if (n <= 5)
    Diagnostics::line("📹 Camera frame #" + std::to_string(n) + " append: " + (appended ? "✅" : "❌") +
                      " (PTS: " + formatDouble(sample.presentationTime().seconds()) + ")");
  return appended;
}

std::vector<CaptureDevice> CameraCaptureEngine::availableCameraDevices() {
  return V4l2Devices::list();
}

std::optional<CaptureDevice> CameraCaptureEngine::defaultCameraDevice() {
  return findCameraDevice(std::nullopt, availableCameraDevices());
}

std::optional<CaptureDevice> CameraCaptureEngine::findCameraDevice(const std::optional<std::string>& name) {
  return findCameraDevice(name, availableCameraDevices());
}

std::optional<CaptureDevice> CameraCaptureEngine::findCameraDevice(
    const std::optional<std::string>& name, const std::vector<CaptureDevice>& devices) {
  if (!name || *name == "default") {
    for (const auto& device : devices)
      if (!device.isExternal) return device;
    if (!devices.empty()) return devices.front();
    return std::nullopt;
  }
  for (const auto& device : devices)
    if (device.uniqueID == *name) return device;
  for (const auto& device : devices)
    if (device.localizedName == *name) return device;
  return std::nullopt;
}

}  // namespace tk
