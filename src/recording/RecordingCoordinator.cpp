#include "recording/RecordingCoordinator.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroSignal>
#include <QCoroTimer>
#include <QEvent>
#include <QFuture>
#include <QPointer>
#include <QPromise>
#include <QWidget>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>

#include "capture/AudioCaptureEngine.h"
#include "capture/BackgroundColor.h"
#include "capture/CameraCaptureEngine.h"
#include "capture/ScreenCaptureEngine.h"
#include "model/CursorOverlaySettings.h"
#include "model/MetadataRecorder.h"
#include "overlays/CursorOverlayController.h"
#include "overlays/KeyboardShortcutHandler.h"
#include "overlays/ZoomRenderer.h"
#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/MemoryRelease.h"
#include "platform/qt/SerialQueue.h"
#include "platform/qt/SettingsStore.h"
#include "platform/x11/SystemCursor.h"
#include "recording/RecordingContext.h"
#include "recording/RecordingHandOff.h"
#include "recording/RecordingPreflight.h"
#include "recording/RecordingShell.h"
#include "writing/AlphaChannelRecorder.h"
#include "writing/AudioOnlyRecorder.h"
#include "writing/LayerRecordingManager.h"
#include "writing/MediaWriter.h"
#include "writing/OutputNaming.h"

namespace tk {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kSoundDrainPoll{5};
constexpr const char* kSoundLateLine =
    "⚠️ The sound server did not hand over the last of the sound in time";

RecordingCoordinator::Date dateMinus(RecordingCoordinator::Date date, double seconds) {
  return date - std::chrono::duration_cast<RecordingCoordinator::Date::duration>(
                    std::chrono::duration<double>(seconds));
}

// The normalised position of a global point in the captured rectangle, y measured from the top.
QPointF recordedPosition(QPointF point, const QRectF& rect) {
  double fx = std::clamp((point.x() - rect.left()) / rect.width(), 0.0, 1.0);
  double fy = std::clamp((point.y() - rect.top()) / rect.height(), 0.0, 1.0);
  return {fx, 1.0 - fy};
}

bool isUsable(const std::optional<QRectF>& rect) {
  return rect && rect->width() > 0 && rect->height() > 0;
}

// `location` when no file has that name, else the first free "<stem> 2<extension>" and on.
fs::path unusedName(const fs::path& location) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(location, error))) return location;
  const std::string name = location.filename().string();
  const std::string stem = name.substr(0, name.size() - location.extension().string().size());
  return firstFreePath(location.parent_path(), stem, location.extension().string());
}

// The error of a file that stopped taking samples: a full disk says so, anything else names the
// write that failed.

RecordingError writeFailureError(const std::string& text) {
  if (text.find(std::strerror(ENOSPC)) != std::string::npos ||
      text.find(std::strerror(EDQUOT)) != std::string::npos) {
    return RecordingError::insufficientDiskSpace();
  }
  return RecordingError::fileWriteError(PlatformError("RecordingCoordinator", -1, text));
}

RecordingError soundServerNotRunning() {
  return RecordingError::unknown(PlatformError(
      "PulseAudio", -1,
      "The sound server is not running. Start it (pulseaudio or pipewire-pulse) and try again."));
}

// What the person is told when a capture engine does not start: its own error, with the sound
// server named when it is the one that did not answer.
RecordingError startFailureError(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const RecordingError& error) {
    return error;
  } catch (const PlatformError& error) {
    if (error.domain() == "PulseAudio" &&
        error.localizedDescription().find("sound server") != std::string::npos)
      return soundServerNotRunning();
  } catch (...) {
  }
  return RecordingError::unknown(failure);
}

std::optional<fs::path> existingPath(const std::optional<fs::path>& path) {
  std::error_code error;
  if (path && fs::exists(*path, error)) return path;
  return std::nullopt;
}

// Only the first ticks of the application's life are logged.
int cursorSamplingLogCount = 0;

}  // namespace

RecordingCoordinator::RecordingCoordinator(QObject* parent)
    : QObject(parent),
      pumpQueue_(std::make_shared<SerialQueue>("FixedRateZoomPump")),
      cursorOverlayController_(std::make_unique<CursorOverlayController>()) {
  durationTimer_.setInterval(100);
  connect(&durationTimer_, &QTimer::timeout, this, [this] {
    auto* recording = recordingState_.get<RecordingState::Recording>();
    if (!recording || isPaused_) return;
    setDuration(recordedSeconds());
    // A package gets its manifest as soon as its screen layer has data, so that a kill keeps one.
    if (layerRecordingManager_) {
      if (const auto package = packageConfiguration())
        layerRecordingManager_->saveManifestWhileRecording(*package);
    }
    if (auto* item = RecordingShell::statusItem())
      item->updateDuration(RecordingPreflight::durationText(recordingDuration_));
  });
  autoStopTimer_.setSingleShot(true);
  cursorSamplingTimer_.setInterval(std::chrono::milliseconds(33));

  QPointer<RecordingCoordinator> self(this);
  KeyboardShortcutHandler::shared().registerShortcut(
      KeyboardShortcutHandler::ShortcutKey::toggleMagnifier, [self] {
        QMetaObject::invokeMethod(
            qApp,
            [self] {
              if (self)
                self->cursorOverlayController_->setMagnifierEnabled(
                    !self->cursorOverlayController_->isMagnifierEnabled());
            },
            Qt::QueuedConnection);
      });
  if (qApp) {
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { showSystemCursorIfHidden(); });
  }
}

RecordingCoordinator::~RecordingCoordinator() {
  showSystemCursorIfHidden();
  if (context_) context_->stopDelivery();
  // Engines stop their threads in their destructors; the writer keeps what it has.
  screenEngine_.reset();
  context_.reset();
  pumpQueue_->stop();
}

MediaWriter* RecordingCoordinator::mediaWriter() const {
  return mediaWriter_.get();
}

std::optional<QRectF> RecordingCoordinator::captureRect() const {
  if (!screenEngine_) return std::nullopt;
  return screenEngine_->captureRect();
}

// ---- published state ----

double RecordingCoordinator::recordedSeconds(std::optional<int64_t> atNs) const {
  const int64_t now = atNs.value_or(MonotonicClock::nowNanoseconds());
  return double(now - startNs_ - pausedNs_) / 1e9;
}

void RecordingCoordinator::setState(RecordingState state) {
  recordingState_ = std::move(state);
  emit recordingStateChanged();
}

void RecordingCoordinator::setDuration(double seconds) {
  recordingDuration_ = seconds;
  emit recordingDurationChanged();
}

void RecordingCoordinator::setPausedFlag(bool paused) {
  isPaused_ = paused;
  if (context_) context_->setPaused(paused);
  emit isPausedChanged();
}

void RecordingCoordinator::setCountdownValue(int value) {
  countdownValue_ = value;
  emit countdownValueChanged();
}

// ---- configuration ----

fs::path RecordingCoordinator::makeOutputURL() const {
  if (!configuration_) return fs::temp_directory_path() / "recording.mp4";
  return RecordingPreflight::outputURL(*configuration_, wallClock_());
}

WriterConfiguration RecordingCoordinator::makeWriterConfiguration(
    const RecordingConfiguration& configuration) const {
  WriterConfiguration writer;
  writer.outputURL = makeOutputURL();
  writer.outputFormat = configuration.outputFormat;
  if (configuration.mode.kind() == RecordingMode::Kind::systemAudio) return writer;
  if (!screenEngine_ || !screenEngine_->configuration()) {
    throw RecordingError::invalidConfiguration("Screen capture not configured");
  }
  const auto& stream = *screenEngine_->configuration();
  VideoSettings video;
  video.width = stream.width;
  video.height = stream.height;
  video.frameRate = std::clamp(configuration.frameRate, 15, 60);
  video.codec = configuration.encoder;
  video.quality = configuration.videoQuality;
  video.colorSpace = ColorSpaceSettings{};
  if (configuration.studioConfig && configuration.studioConfig->enableAlphaChannel) {
    // The user's codec when the writer can encode it into this container, else the preferred one.
    auto stored = SettingsStore::standard().stringValue("alphaChannelCodec");
    std::optional<AlphaVideoCodec> chosen;
    if (stored) chosen = fromRawValue<AlphaVideoCodec>(stored->toStdString());
    auto codec = AlphaChannelRecorder::recordingAlphaCodec(chosen, configuration.outputFormat);
    if (!codec) {
      Diagnostics::line("⚠️ Alpha channel not supported, falling back to standard recording");
    } else {
      video.alphaCodec = codec;
      video.hasAlphaChannel = true;
      Diagnostics::line("🎨 Alpha channel recording enabled with codec: " + displayName(*codec));
    }
  }
  writer.videoSettings = video;
  return writer;
}

// ---- preparation ----

QCoro::Task<void> RecordingCoordinator::prepareRecording(RecordingMode mode,
                                                         RecordingConfiguration configuration) {
  if (recordingState_.kind() != RecordingState::Kind::idle) {
    throw RecordingError::invalidConfiguration("Cannot prepare while recording is active");
  }
  QPointer<RecordingCoordinator> self(this);
  setState(RecordingState::preparing());
  startGivenUp_ = false;
  co_await releaseRecording();
  if (!self) co_return;
  ++recordingGeneration_;
  mode_ = mode;
  configuration_ = configuration;
  std::exception_ptr failure;
  try {
    RecordingPreflight::validateConfiguration(configuration);
    co_await checkPermissions(configuration);
    RecordingPreflight::checkDiskSpace(configuration.outputDirectory);
    RecordingPreflight::checkOutputDirectory(configuration.outputDirectory);
    if (mode.kind() == RecordingMode::Kind::systemAudio) {
      co_await prepareAudioOnly(configuration);
    } else {
      co_await prepareScreen(mode, configuration);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self) co_return;
  if (failure) {
    co_await tearDown(false);
    if (self) failAndReturnToIdle(failure);
    std::rethrow_exception(failure);
  }
  setState(RecordingState::ready());
}

QCoro::Task<void> RecordingCoordinator::prepareAudioOnly(const RecordingConfiguration& configuration) {
  audioOnlyRecorder_ = std::make_shared<AudioOnlyRecorder>(configuration);
  audioOnlyRecorder_->setPlaceHandler(onMainThreadForThisTake(&RecordingCoordinator::noteMoviePlace));
  audioOnlyRecorder_->prepareRecordingFiles();
  audioEngine_ = std::make_unique<AudioCaptureEngine>();
  if (configuration.recordSystemAudio) audioEngine_->setCapturingSystemAudio(true);
  if (configuration.recordMicrophone) startChosenMicrophone(configuration);
  // Without its sound there is no audio recording: the take ends and the person is told.
  QPointer<RecordingCoordinator> self(this);
  uint64_t generation = recordingGeneration_;
  audioEngine_->setStreamEndHandler([self, generation](const std::string&) {
    QMetaObject::invokeMethod(
        qApp,
        [self, generation] {
          if (self && generation == self->recordingGeneration_) self->onStreamError();
        },
        Qt::QueuedConnection);
  });
  // The engine stops before the recorder is released, and both handlers hold the recorder.
  std::shared_ptr<AudioOnlyRecorder> recorder = audioOnlyRecorder_;
  audioEngine_->setSystemAudioHandler(
      [recorder](const SampleBuffer& sample) { recorder->appendSystemAudio(sample); });
  audioEngine_->setMicrophoneAudioHandler(
      [recorder](const SampleBuffer& sample) { recorder->appendMicrophoneAudio(sample); });
  printStudioReport(configuration);
  createMetadataRecorder(configuration);
  co_return;
}

void RecordingCoordinator::startChosenMicrophone(const RecordingConfiguration& configuration) {
  const auto& name = configuration.microphoneDevice;
  auto device = AudioCaptureEngine::findMicrophoneDevice(name);
  // A microphone the user chose that is gone is never swapped for another one silently.
  if (!device && name && !name->empty() && *name != "default") {
    throw RecordingError::invalidConfiguration(
        "The microphone \"" + *name + "\" is not connected. Connect it or choose another microphone.");
  }
  if (!audioEngine_->startMicrophone(device, configuration.enableAEC)) {
    throw RecordingError::captureDeviceUnavailable();
  }
}

QCoro::Task<void> RecordingCoordinator::prepareScreen(const RecordingMode& mode,
                                                      const RecordingConfiguration& configuration) {
  QPointer<RecordingCoordinator> self(this);
  screenEngine_ = std::make_unique<ScreenCaptureEngine>();
  co_await screenEngine_->refreshAvailableContent();
  if (!self) co_return;
  auto filter = screenEngine_->createFilter(mode, configuration);

  // With the microphone too, both are recorded and mixed into the movie's one sound track.
  bool capturesAudio = configuration.recordSystemAudio;
  Diagnostics::line("🎚️ Audio configuration:");
  Diagnostics::line("   System audio: " + boolText(configuration.recordSystemAudio));
  Diagnostics::line("   Microphone: " + boolText(configuration.recordMicrophone));
  Diagnostics::line("   Capturing system audio from the screen stream: " + boolText(capturesAudio));
  if (configuration.recordSystemAudio && configuration.recordMicrophone)
    Diagnostics::line("   System audio and microphone mixed into one track");
  screenEngine_->setConfiguration(makeStreamConfiguration(filter, configuration, capturesAudio));
  screenEngine_->setFilter(filter);

  if (configuration.recordMicrophone) {
    audioEngine_ = std::make_unique<AudioCaptureEngine>();
    startChosenMicrophone(configuration);
  }

  const auto& studio = configuration.studioConfig;
  bool clickToZoom = studio && studio->enableClickToZoom;
  zoomRenderer_.reset();
  if (clickToZoom) {
    zoomRenderer_ = std::make_shared<ZoomRenderer>();
    if (auto rect = screenEngine_->captureRect(); isUsable(rect)) {
      zoomRenderer_->setCaptureFrame(rect->size(), rect->topLeft());
      Diagnostics::line(
          "🔎 RecordingCoordinator: ZoomRenderer captureRect size=" + formatInt(int64_t(rect->width())) + "x" +
          formatInt(int64_t(rect->height())) + " origin=(" + formatInt(int64_t(rect->x())) + "," +
          formatInt(int64_t(rect->y())) + ")");
    }
    zoomRenderer_->setClickZoom(true);
    zoomRenderer_->setFollowCursorEnabled(true);
    zoomRenderer_->setHudEnabled(false);
    zoomRenderer_->setHudIncludeInRecording(false);
    zoomRenderer_->setDebugEnabled(false);
  }
  auto kind = mode.kind();
  if (kind == RecordingMode::Kind::window || kind == RecordingMode::Kind::windows) {
    shouldUseWindowPump_ = clickToZoom;
    pumpFrameRate_ = std::min(configuration.frameRate, 60);
  } else {
    shouldUseWindowPump_ = false;
  }

  bool separateLayers = studio && studio->enableSeparateLayers;
  if (!separateLayers && !configuration.recordCamera) {
    prepareSingleMovie(configuration);
  } else {
    preparePackage(configuration);
  }

  makeContext();
  installCaptureHandlers(capturesAudio);
  if (audioEngine_) {
    std::shared_ptr<RecordingContext> context = context_;
    audioEngine_->setMicrophoneAudioHandler(
        [context](const SampleBuffer& sample) { context->onMicrophoneAudio(sample); });
  }
  watchSoundSources();
  watchPickedWindows();
  printStudioReport(configuration);
  createMetadataRecorder(configuration);
}

StreamConfiguration RecordingCoordinator::makeStreamConfiguration(const ContentFilter& filter,
                                                                  const RecordingConfiguration& configuration,
                                                                  bool capturesAudio) const {
  double factor = 1.0;
  if (configuration.resolution == ResolutionMode::low) factor = 0.5;
  if (configuration.resolution == ResolutionMode::high) factor = filter.pointPixelScale();
  QRectF content = filter.contentRect();
  StreamConfiguration stream;
  stream.width = int(factor * int(content.width()));
  stream.height = int(factor * int(content.height()));
  if (configuration.mode.kind() == RecordingMode::Kind::window) stream.scalesToFit = true;
  stream.showsCursor = configuration.showCursor;
  if (configuration.backgroundColor != BackgroundType::wallpaper) {
    stream.backgroundColor = streamBackgroundColor(configuration.backgroundColor);
  }
  stream.pixelFormat = StreamConfiguration::kPixelFormatBGRA;
  stream.colorSpaceName = "sRGB";
  int rate = std::clamp(configuration.frameRate, 15, 60);
  stream.minimumFrameInterval = MediaTime(1, rate);
  stream.capturesAudio = capturesAudio;
  stream.sampleRate = 48000;
  stream.channelCount = 2;
  if (auto* area = configuration.mode.get<RecordingMode::ScreenArea>()) {
    QRectF r = area->rect;
    CaptureDisplayRef display = screenEngine_ ? screenEngine_->currentDisplay() : nullptr;
    if (display) r.moveTop(display->frame.height() - r.height() - r.y());
    stream.sourceRect = r;
    stream.width = int(factor * r.width());
    stream.height = int(factor * r.height());
  }
  return stream;
}

void RecordingCoordinator::prepareSingleMovie(const RecordingConfiguration& configuration) {
  WriterConfiguration writer = makeWriterConfiguration(configuration);
  // A second recording in the same second takes "<name> 2" rather than failing on the first's file.
  const fs::path& named = writer.outputURL;
  writer.outputURL = firstFreePath(named.parent_path(), named.stem().string(), named.extension().string());
  mediaWriter_ = std::make_shared<MediaWriter>();
  mediaWriter_->setEncodeGate(encodeGate_);
  mediaWriter_->configure(writer);
  installWriteFailureHandler(*mediaWriter_);
  followMoviePlace(*mediaWriter_);
  mediaWriter_->startWriting();
}

void RecordingCoordinator::installWriteFailureHandler(MediaWriter& writer) {
  QPointer<RecordingCoordinator> self(this);
  uint64_t generation = recordingGeneration_;
  writer.setFailureHandler([self, generation](const std::string& text) {
    QMetaObject::invokeMethod(
        qApp,
        [self, generation, text] {
          if (!self || generation != self->recordingGeneration_) return;
          auto kind = self->recordingState_.kind();
          if (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused) return;
          Diagnostics::line("❌ The recording file stopped taking samples: " + text);
          self->endWithFailure(writeFailureError(text));
        },
        Qt::QueuedConnection);
  });
}

void RecordingCoordinator::preparePackage(const RecordingConfiguration& configuration) {
  Diagnostics::line("📦 Initializing separate layer recording...");
  layerRecordingManager_ = std::make_unique<LayerRecordingManager>();
  RecordingPackage package = layerRecordingManager_->createPackage(configuration.outputDirectory);
  WriterConfiguration screen = makeWriterConfiguration(configuration);
  screen.outputURL = package.screenVideoURL;
  std::optional<WriterConfiguration> camera;
  if (configuration.recordCamera) {
    camera = prepareCameraLayer(configuration,
                                package.cameraVideoURL.value_or(package.packageURL / ".camera.mov"));
  }
  layerRecordingManager_->startLayerRecording(screen, camera);
  installWriteFailureHandler(*layerRecordingManager_->screenWriter());
  // The camera layer goes wherever the screen layer's folder goes (LayerRecordingManager): the
  // screen layer's watch tells for both.
  followMoviePlace(*layerRecordingManager_->screenWriter());
  if (auto cameraWriter = layerRecordingManager_->cameraWriter()) installWriteFailureHandler(*cameraWriter);
  if (cameraEngine_ && camera) {
    if (!layerRecordingManager_->cameraWriter()) {
      Diagnostics::line("⚠️ Camera writer not available after startLayerRecording");
    } else {
      cameraEngine_->configureForSeparateLayerRecording(layerRecordingManager_->cameraWriter());
      cameraEngine_->startCapture();
      Diagnostics::line("🎥 Camera capture started for separate layer");
    }
  }
  mediaWriter_ = layerRecordingManager_->screenWriter();
  Diagnostics::line("✅ Separate layer recording initialized");
}

std::optional<WriterConfiguration> RecordingCoordinator::prepareCameraLayer(
    const RecordingConfiguration& configuration, const fs::path& cameraFile) {
  // The camera the user chose (the default one for none or "default").
  auto devices =
      cameraSupply_.devices ? cameraSupply_.devices() : CameraCaptureEngine::availableCameraDevices();
  auto device = CameraCaptureEngine::findCameraDevice(configuration.cameraDevice, devices);
  // A camera the person asked for that is not there fails preparation, as a missing microphone
  // does: a recording without the camera is not what was asked for.
  const bool named = configuration.cameraDevice && !configuration.cameraDevice->empty() &&
                     *configuration.cameraDevice != "default";
  if (!device) {
    if (named)
      throw RecordingError::invalidConfiguration("The camera \"" + *configuration.cameraDevice +
                                                 "\" is not connected. Connect it or choose another camera.");
    throw RecordingError::invalidConfiguration(
        "No camera is connected. Connect a camera or turn the camera off.");
  }
  auto engine = std::make_shared<CameraCaptureEngine>(cameraSupply_.factory);
  try {
    engine->setupCamera(*device);
  } catch (...) {
    throw RecordingError::invalidConfiguration(
        "The camera \"" + device->localizedName +
        "\" cannot be opened: " + describeException(std::current_exception()));
  }
  cameraEngine_ = engine;
  auto size = cameraEngine_->activeFormatSize().value_or(std::pair{1280, 720});
  WriterConfiguration camera;
  camera.outputURL = cameraFile;
  camera.outputFormat = configuration.outputFormat;
  VideoSettings video;
  video.width = std::max(2, size.first);
  video.height = std::max(2, size.second);
  video.frameRate = std::min(configuration.frameRate, 60);
  video.codec = configuration.encoder;
  video.quality = configuration.videoQuality;
  video.colorSpace = ColorSpaceSettings{};
  camera.videoSettings = video;
  return camera;
}

void RecordingCoordinator::makeContext() {
  RecordingContext::Settings settings;
  settings.writer = mediaWriter_;
  settings.zoomRenderer = shouldUseWindowPump_ ? zoomRenderer_ : nullptr;
  settings.useWindowPump = shouldUseWindowPump_;
  settings.pumpFrameRate = pumpFrameRate_;
  settings.mixesSound =
      configuration_ && configuration_->recordSystemAudio && configuration_->recordMicrophone;
  if (std::shared_ptr<CameraCaptureEngine> camera = cameraEngine_) {
    settings.sessionStarted = [camera](MediaTime start) {
      if (!camera->isSeparateLayerRecording()) return;
      camera->setSyncedSessionStartTime(start);
      Diagnostics::line("🔗 Camera synced to screen session start time: " + formatDouble(start.seconds()));
    };
  }
  context_ = std::make_shared<RecordingContext>(std::move(settings), pumpQueue_);
}

void RecordingCoordinator::installCaptureHandlers(bool systemAudio) {
  std::shared_ptr<RecordingContext> context = context_;
  screenEngine_->setFrameHandler([context](const SampleBuffer& sample) { context->onVideoFrame(sample); });
  if (systemAudio) {
    screenEngine_->setAudioHandler([context](const SampleBuffer& sample) { context->onSystemAudio(sample); });
  }
  QPointer<RecordingCoordinator> self(this);
  std::weak_ptr<RecordingContext> weakContext = context_;
  screenEngine_->setErrorHandler([self, weakContext](const RecordingError&) {
    QMetaObject::invokeMethod(
        qApp,
        [self, weakContext] {
          // A late error of an earlier recording never touches a later one.
          auto context = weakContext.lock();
          if (self && context && context == self->context_) self->onStreamError();
        },
        Qt::QueuedConnection);
  });
}

void RecordingCoordinator::printStudioReport(const RecordingConfiguration& configuration) const {
  const auto& studio = configuration.studioConfig;
  auto printFlags = [&] {
    if (!studio) return;
    Diagnostics::line("   enableClickToZoom: " + boolText(studio->enableClickToZoom));
    Diagnostics::line("   enableSeparateLayers: " + boolText(studio->enableSeparateLayers));
    Diagnostics::line("   enableAlphaChannel: " + boolText(studio->enableAlphaChannel));
  };
  Diagnostics::line("🔍 Checking Studio configuration...");
  Diagnostics::line("   studioConfig exists: " + boolText(studio.has_value()));
  printFlags();
}

void RecordingCoordinator::createMetadataRecorder(const RecordingConfiguration& configuration) {
  int width = 0, height = 0;
  if (screenEngine_ && screenEngine_->configuration()) {
    width = screenEngine_->configuration()->width;
    height = screenEngine_->configuration()->height;
  }
  metadataRecorder_ = std::make_shared<MetadataRecorder>(QSizeF(width, height), configuration.frameRate);
  Diagnostics::line("✅ MetadataRecorder initialized for cursor position sampling");
  Diagnostics::line("   Resolution: " + formatInt(width) + "x" + formatInt(height));
  Diagnostics::line("   Frame rate: " + formatInt(configuration.frameRate));
  if (const auto& studio = configuration.studioConfig) {
    Diagnostics::line("   enableClickToZoom: " + boolText(studio->enableClickToZoom));
    Diagnostics::line("   enableSeparateLayers: " + boolText(studio->enableSeparateLayers));
    Diagnostics::line("   enableAlphaChannel: " + boolText(studio->enableAlphaChannel));
  }
}

QCoro::Task<void> RecordingCoordinator::releaseRecording() {
  QPointer<RecordingCoordinator> self(this);
  if (context_) context_->stopDelivery();
  co_await stopEngines();
  if (!self) co_return;
  dropRecordingObjects();
}

void RecordingCoordinator::dropRecordingObjects() {
  screenEngine_.reset();
  audioEngine_.reset();
  cameraEngine_.reset();
  audioOnlyRecorder_.reset();
  layerRecordingManager_.reset();
  mediaWriter_.reset();
  zoomRenderer_.reset();
  metadataSaver_.reset();
  metadataRecorder_.reset();
  context_.reset();
  shouldUseWindowPump_ = false;
  writersFinished_ = false;
  partialResult_.reset();
  takeProblems_.clear();
  metadataProblemTold_ = false;
}

QCoro::Task<void> RecordingCoordinator::checkPermissions(const RecordingConfiguration& configuration) {
  // Screen access is access to the X display, which the screen engine's content query proves.
  if (configuration.recordMicrophone) {
    // The microphone is the sound server's to give: no answer means no server, not a refusal.
    bool granted = co_await onWorker([] { return AudioCaptureEngine::requestMicrophoneAccess(); });
    if (!granted) throw soundServerNotRunning();
  }
}

// ---- countdown and timers ----

QCoro::Task<void> RecordingCoordinator::performCountdown(int seconds) {
  QPointer<RecordingCoordinator> self(this);
  setCountdownValue(seconds);
  // The tick lives here rather than in the coordinator, so that it ends even where the coordinator
  // goes first.
  QTimer tick;
  tick.setSingleShot(true);
  countdownTick_ = &tick;
  for (int remaining = seconds; remaining >= 1;) {
    tick.start(std::chrono::seconds(1));
    co_await tick;
    if (!self) throw RecordingError::streamInterrupted();
    if (startGivenUp_) {
      setCountdownValue(0);
      break;
    }
    setCountdownValue(--remaining);
  }
  countdownTick_ = nullptr;
}

QCoro::Task<void> RecordingCoordinator::cancelStart() {
  QPointer<RecordingCoordinator> self(this);
  while (recordingState_.kind() == RecordingState::Kind::preparing) {
    co_await qCoro(this, &RecordingCoordinator::recordingStateChanged);
    if (!self) co_return;
  }
  if (recordingState_.kind() != RecordingState::Kind::ready) co_return;
  if (!countdownActive_) {
    co_await dropPreparedTake();
    co_return;
  }
  // The start gives the take up itself once its countdown, or its sound's start, returns.
  startGivenUp_ = true;
  if (countdownTick_) countdownTick_->start(0);
  while (recordingState_.kind() == RecordingState::Kind::ready) {
    co_await qCoro(this, &RecordingCoordinator::recordingStateChanged);
    if (!self) co_return;
  }
}

QCoro::Task<void> RecordingCoordinator::dropPreparedTake() {
  QPointer<RecordingCoordinator> self(this);
  // A failure that got there first has returned to idle already.
  if (recordingState_.kind() != RecordingState::Kind::ready) {
    startGivenUp_ = false;
    co_return;
  }
  Diagnostics::line("🛑 The recording was given up before it started");
  co_await tearDown(false);
  if (!self) co_return;
  startGivenUp_ = false;
  resetTiming();
  setState(RecordingState::idle());
}

void RecordingCoordinator::startDurationTimer() {
  durationTimer_.start();
}

void RecordingCoordinator::startAutoStopTimer(int minutes) {
  double seconds = minutes * 60.0;
  Diagnostics::line("⏱️ Starting auto-stop timer for " + formatInt(minutes) + " minute(s) (" +
                    formatDouble(seconds) + " seconds)");
  autoStopTimer_.disconnect();
  autoStopDeadline_ = autoStopTiming_.clock() + seconds;
  uint64_t generation = recordingGeneration_;
  connect(&autoStopTimer_, &QTimer::timeout, this, [this, generation] {
    auto kind = recordingState_.kind();
    // A user stop that got there first, or a timer of an earlier recording, does nothing.
    if (generation != recordingGeneration_ ||
        (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused)) {
      return;
    }
    // One wait of a longer time ended: wait on.
    if (autoStopTiming_.clock() < autoStopDeadline_) {
      armAutoStopTimer();
      return;
    }
    Diagnostics::line("⏱️ Auto-stop timer fired! Stopping recording...");
    [](QPointer<RecordingCoordinator> self) -> QCoro::Task<void> {
      try {
        co_await self->stopRecording();
      } catch (const std::exception& error) {
        Diagnostics::line(std::string("❌ Auto-stop failed: ") + error.what());
      }
    }(this);
  });
  armAutoStopTimer();
}

void RecordingCoordinator::armAutoStopTimer() {
  const double remaining = std::ceil((autoStopDeadline_ - autoStopTiming_.clock()) * 1000);
  const double longest =
      double(std::min<int64_t>(autoStopTiming_.longestWait.count(), std::numeric_limits<int>::max()));
  autoStopTimer_.start(std::chrono::milliseconds(static_cast<int64_t>(std::clamp(remaining, 0.0, longest))));
}

std::optional<std::chrono::milliseconds> RecordingCoordinator::autoStopDueIn() const {
  if (!autoStopTimer_.isActive()) return std::nullopt;
  return std::chrono::milliseconds(std::llround((autoStopDeadline_ - autoStopTiming_.clock()) * 1000));
}

// ---- start, pause, resume ----

QCoro::Task<void> RecordingCoordinator::startRecording() {
  if (recordingState_.kind() != RecordingState::Kind::ready) {
    throw RecordingError::invalidConfiguration("Recording not prepared");
  }
  if (countdownActive_) throw RecordingError::invalidConfiguration("Recording is already starting");
  if (!configuration_) throw RecordingError::invalidConfiguration("No configuration set");
  QPointer<RecordingCoordinator> self(this);
  RecordingConfiguration configuration = *configuration_;
  if (configuration.countdown >= 1) {
    countdownActive_ = true;
    try {
      co_await performCountdown(configuration.countdown);
    } catch (...) {
      if (self) countdownActive_ = false;
      throw;
    }
    countdownActive_ = false;
    if (startGivenUp_) {
      co_await dropPreparedTake();
      co_return;
    }
    if (recordingState_.kind() != RecordingState::Kind::ready || !configuration_) {
      throw RecordingError::invalidConfiguration("Recording not prepared");
    }
  }
  // System audio flows before the clock starts, so the first frame has its sound.
  if (screenEngine_) {
    countdownActive_ = true;  // a second start meanwhile is turned away
    co_await screenEngine_->startSound();
    if (!self) co_return;
    countdownActive_ = false;
    if (startGivenUp_) {
      co_await dropPreparedTake();
      co_return;
    }
    if (recordingState_.kind() != RecordingState::Kind::ready || !configuration_) {
      throw RecordingError::invalidConfiguration("Recording not prepared");
    }
  }

  Date now = wallClock_();
  startTime_ = now;
  startNs_ = MonotonicClock::nowNanoseconds();
  pausedNs_ = 0;
  setDuration(0);
  setPausedFlag(false);
  hideSystemCursorIfNeeded();
  setState(RecordingState::recording(now));

  startLiveHandlers(configuration);

  const uint64_t generation = recordingGeneration_;
  std::exception_ptr failure;
  try {
    if (screenEngine_) {
      Diagnostics::line("🎥 Starting screen capture...");
      co_await screenEngine_->startCapture();
      if (!isCurrentStart(generation)) {
        // The stream failed while it started, and that failure already returned to idle.
        if (self && generation == recordingGeneration_) co_await stopEngines();
        throw RecordingError::streamInterrupted();
      }
      // The stream may have ended while it started with its news still on the way here: the start
      // fails all the same, and the late news finds nothing left to end.
      if (screenEngine_->stoppedByItself()) throw RecordingError::streamInterrupted();
      Diagnostics::line("✅ Screen capture started");
    }
    if (self && audioOnlyRecorder_) {
      audioOnlyRecorder_->startTime = wallClock_();
      audioOnlyRecorder_->startWriting();
    }
    if (self && audioEngine_) {
      Diagnostics::line("🎤 Starting audio capture...");
      audioEngine_->startAudioCapture();
      Diagnostics::line("✅ Audio capture started");
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self) co_return;
  if (failure && !isCurrentStart(generation)) std::rethrow_exception(failure);
  if (failure) {
    Diagnostics::line("❌ Failed to start capture engines: " + describeException(failure));
    RecordingError startError = startFailureError(failure);
    // Failed before the tear-down waits: the stream's late news, or a stop, finds nothing to end.
    setState(RecordingState::failed(startError));
    co_await tearDown(true);
    auto error = std::make_exception_ptr(std::move(startError));
    if (self) failAndReturnToIdle(error);
    std::rethrow_exception(error);
  }

  startDurationTimer();
  if (configuration.autoStopMinutes >= 1) {
    Diagnostics::line("⏱️ Auto-stop timer configured: " + formatInt(configuration.autoStopMinutes) +
                      " minute(s)");
    startAutoStopTimer(configuration.autoStopMinutes);
  } else {
    Diagnostics::line("⏱️ No auto-stop timer configured (unlimited recording)");
  }
  if (auto* item = RecordingShell::statusItem()) item->startRecording(*this);
  if (auto* panel = RecordingShell::panel()) panel->show(*this);
}

bool RecordingCoordinator::isCurrentStart(uint64_t generation) const {
  return generation == recordingGeneration_ && recordingState_.kind() == RecordingState::Kind::recording;
}

void RecordingCoordinator::startLiveHandlers(const RecordingConfiguration& configuration) {
  const auto& studio = configuration.studioConfig;
  bool clickToZoom = studio && studio->enableClickToZoom;
  Diagnostics::line("🔍 Checking MetadataRecorder...");
  Diagnostics::line("   metadataRecorder exists: " + boolText(metadataRecorder_ != nullptr));
  auto& overlay = *cursorOverlayController_;
  if (metadataRecorder_) {
    Diagnostics::line("✅ Starting MetadataRecorder...");
    metadataRecorder_->startRecording(*startTime_);
    if (auto location = freeMetadataLocation()) {
      // The take's watch tells what became of its folder, and the metadata follows the take.
      metadataSaver_.setFailureHandler(onMainThreadForThisTake(&RecordingCoordinator::noteMetadataSaveFailed),
                                       mediaWriter_ || audioOnlyRecorder_);
      std::function<bool()> movieShown;
      if (mediaWriter_ && !layerRecordingManager_) {
        movieShown = [writer = mediaWriter_] {
          std::error_code error;
          const auto movie = writer->outputURL();
          return movie && fs::exists(*movie, error);
        };
      }
      metadataSaver_.start(metadataRecorder_, *location, std::move(movieShown));
    }
    Diagnostics::line("🔍 Checking click-to-zoom configuration...");
    Diagnostics::line("   enableClickToZoom: " + boolText(clickToZoom));
    Diagnostics::line("✅ Configuring click handler...");
    Diagnostics::line("   Click-to-zoom enabled: " + boolText(clickToZoom));
    if (clickToZoom) {
      Diagnostics::line("   Zoom level: " + formatDouble(studio->zoomLevel) + "x");
      Diagnostics::line("   Zoom duration: " + formatDouble(studio->zoomDuration) + "s");
    }
    double threshold = studio ? studio->clickThreshold : 0.5;
    Diagnostics::line("   Click threshold: " + formatDouble(threshold) + "s");
    overlay.setClickThreshold(threshold);
    overlay.setClickHandler([this](QPointF point, ClickType type) { handleClick(point, type); });
    Diagnostics::line("✅ Click handler configured");
  } else {
    Diagnostics::line("⚠️ MetadataRecorder is nil - cannot start recording metadata");
  }
  cursorMoveCount_ = 0;
  overlay.setCursorMoveHandler([this](QPointF point) { handleCursorMove(point); });
  Diagnostics::line("✅ Cursor move handler configured for position sampling (recorder exists: " +
                    boolText(metadataRecorder_ != nullptr) + ")");

  Diagnostics::line("🔍 Checking cursor monitoring needs...");
  Diagnostics::line("   highlightCursor: " + boolText(configuration.highlightCursor));
  Diagnostics::line("   enableClickToZoom: " + boolText(clickToZoom));
  Diagnostics::line("   needsCursorMonitoring: true");
  if (configuration.highlightCursor) {
    const SettingsStore& settings = SettingsStore::standard();
    if (settings.boolValue("enableCustomCursor")) {
      auto style = settings.stringValue("cursorStyle");
      auto parsed = fromRawValue<CursorStyle>(style.value_or("circle").toStdString());
      overlay.setCustomCursorStyle(parsed.value_or(CursorStyle::circle));
      overlay.setCustomCursorSize(kCursorSizeSetting.read(settings));
      overlay.setUseCustomCursor(true);
      // Typed reads: a file-backed store hands back "false" as text after a restart.
      overlay.setEnableScaleAnimation(settings.boolValue("enableCursorScaleAnimation", true));
      overlay.setEnableRippleEffect(settings.boolValue("enableCursorRippleEffect", true));
      overlay.setRippleColor(QColor::fromRgbF(kRippleRedSetting.read(settings),
                                              kRippleGreenSetting.read(settings),
                                              kRippleBlueSetting.read(settings), 0.5));
    }
    overlay.setHighlightEnabled(true);
  }
  Diagnostics::line("✅ Starting cursor overlay monitoring...");
  overlay.startMouseMonitoring();

  Diagnostics::line("🔧 Creating cursor sampling timer...");
  Diagnostics::line("   samplingRecorder exists: " + boolText(metadataRecorder_ != nullptr));
  Diagnostics::line("   screenEngineRef exists: " + boolText(screenEngine_ != nullptr));
  auto rect = captureRect();
  if (isUsable(rect)) {
    QPointF position = recordedPosition(CursorOverlayController::mouseLocation(), *rect);
    if (metadataRecorder_) metadataRecorder_->recordCursorPosition(position);
    Diagnostics::linef("📍 Initial cursor position recorded: (%.3f, %.3f)", position.x(), position.y());
  }
  cursorSamplingTimer_.disconnect();
  connect(&cursorSamplingTimer_, &QTimer::timeout, this, [this] {
    int tick = ++cursorSamplingLogCount;
    bool log = tick <= 3;
    if (recordingState_.kind() != RecordingState::Kind::recording) {
      if (log)
        Diagnostics::line("⚠️ Cursor timer: not recording (state: " + recordingState_.displayText() +
                          ")");
      return;
    }
    if (isPaused_) {
      if (log) Diagnostics::line("⚠️ Cursor timer: paused");
      return;
    }
    auto rect = captureRect();
    if (!isUsable(rect)) {
      if (log) Diagnostics::line("⚠️ Cursor timer: captureRect invalid - nil");
      return;
    }
    QPointF position = recordedPosition(CursorOverlayController::mouseLocation(), *rect);
    if (metadataRecorder_) metadataRecorder_->recordCursorPosition(position);
    if (log)
      Diagnostics::linef("✅ Cursor timer sample #%d: pos=(%.3f, %.3f)", tick, position.x(), position.y());
  });
  cursorSamplingTimer_.start();
  Diagnostics::line("✅ Cursor sampling timer started (30 Hz)");
  // The magnifier's shortcut is the desktop's only while a screen recording runs.
  if (configuration.mode.kind() != RecordingMode::Kind::systemAudio)
    KeyboardShortcutHandler::shared().startShortcutMonitoring();
}

void RecordingCoordinator::handleClick(QPointF point, ClickType type) {
  if (isPaused_) return;
  auto rect = captureRect();
  if (!isUsable(rect) || !rect->contains(point)) return;
  std::optional<StudioRecordingConfiguration> studio;
  if (configuration_) studio = configuration_->studioConfig;
  double nx = std::clamp((point.x() - rect->left()) / rect->width(), 0.0, 1.0);
  double ny = std::clamp((point.y() - rect->top()) / rect->height(), 0.0, 1.0);
  double flipped = 1.0 - ny;
  if (metadataRecorder_) metadataRecorder_->recordClick(type, QPointF(nx, flipped));
  if (!(studio && studio->enableClickToZoom) || type != ClickType::leftClick) return;
  Diagnostics::linef("🖱️ Click-to-zoom: Recording zoom event at (%.2f, %.2f)", nx, flipped);
  if (metadataRecorder_) {
    metadataRecorder_->recordZoomEvent(QPointF(nx, ny), studio->zoomLevel, studio->zoomDuration,
                                       EasingFunction::easeInOut);
  }
  if (zoomRenderer_) zoomRenderer_->handleClick(QPointF(nx, flipped));
}

void RecordingCoordinator::handleCursorMove(QPointF point) {
  int count = ++cursorMoveCount_;
  if (count < 4) {
    Diagnostics::line("🖱️ cursorMoveHandler called #" + formatInt(count) + " at (" +
                      formatInt(int64_t(point.x())) + ", " + formatInt(int64_t(point.y())) + ")");
  }
  if (zoomRenderer_) zoomRenderer_->updateCursor(point);
  auto rect = captureRect();
  if (isUsable(rect)) {
    QPointF position = recordedPosition(point, *rect);
    if (metadataRecorder_) metadataRecorder_->recordCursorPosition(position);
    if (count <= 3)
      Diagnostics::linef("   ✅ Recorded cursor position: (%.3f, %.3f)", position.x(), position.y());
  } else if (count <= 3) {
    Diagnostics::line("   ⚠️ captureRect unavailable or zero");
  }
}

void RecordingCoordinator::pauseRecording() {
  auto* recording = recordingState_.get<RecordingState::Recording>();
  if (!recording) throw RecordingError::invalidConfiguration("Cannot pause when not recording");
  pauseStartNs_ = MonotonicClock::nowNanoseconds();
  setState(RecordingState::paused(wallClock_(), recordedSeconds(pauseStartNs_)));
  setPausedFlag(true);
  // The audio files leave out what their sources captured from now until the resume.
  if (audioOnlyRecorder_) audioOnlyRecorder_->pauseAt(MediaTime::fromNanoseconds(pauseStartNs_));
  // The metadata clock is the movie's: it stops with it.
  if (metadataRecorder_) metadataRecorder_->pauseRecording();
  if (cameraEngine_) cameraEngine_->pauseCapture(MediaTime::fromNanoseconds(pauseStartNs_));
  if (auto* item = RecordingShell::statusItem()) item->setPaused(true);
  if (auto* panel = RecordingShell::panel()) panel->setPaused(true);
  durationTimer_.stop();
}

void RecordingCoordinator::resumeRecording() {
  auto* paused = recordingState_.get<RecordingState::Paused>();
  if (!paused) throw RecordingError::invalidConfiguration("Cannot resume when not paused");
  // Measured on the clock that stamps the samples: a wall clock that steps, or a suspend, during
  // the pause never makes later samples look older than the ones before it.
  const int64_t nowNs = MonotonicClock::nowNanoseconds();
  const int64_t pauseNs = std::max<int64_t>(0, nowNs - pauseStartNs_);
  pausedNs_ += pauseNs;
  double elapsed = paused->elapsed;
  MediaTime pauseTime = MediaTime::fromNanoseconds(pauseNs);
  if (mediaWriter_) mediaWriter_->addTimeOffset(pauseTime);
  if (context_)
    context_->setPauseOffset(mediaWriter_ ? mediaWriter_->timeOffset()
                                          : MediaTime::fromNanoseconds(pausedNs_));
  if (audioOnlyRecorder_) audioOnlyRecorder_->resumeAt(MediaTime::fromNanoseconds(nowNs));
  setState(RecordingState::recording(dateMinus(wallClock_(), elapsed + double(pausedNs_) / 1e9)));
  setPausedFlag(false);
  if (metadataRecorder_) metadataRecorder_->resumeRecording();
  // The camera layer leaves out the same span as the screen layer.
  if (cameraEngine_) cameraEngine_->resumeCapture(pauseTime);
  if (auto* item = RecordingShell::statusItem()) item->setPaused(false);
  if (auto* panel = RecordingShell::panel()) panel->setPaused(false);
  startDurationTimer();
}

// ---- stop ----

void RecordingCoordinator::stopTimersAndPump() {
  metadataSaver_.stop();
  durationTimer_.stop();
  autoStopTimer_.stop();
  cursorSamplingTimer_.stop();
  // The pump is drained here, before any writer finishes.
  if (context_) context_->stopDelivery();
}

void RecordingCoordinator::stopCursorHandling() {
  auto& overlay = *cursorOverlayController_;
  overlay.stopMouseMonitoring();
  overlay.setHighlightEnabled(false);
  overlay.setMagnifierEnabled(false);
  overlay.setUseCustomCursor(false);
  showSystemCursorIfHidden();
  KeyboardShortcutHandler::shared().stopShortcutMonitoring();
}

QCoro::Task<void> RecordingCoordinator::stopEngines() {
  if (screenEngine_) {
    try {
      co_await screenEngine_->stopCapture();
    } catch (...) {
      // The stream may already be gone (a destroyed window); what was written stays.
    }
  }
  if (audioEngine_) audioEngine_->stopAudioCapture();
  if (cameraEngine_) cameraEngine_->stopCapture();
  if (context_) context_->flushSound();
}

void RecordingCoordinator::askForSoundUntil(MediaTime end) {
  if (context_) context_->endAt(end);
  if (screenEngine_) screenEngine_->drainSoundUntil(end);
  if (audioEngine_) audioEngine_->drainSoundUntil(end);
}

bool RecordingCoordinator::soundDrained() const {
  return (!screenEngine_ || screenEngine_->soundDrained()) && (!audioEngine_ || audioEngine_->soundDrained());
}

// The sound server hands over what it captured a little later; how much later is its own latency
// (a source may hand over seconds at a time), so the wait is bounded rather than trusted.
QCoro::Task<void> RecordingCoordinator::drainSound(MediaTime end) {
  QPointer<RecordingCoordinator> self(this);
  askForSoundUntil(end);
  const auto deadline = std::chrono::steady_clock::now() + kSoundDrainLimit;
  // A process that ends meanwhile finishes the take itself, and waits out the same deadline.
  soundDrainDeadline_ = deadline;
  while (std::chrono::steady_clock::now() < deadline) {
    if (soundDrained()) break;
    co_await sleepFor(kSoundDrainPoll);
    if (!self) co_return;
  }
  soundDrainDeadline_.reset();
  if (!soundDrained()) Diagnostics::line(kSoundLateLine);
}

void RecordingCoordinator::waitForSoundBlocking(std::chrono::steady_clock::time_point deadline) {
  while (!soundDrained()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      Diagnostics::line(kSoundLateLine);
      return;
    }
    std::this_thread::sleep_for(kSoundDrainPoll);
  }
}

QCoro::Task<fs::path> RecordingCoordinator::finishAudioOnly() {
  auto promise = std::make_shared<QPromise<QString>>();
  QFuture<QString> future = promise->future();
  promise->start();
  audioOnlyRecorder_->finishRecording([promise](fs::path result, std::exception_ptr error) {
    if (error)
      promise->setException(error);
    else
      promise->addResult(QString::fromStdString(result.string()));
    promise->finish();
  });
  QString result = co_await future;
  co_return fs::path(result.toStdString());
}

std::optional<PackageConfiguration> RecordingCoordinator::packageConfiguration() const {
  if (!screenEngine_ || !screenEngine_->configuration()) return std::nullopt;
  PackageConfiguration package;
  // Only what the screen layer really carries: a container without an alpha codec falls back.
  auto screen = mediaWriter_ ? mediaWriter_->configuration() : std::nullopt;
  package.hasAlphaChannel = screen && screen->videoSettings && screen->videoSettings->hasAlphaChannel;
  package.hasSeparateLayers = true;
  package.resolution = QSizeF(screenEngine_->configuration()->width, screenEngine_->configuration()->height);
  package.frameRate = configuration_ ? configuration_->frameRate : 30;
  package.duration = recordingDuration_;
  if (auto rect = screenEngine_->captureRect()) package.contentOrigin = rect->topLeft();
  return package;
}

QCoro::Task<fs::path> RecordingCoordinator::finishPackage() {
  std::exception_ptr failure;
  try {
    const auto package = packageConfiguration();
    if (!package) throw RecordingError::invalidConfiguration("Screen capture not configured");
    RecordingPackage finished = co_await layerRecordingManager_->finalizeLayerRecording(*package);
    Diagnostics::line("📦 Layer recording package saved to: " + finished.packageURL.string());
    co_return finished.packageURL;
  } catch (...) {
    failure = std::current_exception();
  }
  Diagnostics::line("❌ Failed to finalize layer recording: " + describeException(failure));
  // Every layer was finished once already; the package keeps them. A finished screen layer is the
  // recording even when the manifest could not be written.
  if (mediaWriter_ && mediaWriter_->status() == MediaWriter::Status::completed) {
    if (auto movie = existingPath(mediaWriter_->outputURL())) {
      Diagnostics::line("⚠️ Saved screen video only due to layer recording error");
      co_return *movie;
    }
  }
  if (const auto& package = layerRecordingManager_->recordingPackage())
    partialResult_ = existingPath(package->packageURL);
  throw RecordingError::fileWriteError(failure);
}

QCoro::Task<fs::path> RecordingCoordinator::finishWriters() {
  writersFinished_ = true;
  partialResult_.reset();
  fs::path result;
  if (audioOnlyRecorder_) {
    try {
      result = co_await finishAudioOnly();
    } catch (...) {
      partialResult_ = existingPath(audioOnlyRecorder_->packageURL());
      if (!partialResult_) partialResult_ = existingPath(audioOnlyRecorder_->systemAudioURL());
      throw;
    }
    // Told before the take's problems are gathered, as a movie's place is.
    QCoreApplication::sendPostedEvents(qApp, QEvent::MetaCall);
  } else if (layerRecordingManager_) {
    result = co_await finishPackage();
    QCoreApplication::sendPostedEvents(qApp, QEvent::MetaCall);
  } else if (mediaWriter_) {
    std::exception_ptr failure;
    try {
      result = co_await mediaWriter_->finishWriting();
    } catch (...) {
      failure = std::current_exception();
    }
    // What the finish found of the movie's place was posted before it returned: it is told now,
    // before the take's problems are gathered and its metadata saved.
    QCoreApplication::sendPostedEvents(qApp, QEvent::MetaCall);
    if (failure) {
      partialResult_ = existingPath(mediaWriter_->outputURL());
      throw RecordingError::fileWriteError(failure);
    }
  } else {
    result = makeOutputURL();
  }
  std::error_code error;
  if (!fs::exists(result, error)) {
    // Held under its working name where no folder would take it: the take is there, and said so.
    if (const auto held = mediaWriter_ ? mediaWriter_->filePlace() : std::nullopt;
        held && *held != result && fs::exists(*held, error)) {
      partialResult_ = *held;
      throw RecordingError::fileWriteError(
          PlatformError("RecordingCoordinator", -1,
                        "No folder would take the recording under its name " + result.filename().string() +
                            "; it is kept as " + held->string() + ", and named at the next start that can"));
    }
    throw RecordingError::fileWriteError(
        PlatformError("RecordingCoordinator", -1, "The recording was never written to " + result.string()));
  }
  // A file that stopped taking samples was closed with what it had: kept, but the take failed.
  if (mediaWriter_) {
    if (auto failure = mediaWriter_->writeFailure()) {
      partialResult_ = result;
      throw writeFailureError(*failure);
    }
  }
  co_return result;
}

fs::path RecordingCoordinator::metadataLocation(const fs::path& result) const {
  if (layerRecordingManager_ && layerRecordingManager_->recordingPackage()) {
    return layerRecordingManager_->recordingPackage()->metadataURL;
  }
  return result.parent_path() / (result.stem().string() + ".metadata.json");
}

std::optional<fs::path> RecordingCoordinator::freeMetadataLocation() const {
  std::optional<fs::path> output;
  if (layerRecordingManager_ && layerRecordingManager_->recordingPackage()) {
    output = layerRecordingManager_->recordingPackage()->packageURL;
  } else if (mediaWriter_) {
    output = mediaWriter_->outputURL();
  } else if (audioOnlyRecorder_) {
    output = audioOnlyRecorder_->packageURL();
    if (!output) output = audioOnlyRecorder_->systemAudioURL();
  }
  if (!output) return std::nullopt;
  return unusedName(metadataLocation(*output));
}

void RecordingCoordinator::saveMetadata(const fs::path& result) {
  if (!metadataRecorder_) return;
  auto metadata = metadataRecorder_->metadata();
  Diagnostics::line("📊 Metadata before stop:");
  Diagnostics::line("   Cursor positions: " + formatInt(int64_t(metadata.cursorPositions.size())));
  Diagnostics::line("   Cursor clicks: " + formatInt(int64_t(metadata.cursorClicks.size())));
  Diagnostics::line("   Zoom events: " + formatInt(int64_t(metadata.zoomEvents.size())));
  metadataSaver_.stop();
  metadataRecorder_->stopRecording(recordingDuration_);
  // The file saved to while recording is ours; otherwise never over a file that is there already:
  // someone else's, or an earlier take's.
  auto saved = metadataSaver_.file();
  // It stands beside its movie, wherever that ended up.
  if (saved && !layerRecordingManager_ && saved->parent_path() != result.parent_path()) saved.reset();
  const fs::path location = saved ? *saved : unusedName(metadataLocation(result));
  try {
    metadataRecorder_->saveMetadata(location);
    Diagnostics::line("✅ Metadata saved successfully");
  } catch (...) {
    const std::string reason = describeException(std::current_exception());
    Diagnostics::line("⚠️ Failed to save metadata: " + reason);
    noteTakeProblem(TakeLoss::metadata,
                    "The metadata (clicks, cursor, zooms) could not be saved: " + reason + ".");
  }
}

void RecordingCoordinator::hideShell() {
  if (auto* item = RecordingShell::statusItem()) item->stopRecording();
  if (auto* panel = RecordingShell::panel()) panel->hide();
}

void RecordingCoordinator::resetClock() {
  startTime_.reset();
  startNs_ = pausedNs_ = pauseStartNs_ = 0;
  setDuration(0);
  if (isPaused_) setPausedFlag(false);
}

void RecordingCoordinator::resetTiming() {
  resetClock();
  configuration_.reset();
}

void RecordingCoordinator::returnToIdleAfterCompletion() {
  uint64_t generation = recordingGeneration_;
  QTimer::singleShot(100, this, [this, generation] {
    if (generation == recordingGeneration_ && recordingState_.kind() == RecordingState::Kind::completed) {
      setState(RecordingState::idle());
      // Everything of the finished recording is stopped by now: its engines, writer, pools and
      // buffers go at once rather than at the next prepare, and the heap they used goes back.
      dropRecordingObjects();
      MemoryRelease::trim();
    }
  });
}

void RecordingCoordinator::captureDurationAtStop() {
  // The recorded time up to this moment; while paused, the time recorded before the pause.
  if (recordingState_.get<RecordingState::Recording>()) {
    setDuration(recordedSeconds());
  } else if (auto* paused = recordingState_.get<RecordingState::Paused>()) {
    setDuration(paused->elapsed);
  }
}

QCoro::Task<void> RecordingCoordinator::stopRecording() {
  auto kind = recordingState_.kind();
  if (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused) {
    throw RecordingError::invalidConfiguration("Cannot stop recording in current state");
  }
  QPointer<RecordingCoordinator> self(this);
  // While recording, the sound captured up to this moment belongs to the take; while paused,
  // nothing after the pause's start does, and nothing of that is still on its way.
  const bool wasRecording = kind == RecordingState::Kind::recording;
  const MediaTime stopTime = MonotonicClock::now();
  captureDurationAtStop();
  setState(RecordingState::finalizing());
  durationTimer_.stop();
  autoStopTimer_.stop();
  cursorSamplingTimer_.stop();
  stopCursorHandling();
  if (wasRecording) {
    co_await drainSound(stopTime);
    if (!self) co_return;
  }
  stopTimersAndPump();
  co_await stopEngines();
  if (!self) co_return;

  fs::path result;
  std::exception_ptr failure;
  try {
    result = co_await finishWriters();
  } catch (...) {
    failure = std::current_exception();
  }
  if (!self) co_return;
  if (failure) {
    auto kept = co_await tearDown(true);
    if (self) failAndReturnToIdle(failure, kept, true);
    std::rethrow_exception(failure);
  }

  saveMetadata(result);
  hideShell();
  setState(RecordingState::completed(result));
  bool hasStudioFeatures = layerRecordingManager_ != nullptr || metadataRecorder_ != nullptr;
  Diagnostics::line("🎬 Studio features check: hasStudioFeatures=" + boolText(hasStudioFeatures) +
                    ", layerManager=" + boolText(layerRecordingManager_ != nullptr) +
                    ", metadata=" + boolText(metadataRecorder_ != nullptr));
  bool wasAudioOnly = configuration_ && configuration_->mode.kind() == RecordingMode::Kind::systemAudio;
  bool trimAfterRecord = SettingsStore::standard().boolValue("trimAfterRecord");
  bool shouldOpenTrimmer = trimAfterRecord && !wasAudioOnly;
  Diagnostics::line("🔍 Trimmer settings: trimAfterRecord=" + boolText(trimAfterRecord) + ", wasAudioOnly=" +
                    boolText(wasAudioOnly) + ", shouldOpenTrimmer=" + boolText(shouldOpenTrimmer));
  resetTiming();

  returnToIdleAfterCompletion();
  fs::path editorMovie = result;
  if (layerRecordingManager_ && layerRecordingManager_->recordingPackage()) {
    editorMovie = layerRecordingManager_->recordingPackage()->screenVideoURL;
  }
  QMetaObject::invokeMethod(
      this,
      [this, result, editorMovie, hasStudioFeatures, shouldOpenTrimmer, problems = takeProblems()] {
        Diagnostics::line("✅ Recording saved to: " + result.string());
        Diagnostics::line("🎬 Opening UI: hasStudioFeatures=" + boolText(hasStudioFeatures) +
                          ", shouldOpenTrimmer=" + boolText(shouldOpenTrimmer));
        if (!resultOpener_) {
          RecordingHandOff::open(result, editorMovie, shouldOpenTrimmer, problems);
          return;
        }
        resultOpener_(result, editorMovie, shouldOpenTrimmer);
        // The opener replaced (tests) still leaves the person told what the take lost.
        if (!problems.empty())
          if (auto* notice = RecordingShell::savedNotice()) notice->showSaved(result, problems);
      },
      Qt::QueuedConnection);
}

// ---- attached devices ----

void RecordingCoordinator::setIOSDeviceEngine(std::shared_ptr<iOSDeviceCaptureEngine> engine) {
  iOSDeviceEngine_ = std::move(engine);
  if (iOSDeviceEngine_) iOSDeviceEngine_->setRecordingDelegate(this);
}

void RecordingCoordinator::releaseDeviceEngine() {
  if (!iOSDeviceEngine_) return;
  iOSDeviceEngine_->stopDeviceRecording();
  iOSDeviceEngine_->stopDevicePreview();
  iOSDeviceEngine_->setCurrentDevice(std::nullopt);
  iOSDeviceEngine_.reset();
}

void RecordingCoordinator::iOSDeviceRecordingDidComplete(const fs::path& url) {
  setState(RecordingState::completed(url));
  resetClock();
  releaseDeviceEngine();
  Diagnostics::line("iOS device recording completed: " + url.string());
  // Left completed, the coordinator would refuse every later recording.
  returnToIdleAfterCompletion();
}

void RecordingCoordinator::iOSDeviceRecordingDidFail(std::exception_ptr error) {
  RecordingError recordingError = RecordingError::captureDeviceUnavailable();
  try {
    std::rethrow_exception(error);
  } catch (const RecordingError& reported) {
    recordingError = reported;
  } catch (...) {
  }
  lastError_ = recordingError;
  setState(RecordingState::failed(recordingError));
  releaseDeviceEngine();
  Diagnostics::line("iOS device recording failed: " + describeException(error));
  setState(RecordingState::idle());
}

// ---- editor windows ----

void RecordingCoordinator::keepStudioEditorWindow(QWidget* window) {
  studioEditorWindows_.emplace_back(window);
  window->installEventFilter(this);
}

void RecordingCoordinator::windowWillClose(QWidget* window) {
  std::erase_if(studioEditorWindows_,
                [window](const QPointer<QWidget>& kept) { return !kept || kept == window; });
}

bool RecordingCoordinator::eventFilter(QObject* watched, QEvent* event) {
  auto* window = qobject_cast<QWidget*>(watched);
  if (event->type() != QEvent::Close || !window || !window->isWindow()) return false;
  // The window decides first: one that refuses its close stays on the list.
  static_cast<QObject*>(window)->event(event);
  if (event->isAccepted()) windowWillClose(window);
  return true;
}

// ---- what a take loses while it goes on ----

void RecordingCoordinator::watchSoundSources() {
  const auto lost = onMainThreadForThisTake(&RecordingCoordinator::noteSoundLost);
  if (screenEngine_)
    screenEngine_->setSoundEndHandler([lost](const std::string& reason) { lost("system audio: " + reason); });
  if (audioEngine_) audioEngine_->setStreamEndHandler(lost);
}

void RecordingCoordinator::watchPickedWindows() {
  if (screenEngine_)
    screenEngine_->setWindowGoneHandler(onMainThreadForThisTake(&RecordingCoordinator::noteWindowGone));
}

template <typename Value>
std::function<void(const Value&)> RecordingCoordinator::onMainThreadForThisTake(
    void (RecordingCoordinator::*step)(const Value&)) {
  QPointer<RecordingCoordinator> self(this);
  const uint64_t generation = recordingGeneration_;
  return [self, generation, step](const Value& value) {
    QMetaObject::invokeMethod(
        qApp,
        [self, generation, step, value] {
          if (self && generation == self->recordingGeneration_) (self.data()->*step)(value);
        },
        Qt::QueuedConnection);
  };
}

void RecordingCoordinator::followMoviePlace(MediaWriter& writer) {
  writer.setPlaceHandler(onMainThreadForThisTake(&RecordingCoordinator::noteMoviePlace));
}

void RecordingCoordinator::followMetadata(const FilePlaceChange& change) {
  const auto& saved = metadataSaver_.file();
  if (!saved) return;
  if (layerRecordingManager_) {
    // Inside the package, wherever the package is now.
    layerRecordingManager_->followPackageFolder();
    if (const auto& package = layerRecordingManager_->recordingPackage())
      metadataSaver_.moveTo(package->metadataURL);
    return;
  }
  // Beside the take: the file, or the audio package it belongs to. Moved, under the name it had;
  // carried elsewhere, under the name that goes with the take's there.
  const auto audioPackage = audioOnlyRecorder_ ? audioOnlyRecorder_->packageURL() : std::nullopt;
  const fs::path take = audioPackage.value_or(change.path);
  if (change.kind == FilePlaceChange::Kind::moved)
    metadataSaver_.moveTo(take.parent_path() / saved->filename());
  else
    metadataSaver_.moveTo(unusedName(metadataLocation(take)));
}

void RecordingCoordinator::noteMoviePlace(const FilePlaceChange& change) {
  const std::string at = RecordingPreflight::durationText(recordedSoFar());
  const std::string folder = change.path.parent_path().string();
  switch (change.kind) {
    case FilePlaceChange::Kind::moved:
      followMetadata(change);
      noteTakeProblem(TakeLoss::nothing,
                      "The recording was moved at " + at + "; it goes on in " + folder + ".");
      break;
    case FilePlaceChange::Kind::restored:
      noteTakeProblem(TakeLoss::nothing, "The recording's folder " + folder + " was removed at " + at +
                                             "; it was made again and the recording goes on there.");
      break;
    case FilePlaceChange::Kind::relocated:
    case FilePlaceChange::Kind::carried:
      followMetadata(change);
      noteTakeProblem(TakeLoss::nothing,
                      "The recording's folder " + change.from.string() +
                          (change.kind == FilePlaceChange::Kind::carried
                               ? " would not take it at " + at + " ("
                               : " was removed at " + at + " and could not be made again (") +
                          change.reason + "); the recording goes on in " + folder + ".");
      break;
    case FilePlaceChange::Kind::lost:
      // Nothing follows the folder any more: a save that finds none is told from now on.
      metadataSaver_.setFailureHandler(
          onMainThreadForThisTake(&RecordingCoordinator::noteMetadataSaveFailed));
      noteTakeProblem(TakeLoss::take, "The recording's folder " + folder + " was removed at " + at +
                                          " and could not be made again (" + change.reason +
                                          "): the recording cannot be kept.");
      break;
  }
}

double RecordingCoordinator::recordedSoFar() const {
  if (auto* paused = recordingState_.get<RecordingState::Paused>()) return paused->elapsed;
  if (recordingState_.get<RecordingState::Recording>()) return recordedSeconds();
  return recordingDuration_;
}

void RecordingCoordinator::noteSoundLost(const std::string& reason) {
  auto kind = recordingState_.kind();
  if (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused) return;
  noteTakeProblem(TakeLoss::sound, "The sound stopped at " +
                                       RecordingPreflight::durationText(recordedSoFar()) + " (" + reason +
                                       "); the rest of the recording is silent.");
}

void RecordingCoordinator::noteWindowGone(const GoneWindow& window) {
  auto kind = recordingState_.kind();
  if (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused) return;
  const std::string at = RecordingPreflight::durationText(recordedSoFar());
  if (!window.closed) {
    noteTakeProblem(TakeLoss::picture,
                    "The window " + window.name + " was minimised at " + at +
                        "; the picture misses it until it is shown again.",
                    window.window);
    return;
  }
  // Told as off the screen and then destroyed, it was closed: that replaces what was told of this
  // leaving (the latest note of this window), and no other.
  if (window.wasAway) {
    const auto told =
        std::find_if(takeProblems_.rbegin(), takeProblems_.rend(),
                     [&](const TakeProblem& problem) { return problem.awayWindow == window.window; });
    if (told != takeProblems_.rend()) takeProblems_.erase(std::next(told).base());
  }
  if (window.pictureEnded) {
    // The stream has stopped with it; what was recorded is kept as the take.
    noteTakeProblem(TakeLoss::picture,
                    "The window " + window.name + " closed at " + at + "; the recording ended there.");
  } else {
    noteTakeProblem(TakeLoss::picture, "The window " + window.name + " closed at " + at +
                                           "; the picture shows the rest of the take without it.");
  }
}

void RecordingCoordinator::noteMetadataSaveFailed(const std::string& reason) {
  // Every later save fails the same way; once is enough to know.
  if (metadataProblemTold_) return;
  metadataProblemTold_ = true;
  noteTakeProblem(TakeLoss::metadata, "The metadata (clicks, cursor, zooms) could not be saved at " +
                                          RecordingPreflight::durationText(recordedSoFar()) + ": " + reason +
                                          ".");
}

std::vector<std::string> RecordingCoordinator::takeProblems() const {
  std::vector<std::string> texts;
  for (const auto& problem : takeProblems_) texts.push_back(problem.text);
  return texts;
}

void RecordingCoordinator::noteTakeProblem(TakeLoss loss, const std::string& text, uint32_t awayWindow) {
  const auto same = [&](const TakeProblem& problem) { return problem.text == text; };
  if (std::any_of(takeProblems_.begin(), takeProblems_.end(), same)) return;
  Diagnostics::line("⚠️ " + text);
  // After every problem as grave or graver, so that a later, lesser one never hides it.
  const auto lesser = [&](const TakeProblem& problem) { return problem.loss < loss; };
  takeProblems_.insert(std::find_if(takeProblems_.begin(), takeProblems_.end(), lesser),
                       {loss, text, awayWindow});
  if (auto* panel = RecordingShell::panel()) panel->showProblems(takeProblems());
  emit recordingProblem(QString::fromStdString(text));
}

// ---- failures ----

QCoro::Task<std::optional<fs::path>> RecordingCoordinator::tearDown(bool keepRecorded) {
  QPointer<RecordingCoordinator> self(this);
  countdownActive_ = false;
  stopTimersAndPump();
  stopCursorHandling();
  hideShell();
  co_await stopEngines();
  if (!self) co_return std::nullopt;
  std::optional<fs::path> kept;
  bool recorded = (mediaWriter_ && mediaWriter_->isWriting()) ||
                  (audioOnlyRecorder_ && audioOnlyRecorder_->sessionStarted());
  if (writersFinished_) {
    // A finish that failed already did all a finish can: what it left stays as it is.
    kept = partialResult_;
  } else if (keepRecorded && recorded) {
    std::exception_ptr failure;
    try {
      kept = co_await finishWriters();
    } catch (...) {
      failure = std::current_exception();
    }
    if (!self) co_return kept;
    if (failure) {
      kept = partialResult_;
      // A file that stopped taking samples is kept as far as it got; only a file lost is a failure.
      if (!kept) Diagnostics::line("❌ Failed to save the partial recording: " + describeException(failure));
    }
    if (kept) Diagnostics::line("✅ Partial recording saved to: " + kept->string());
  } else if (layerRecordingManager_) {
    layerRecordingManager_->cancelLayerRecording();
  } else if (mediaWriter_) {
    mediaWriter_->cancelWriting();
  } else if (audioOnlyRecorder_) {
    // Nothing was recorded: finishing closes and drops the prepared files.
    writersFinished_ = true;
    try {
      co_await finishAudioOnly();
    } catch (...) {
    }
    if (!self) co_return kept;
  }
  if (kept) {
    saveMetadata(*kept);
  } else if (const auto saved = metadataSaver_.file()) {
    // A metadata file saved while recording describes nothing once its recording is gone.
    metadataSaver_.stop();
    std::error_code ignored;
    fs::remove(*saved, ignored);
  }
  co_return kept;
}

void RecordingCoordinator::failAndReturnToIdle(std::exception_ptr failure, std::optional<fs::path> saved,
                                               bool tellUser) {
  RecordingError error = RecordingError::unknown(failure);
  try {
    std::rethrow_exception(failure);
  } catch (const RecordingError& recordingError) {
    error = recordingError;
  } catch (...) {
  }
  Diagnostics::line("❌ Recording failed: " + error.localizedDescription());
  lastError_ = error;
  setState(RecordingState::failed(error));
  resetTiming();
  setState(RecordingState::idle());
  if (tellUser) emit recordingFailed(error, saved.value_or(fs::path()));
}

void RecordingCoordinator::endWithFailure(RecordingError error) {
  auto kind = recordingState_.kind();
  if (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused &&
      kind != RecordingState::Kind::ready) {
    return;
  }
  bool started = kind != RecordingState::Kind::ready;
  captureDurationAtStop();
  setState(RecordingState::failed(error));
  [](QPointer<RecordingCoordinator> self, RecordingError error, bool started) -> QCoro::Task<void> {
    auto kept = co_await self->tearDown(true);
    if (self) self->failAndReturnToIdle(std::make_exception_ptr(error), kept, started);
  }(this, std::move(error), started);
}

void RecordingCoordinator::onStreamError() {
  Diagnostics::line("❌ The capture stream stopped; saving what was recorded");
  endWithFailure(RecordingError::streamInterrupted());
}

void RecordingCoordinator::finishBeforeExit() {
  auto kind = recordingState_.kind();
  // A failure being torn down (the stream noticed first) has not finished its writers yet either.
  if (writersFinished_ ||
      (kind != RecordingState::Kind::recording && kind != RecordingState::Kind::paused &&
       kind != RecordingState::Kind::finalizing && kind != RecordingState::Kind::failed)) {
    return;
  }
  const MediaTime end = MonotonicClock::now();
  if (kind == RecordingState::Kind::recording || kind == RecordingState::Kind::paused)
    captureDurationAtStop();
  Diagnostics::line("⚠️ The application is ending during a recording; saving what was recorded");
  metadataSaver_.stop();
  durationTimer_.stop();
  autoStopTimer_.stop();
  cursorSamplingTimer_.stop();
  // As at a stop, the sound captured up to now belongs to the take, and the mix holds back what
  // one source has until the other, which may hand over seconds at a time, has caught up.
  // A stop already waiting for that sound (the display may go within the wait) goes on waiting.
  if (kind == RecordingState::Kind::recording) {
    askForSoundUntil(end);
    waitForSoundBlocking(std::chrono::steady_clock::now() + kSoundDrainLimit);
  } else if (soundDrainDeadline_) {
    waitForSoundBlocking(*soundDrainDeadline_);
  }
  if (context_) context_->stopDelivery();
  if (audioEngine_) audioEngine_->stopAudioCapture();
  if (cameraEngine_) cameraEngine_->stopCapture();
  // The screen stream's thread goes with its engine; no frame reaches a writer after this.
  screenEngine_.reset();
  if (context_) context_->flushSound();
  std::optional<fs::path> kept;
  try {
    if (layerRecordingManager_) {
      for (const auto& writer :
           {layerRecordingManager_->screenWriter(), layerRecordingManager_->cameraWriter()}) {
        if (writer && writer->isWriting()) writer->finishWritingBlocking();
      }
      if (const auto& package = layerRecordingManager_->recordingPackage())
        kept = existingPath(package->packageURL);
    } else if (mediaWriter_ && mediaWriter_->isWriting()) {
      kept = mediaWriter_->finishWritingBlocking();
    } else if (audioOnlyRecorder_ && audioOnlyRecorder_->sessionStarted()) {
      audioOnlyRecorder_->finishRecordingBlocking();
      kept = existingPath(audioOnlyRecorder_->packageURL());
      if (!kept) kept = existingPath(audioOnlyRecorder_->systemAudioURL());
    }
  } catch (...) {
    Diagnostics::line("❌ Failed to save the recording: " + describeException(std::current_exception()));
  }
  writersFinished_ = true;
  if (kept) {
    saveMetadata(*kept);
    Diagnostics::line("✅ Recording saved to: " + kept->string());
  }
}

// ---- system cursor ----

void RecordingCoordinator::hideSystemCursorIfNeeded() {
  const auto& settings = CursorOverlaySettings::defaultSettings();
  if (settings.enabled && settings.hideSystemCursor && !isCursorHidden_) {
    if (SystemCursor::hide()) {
      isCursorHidden_ = true;
      Diagnostics::line("🖱️ System cursor hidden for custom cursor overlay");
    }
  }
}

void RecordingCoordinator::showSystemCursorIfHidden() {
  if (!isCursorHidden_) return;
  SystemCursor::show();
  isCursorHidden_ = false;
  Diagnostics::line("🖱️ System cursor restored");
}

}  // namespace tk
