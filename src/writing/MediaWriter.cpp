#include "writing/MediaWriter.h"

#include <algorithm>
#include <cmath>

#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "writing/AlphaChannelRecorder.h"

namespace tk {

namespace {

const char* caseName(VideoEncoder encoder) {
  return encoder == VideoEncoder::h265 ? "h265" : "h264";
}

const char* caseName(VideoQuality quality) {
  switch (quality) {
    case VideoQuality::low:
      return "low";
    case VideoQuality::medium:
      return "medium";
    case VideoQuality::high:
      return "high";
  }
  return "high";
}

std::string seconds(MediaTime time) {
  return formatDouble(time.seconds());
}

}  // namespace

std::string MediaWriter::statusName(Status status) {
  switch (status) {
    case Status::unknown:
      return "unknown";
    case Status::writing:
      return "writing";
    case Status::completed:
      return "completed";
    case Status::failed:
      return "failed";
    case Status::cancelled:
      return "cancelled";
  }
  return "unknown";
}

MediaWriter::MediaWriter(HostClock hostClock) : hostClock_(std::move(hostClock)) {}

MediaWriter::~MediaWriter() {
  if (!assetWriter_) return;
  if (isWriting_) {
    try {
      finishWritingBlocking();
    } catch (const Error&) {
      // Whatever reached the file stays; a destructor has no one to tell.
    }
    return;
  }
  if (status_ != Status::completed && !sessionEverStarted_) assetWriter_->cancel();
}

double MediaWriter::recordingEncoderMemory(int width, int height, int cores) {
  if (static_cast<double>(width) * height <= 1920.0 * 1080.0) return kRecordingEncoderMemory;
  const double frameThreads = h264FrameThreadMemory(width, height, std::max(cores * 3 / 4, 3));
  return std::clamp(frameThreads, kRecordingEncoderMemory, kLargeRecordingEncoderMemory);
}

int64_t MediaWriter::standardBitRate(VideoEncoder codec, VideoQuality quality, int width, int height,
                                     int frameRate) {
  const double k = codec == VideoEncoder::h264 ? 0.9 : 0.5;
  const double f = frameRate / 8.0;
  const double w = width < 600 ? 600 : width;
  const double h = height < 600 ? 600 : height;
  const double q = 1.0 - std::log10(f * std::sqrt(w * h)) / 5.0;
  double factor = 1.0;
  switch (quality) {
    case VideoQuality::low:
      factor = std::max(q, 0.1);
      break;
    case VideoQuality::medium:
      factor = 3 * q >= 0.6 ? 0.6 : std::max(3 * q, 0.4);
      break;
    case VideoQuality::high:
      factor = 1.0;
      break;
  }
  const auto bitRate = static_cast<int64_t>(k * f * w * h * factor);
  return std::max<int64_t>(bitRate, 200000);
}

const char* MediaWriter::encoderPreset(VideoEncoder codec) {
  // Presets that keep up with 1080p60 capture on a desktop CPU shared with the capture itself; the
  // bit rate, not the preset, sets the file size.
  return codec == VideoEncoder::h265 ? "ultrafast" : "superfast";
}

double MediaWriter::alphaQualityFactor(VideoQuality quality) {
  switch (quality) {
    case VideoQuality::low:
      return 0.3;
    case VideoQuality::medium:
      return 0.7;
    case VideoQuality::high:
      return 1.0;
  }
  return 1.0;
}

void MediaWriter::configure(const WriterConfiguration& configuration) {
  {
    std::lock_guard lock(mutex_);
    if (assetWriter_) throw MediaWriterError::invalidState(statusName(status_));
    configuration_ = configuration;
    outputURL_ = configuration.outputURL;
  }
  if (configuration.outputURL.empty())
    throw MediaWriterError::writerInitializationFailed("no output file given");

  std::unique_ptr<AssetWriter> writer;
  try {
    // The movie shows under its name only once it plays: a take killed before its first fragment
    // leaves nothing visible behind.
    writer = std::make_unique<AssetWriter>(
        configuration.outputURL,
        configuration.outputFormat == OutputFormat::mp4 ? ContainerFormat::mp4 : ContainerFormat::mov,
        FileNaming::onceWhole);
  } catch (const Error& error) {
    throw MediaWriterError::writerInitializationFailed(error.localizedDescription());
  }
  // A recording is written in fragments, so that a killed process or a full disk keeps it.
  writer->setFragmented(true);
  // A failure below removes the file just created: a writer that cannot start leaves nothing behind.
  try {
    if (configuration.videoSettings) setupVideoInput(*writer, *configuration.videoSettings);
    setupAudioInputs(*writer, configuration.audioSettings, configuration.separateAudioTracks);
  } catch (...) {
    writer->discard();
    throw;
  }
  writer->setFailureHandler([this](const std::string& text) {
    std::function<void(const std::string&)> handler;
    {
      std::lock_guard lock(handlerMutex_);
      handler = failureHandler_;
    }
    Diagnostics::line("❌ AssetWriter failed: " + text);
    if (handler) handler(text);
  });
  writer->setPlaceHandler([this](const FilePlaceChange& change) {
    if (package_) package_->noteMemberPlace(change);
    std::function<void(const FilePlaceChange&)> handler;
    {
      std::lock_guard lock(handlerMutex_);
      handler = placeHandler_;
    }
    if (handler) handler(change);
  });
  writer->setPlaceWatchGate([this] {
    std::lock_guard lock(handlerMutex_);
    return !placeWatchGate_ || placeWatchGate_();
  });
  if (encodeGate_) writer->setEncodeGate(encodeGate_);
  if (package_) writer->setFallbackFolder(PackageFolder::chooser(package_));
  std::lock_guard lock(mutex_);
  assetWriter_ = std::move(writer);
}

void MediaWriter::setFailureHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(handlerMutex_);
  failureHandler_ = std::move(handler);
}

void MediaWriter::setPlaceHandler(std::function<void(const FilePlaceChange&)> handler) {
  std::lock_guard lock(handlerMutex_);
  placeHandler_ = std::move(handler);
}

void MediaWriter::setPlaceWatchGate(std::function<bool()> gate) {
  std::lock_guard lock(handlerMutex_);
  placeWatchGate_ = std::move(gate);
}

std::optional<std::string> MediaWriter::writeFailure() const {
  std::lock_guard lock(mutex_);
  return writeFailure_;
}

void MediaWriter::setupVideoInput(AssetWriter& writer, const VideoSettings& settings) {
  Diagnostics::line("📊 Video encoding settings:");
  Diagnostics::line("   Resolution: " + std::to_string(settings.width) + "x" +
                    std::to_string(settings.height));
  Diagnostics::line("   Frame rate: " + std::to_string(settings.frameRate) + " FPS");
  Diagnostics::line(std::string("   Codec: ") + caseName(settings.codec));
  Diagnostics::line(std::string("   Quality: ") + caseName(settings.quality));
  Diagnostics::line("   Alpha channel: " + boolText(settings.hasAlphaChannel));

  VideoInputSettings input;
  input.width = settings.width;
  input.height = settings.height;
  input.frameRate = settings.frameRate;
  // The conversion is always BT.709 and the track is tagged with what the pixels are.
  input.bt709 = true;
  if (settings.hasAlphaChannel && settings.alphaCodec) {
    const AlphaVideoCodec codec = *settings.alphaCodec;
    Diagnostics::line("   Alpha codec: " + displayName(codec));
    if (codec == AlphaVideoCodec::hevcWithAlpha && !AlphaChannelRecorder::isHEVCWithAlphaSupported())
      throw MediaWriterError::alphaCodecNotSupported(codec);
    AlphaChannelRecorder::validateAlphaResolution(settings.width, settings.height, codec);
    const AlphaOutputSettings alpha = AlphaChannelRecorder::alphaOutputSettings(
        alphaQualityFactor(settings.quality), settings.width, settings.height, codec);
    input.codec = alpha.codec;
    input.bitRate = alpha.averageBitRate;
  } else {
    const int64_t bitRate = standardBitRate(settings.codec, settings.quality, settings.width, settings.height,
                                            settings.frameRate);
    Diagnostics::line("   Target bitrate: " + std::to_string(bitRate / 1000000) + " Mbps");
    input.codec = settings.codec == VideoEncoder::h265 ? VideoCodecKind::hevc : VideoCodecKind::h264;
    input.bitRate = bitRate;
    input.preset = encoderPreset(settings.codec);
    input.encoderMemory = recordingEncoderMemory(settings.width, settings.height, availableCores());
    // Above 1080p a frame threads' burst comes more often, while the encoder keeps up on average:
    // the writer's own hold, with more frames waiting unconverted, rides it out.
    const bool large = static_cast<double>(settings.width) * settings.height > 1920.0 * 1080.0;
    input.queuedFrames = large ? 0 : kRecordingQueuedFrames;
  }
  try {
    writer.addVideoInput(input);
  } catch (const Error& error) {
    throw MediaWriterError::cannotAddInput("video", error.localizedDescription());
  }
  hasVideoInput_ = true;
  frameDuration_ = MediaTime(1, std::max(1, settings.frameRate));
}

void MediaWriter::setupAudioInputs(AssetWriter& writer, const AudioSettings& settings,
                                   bool separateAudioTracks) {
  AudioInputSettings input;
  input.sampleRate = settings.sampleRate;
  input.channels = settings.channelCount;
  input.bitRate = settings.bitRate;
  auto add = [&](const std::string& type) {
    if (settings.format != AudioSettings::AudioFormat::aac)
      throw MediaWriterError::cannotAddInput(type, "only AAC audio is written");
    try {
      return writer.addAudioInput(input);
    } catch (const Error& error) {
      throw MediaWriterError::cannotAddInput(type, error.localizedDescription());
    }
  };
  if (!separateAudioTracks) {
    Diagnostics::line("📊 Configuring single audio track");
    systemAudioInput_ = add("audio");
    Diagnostics::line("✅ Added audio input");
    return;
  }
  Diagnostics::line("📊 Configuring separate audio tracks (system + microphone)");
  systemAudioInput_ = add("system audio");
  Diagnostics::line("✅ Added system audio input");
  microphoneAudioInput_ = add("microphone audio");
  Diagnostics::line("✅ Added microphone audio input");
}

void MediaWriter::startWriting() {
  {
    std::lock_guard lock(mutex_);
    if (!assetWriter_) throw MediaWriterError::writerNotConfigured();
    if (status_ != Status::unknown) throw MediaWriterError::invalidState(statusName(status_));
  }
  try {
    assetWriter_->start();
  } catch (const Error& error) {
    std::lock_guard lock(mutex_);
    status_ = Status::failed;
    throw MediaWriterError::writingFailed(error.localizedDescription());
  }
  std::lock_guard lock(mutex_);
  status_ = Status::writing;
}

void MediaWriter::startSession(MediaTime sourceTime) {
  std::lock_guard lock(mutex_);
  if (!assetWriter_) throw MediaWriterError::writerNotConfigured();
  if (status_ != Status::writing) throw MediaWriterError::invalidState(statusName(status_));
  if (isWriting_) return;
  sessionStartTime_ = sourceTime;
  sessionStartHostTime_ = hostClock_();
  sessionEverStarted_ = true;
  isWriting_ = true;
}

bool MediaWriter::rejectVideo(const char* line) {
  if (++videoAppendFailureCount_ <= 3) Diagnostics::line(line);
  return false;
}

bool MediaWriter::appendVideoBuffer(const SampleBuffer& sample) {
  if (!sample.isVideo()) return false;
  return appendVideo(sample.pixelBuffer(), sample.presentationTime(), sample.duration(), true);
}

bool MediaWriter::appendPixelBuffer(std::shared_ptr<PixelBuffer> pixels, MediaTime presentationTime) {
  return appendVideo(std::move(pixels), presentationTime, MediaTime::invalid(), false);
}

bool MediaWriter::appendVideo(std::shared_ptr<PixelBuffer> pixels, MediaTime presentationTime,
                              MediaTime duration, bool logRejections) {
  std::lock_guard lock(mutex_);
  if (!isWriting_) return logRejections ? rejectVideo("⚠️ appendVideoBuffer: isWriting is false") : false;
  if (!hasVideoInput_)
    return logRejections ? rejectVideo("⚠️ appendVideoBuffer: videoInput is nil") : false;
  // The failure itself was reported once, when it happened.
  if (assetWriter_->failed()) return false;
  if (!pixels || !presentationTime.isValid()) return false;
  const MediaTime time = timeOffset_ == MediaTime::zero() ? presentationTime : presentationTime - timeOffset_;
  const MediaTime fileTime = time - *sessionStartTime_;
  // Frames from before the session, or not later than the last one, would break the track's
  // timeline; they are dropped here rather than handed to the muxer.
  if (fileTime < MediaTime::zero() || (lastVideoFileTime_.isValid() && fileTime <= lastVideoFileTime_)) {
    ++droppedSamples_;
    return false;
  }
  if (!assetWriter_->appendVideo(std::move(pixels), fileTime)) {
    return logRejections ? rejectVideo("⚠️ appendVideoBuffer: input not ready for more data") : false;
  }
  lastVideoFileTime_ = fileTime;
  const bool hasDuration = duration.isValid() && duration > MediaTime::zero();
  lastPTS_ = hasDuration ? time + duration : time;
  return true;
}

bool MediaWriter::appendMicrophoneAudio(const SampleBuffer& sample, bool isMicrophone, bool retime) {
  if (!sample.isAudio() || !sample.audioBlock() || !sample.presentationTime().isValid()) return false;
  std::lock_guard lock(mutex_);
  if (!isWriting_) return false;
  const int input = isMicrophone ? microphoneAudioInput_ : systemAudioInput_;
  if (input < 0) {
    if (isMicrophone) Diagnostics::line("❌ Microphone audio input is nil");
    return false;
  }
  MediaTime time = sample.presentationTime();
  if (retime && sessionStartTime_ && sessionStartHostTime_) {
    const MediaTime elapsed = time - *sessionStartHostTime_;
    const MediaTime retimed = *sessionStartTime_ + elapsed;
    if (++micAudioDebugCount_ <= 3) {
      Diagnostics::line("🔧 Mic audio timestamp adjustment:");
      Diagnostics::line("   Original PTS: " + seconds(time));
      Diagnostics::line("   Session start (video): " + seconds(*sessionStartTime_));
      Diagnostics::line("   Host start: " + seconds(*sessionStartHostTime_));
      Diagnostics::line("   Elapsed: " + seconds(elapsed));
      Diagnostics::line("   New PTS: " + seconds(retimed));
    }
    time = retimed;
  }
  if (timeOffset_ != MediaTime::zero()) time = time - timeOffset_;
  const MediaTime fileTime = time - *sessionStartTime_;
  if (fileTime + sample.duration() <= MediaTime::zero()) {
    ++droppedSamples_;
    return false;
  }
  return assetWriter_->appendAudio(input, sample.audioBlock(), fileTime);
}

bool MediaWriter::isReadyForVideo() const {
  std::lock_guard lock(mutex_);
  return isWriting_ && hasVideoInput_ && assetWriter_->isReadyForVideo();
}

bool MediaWriter::isReadyForAudio(bool isMicrophone) const {
  std::lock_guard lock(mutex_);
  const int input = isMicrophone ? microphoneAudioInput_ : systemAudioInput_;
  return isWriting_ && input >= 0 && assetWriter_->isReadyForAudio(input);
}

QCoro::Task<std::filesystem::path> MediaWriter::finishWriting() {
  struct Outcome {
    std::filesystem::path path;
    std::exception_ptr error;
  };
  Outcome outcome = co_await onWorker([this] {
    Outcome result;
    try {
      result.path = finishWritingBlocking();
    } catch (...) {
      result.error = std::current_exception();
    }
    return result;
  });
  if (outcome.error) std::rethrow_exception(outcome.error);
  co_return outcome.path;
}

std::filesystem::path MediaWriter::finishWritingBlocking() {
  MediaTime end;
  {
    std::unique_lock lock(mutex_);
    if (!assetWriter_) throw MediaWriterError::writerNotConfigured();
    if (!isWriting_) {
      if (!sessionEverStarted_ && (status_ == Status::unknown || status_ == Status::writing)) {
        status_ = Status::cancelled;
        lock.unlock();
        removeStub();
      }
      throw MediaWriterError::notWriting();
    }
    isWriting_ = false;
    if (lastVideoFileTime_.isValid()) end = lastVideoFileTime_ + frameDuration_;
  }
  try {
    assetWriter_->finish(end);
  } catch (const Error& error) {
    std::lock_guard lock(mutex_);
    status_ = Status::failed;
    throw MediaWriterError::writingFailed(error.localizedDescription());
  }
  std::lock_guard lock(mutex_);
  status_ = Status::completed;
  if (assetWriter_->failed()) writeFailure_ = assetWriter_->failure();
  if (!outputURL_) throw MediaWriterError::outputURLMissing();
  return assetWriter_->path();
}

void MediaWriter::removeStub() {
  assetWriter_->cancel();
}

void MediaWriter::cancelWriting() {
  {
    std::lock_guard lock(mutex_);
    if (!assetWriter_) return;
    const bool finishing = status_ == Status::writing && sessionEverStarted_ && !isWriting_;
    isWriting_ = false;
    // A finished (or finishing) recording belongs to the user now: cancel never deletes it.
    if (status_ == Status::completed || status_ == Status::cancelled || finishing) return;
    status_ = Status::cancelled;
  }
  assetWriter_->cancel();
}

MediaTime MediaWriter::timeOffset() const {
  std::lock_guard lock(mutex_);
  return timeOffset_;
}

void MediaWriter::setTimeOffset(MediaTime offset) {
  std::lock_guard lock(mutex_);
  if (offset.isValid()) timeOffset_ = offset;
}

void MediaWriter::addTimeOffset(MediaTime pause) {
  std::lock_guard lock(mutex_);
  if (pause.isValid()) timeOffset_ = timeOffset_ + pause;
}

MediaWriter::Status MediaWriter::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

std::optional<std::filesystem::path> MediaWriter::outputURL() const {
  std::lock_guard lock(mutex_);
  // The name the file took, should its own have been taken meanwhile.
  if (assetWriter_) return assetWriter_->path();
  return outputURL_;
}

std::optional<std::filesystem::path> MediaWriter::filePlace() const {
  std::lock_guard lock(mutex_);
  if (assetWriter_) return assetWriter_->place();
  return outputURL_;
}

std::optional<MediaTime> MediaWriter::sessionStartTime() const {
  std::lock_guard lock(mutex_);
  return sessionStartTime_;
}

std::optional<MediaTime> MediaWriter::sessionStartHostTime() const {
  std::lock_guard lock(mutex_);
  return sessionStartHostTime_;
}

std::optional<MediaTime> MediaWriter::lastPTS() const {
  std::lock_guard lock(mutex_);
  return lastPTS_;
}

std::optional<WriterConfiguration> MediaWriter::configuration() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

uint64_t MediaWriter::refusedVideoFrames() const {
  return assetWriter_ ? assetWriter_->videoCounters().refused : 0;
}

uint64_t MediaWriter::refusedAudioBuffers() const {
  if (!assetWriter_) return 0;
  uint64_t refused = 0;
  for (size_t i = 0; i < assetWriter_->audioInputCount(); ++i)
    refused += assetWriter_->audioCounters(static_cast<int>(i)).refused;
  return refused;
}

}  // namespace tk
