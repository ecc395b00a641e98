#include "editor/AudioPlayerManager.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QCoroTask>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>
#include <cmath>

#include "editor/AudioMixEngine.h"
#include "platform/ffmpeg/AudioFileWriter.h"
#include "platform/media/Error.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

constexpr int kSystem = 0;
constexpr int kMicrophone = 1;
constexpr int kTickMilliseconds = 100;
constexpr int kEndStopMilliseconds = 500;

std::string describe(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Error*>(&error)) return own->localizedDescription();
  return error.what();
}

AudioFileSettings fileSettingsFor(const AudioOutputSettings& settings) {
  AudioFileSettings file;
  if (settings.formatID == "alac")
    file.codec = AudioCodecKind::alac;
  else if (settings.formatID == "flac")
    file.codec = AudioCodecKind::flac;
  else if (settings.formatID == "opus")
    file.codec = AudioCodecKind::opus;
  else
    file.codec = AudioCodecKind::aac;
  file.sampleRate = static_cast<int>(settings.sampleRate);
  file.channels = settings.channelCount;
  file.bitRate = settings.bitRate;
  return file;
}

// The export proper: touches only the engine's sources and the new file, so it may run on a worker
// while the manager is gone. Exactly `frames` frames are written, the system track's length.
void writeMix(const AudioMixEngine& engine, const std::filesystem::path& url,
              const AudioOutputSettings& settings, int64_t frames) {
  AudioFileWriter writer(url, fileSettingsFor(settings));
  engine.render(frames, AudioPlayerManager::kRenderFrames,
                [&](const float* interleaved, int count) { writer.write(interleaved, count); });
  writer.finish();
}

PlatformError notLoaded() {
  return PlatformError("AudioPlayerManager", -1, "Audio files not loaded");
}

}  // namespace

AudioPlayerManager::AudioPlayerManager(QObject* parent)
    : QObject(parent), engine_(std::make_shared<AudioMixEngine>()) {
  timer_.setInterval(kTickMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &AudioPlayerManager::tick);
  endStop_.setSingleShot(true);
  endStop_.setInterval(kEndStopMilliseconds);
  connect(&endStop_, &QTimer::timeout, this, &AudioPlayerManager::stop);
  setupAudioEngine();
}

AudioPlayerManager::~AudioPlayerManager() {
  engine_->stop();
}

void AudioPlayerManager::setSysVol(float volume) {
  sysVol_ = volume;
  engine_->setVolume(kSystem, volume);
  emit sysVolChanged(volume);
}

void AudioPlayerManager::setMicVol(float volume) {
  micVol_ = volume;
  engine_->setVolume(kMicrophone, volume);
  emit micVolChanged(volume);
}

void AudioPlayerManager::setupAudioEngine() {
  try {
    engine_->openOutput();
  } catch (const std::exception& error) {
    Diagnostics::line("Audio engine start error: " + describe(error));
  }
}

void AudioPlayerManager::loadAudioPackage(const std::string& format, const std::filesystem::path& package,
                                          const std::string& encoder, bool exportMP3) {
  fileFormat_ = format;
  fileEncoder_ = encoder;
  exportMP3_ = exportMP3;
  packageURL_ = package;
  stop();
  try {
    hasSystemFile_ = false;
    engine_->openSource(kSystem, package / ("sys." + format));
    hasSystemFile_ = true;
    hasMicrophoneFile_ = false;
    engine_->openSource(kMicrophone, package / ("mic." + format));
    hasMicrophoneFile_ = true;
  } catch (const std::exception& error) {
    Diagnostics::line("Error loading audio files: " + describe(error));
    return;
  }
  setAudioLength(static_cast<double>(systemFrames()) / AudioMixEngine::kSampleRate);
  engine_->setVolume(kSystem, sysVol_);
  engine_->setVolume(kMicrophone, micVol_);
}

int64_t AudioPlayerManager::systemFrames() const {
  return hasSystemFile_ ? engine_->sourceFrames(kSystem) : 0;
}

void AudioPlayerManager::play() {
  if (!bothFilesOpen() || exporting_ || isPlaying_) return;
  const int64_t total = systemFrames();
  // A run that ended plays again from the start.
  const int64_t start = nextStartFrame_ < total ? nextStartFrame_ : 0;
  lastStartFramePosition_ = start;
  engine_->schedule(start, total - start);
  endStop_.stop();
  try {
    engine_->play();
  } catch (const std::exception& error) {
    Diagnostics::line("Audio engine start error: " + describe(error));
  }
  stopTimer();
  startProgressTimer();
  setIsPlaying(true);
}

void AudioPlayerManager::pause() {
  // The listener's place, not what was handed to the server ahead of it: resuming there repeats
  // nothing and skips nothing.
  if (const auto heard = engine_->heardFrames())
    nextStartFrame_ = std::min(lastStartFramePosition_ + *heard, systemFrames());
  engine_->stop();
  stopTimer();
  setIsPlaying(false);
}

void AudioPlayerManager::stop() {
  engine_->stop();
  stopTimer();
  endStop_.stop();
  lastStartFramePosition_ = 0;
  nextStartFrame_ = 0;
  setProgress(0);
  setIsPlaying(false);
}

void AudioPlayerManager::seek(double seconds) {
  if (!bothFilesOpen() || exporting_) return;
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  engine_->stop();
  stopTimer();
  endStop_.stop();
  seekTime_ = seconds;
  isSeeking_ = true;
  const int64_t total = systemFrames();
  const double startValue = std::floor(seconds * AudioMixEngine::kSampleRate);
  const int64_t start = startValue >= static_cast<double>(total) ? total : static_cast<int64_t>(startValue);
  const int64_t remaining = total - start;
  if (remaining <= 0) {
    stop();
    return;
  }
  lastStartFramePosition_ = start;
  nextStartFrame_ = start;
  engine_->schedule(start, remaining);
  setProgress(audioLength_ > 0 ? seconds / audioLength_ : 0);
  if (isPlaying_ || shouldPlay) {
    try {
      engine_->play();
    } catch (const std::exception& error) {
      Diagnostics::line("Audio engine start error: " + describe(error));
    }
    startProgressTimer();
    setIsPlaying(true);
  } else {
    setIsPlaying(false);
  }
}

void AudioPlayerManager::exportAudio(const std::filesystem::path& url, ExportCompletion completion) {
  stop();
  setExporting(true);
  // Everything the worker needs, in one shared record: the worker never touches the manager.
  struct Job {
    std::shared_ptr<AudioMixEngine> engine;
    std::filesystem::path url;
    AudioOutputSettings settings;
    int64_t frames = 0;
    bool loaded = false;
    ExportCompletion completion;
    std::exception_ptr error;
  };
  auto job = std::make_shared<Job>();
  job->engine = engine_;
  job->url = url;
  job->settings = exportAudioSettings();
  job->frames = systemFrames();
  job->loaded = bothFilesOpen();
  job->completion = std::move(completion);
  [](QPointer<AudioPlayerManager> self, std::shared_ptr<Job> job) -> QCoro::Task<void> {
    // Held in a variable: a temporary awaited in place is destroyed twice by this compiler.
    QFuture<void> work = QtConcurrent::run([job] {
      try {
        if (!job->loaded) throw notLoaded();
        writeMix(*job->engine, job->url, job->settings, job->frames);
      } catch (...) {
        job->error = std::current_exception();
      }
    });
    co_await work;
    // Even a refusal comes back later, on the main thread, never inside the call: work that was
    // done before it was awaited resumes here at once, so the end is posted.
    QTimer::singleShot(0, qApp, [self, job] {
      if (self) {
        self->setupAudioEngine();
        self->setExporting(false);
      }
      if (job->completion) job->completion(job->error ? std::filesystem::path() : job->url, job->error);
    });
  }(this, std::move(job));
}

void AudioPlayerManager::exportMixedAudio(const std::filesystem::path& url) {
  if (!bothFilesOpen()) throw notLoaded();
  engine_->stop();
  struct RestoreGraph {
    AudioPlayerManager* manager;
    ~RestoreGraph() { manager->setupAudioEngine(); }
  } restore{this};
  writeMix(*engine_, url, exportAudioSettings(), systemFrames());
}

AudioOutputSettings AudioPlayerManager::exportAudioSettings() const {
  return AudioOnlyRecorder::audioOutputSettings(fileEncoder_);
}

void AudioPlayerManager::reset() {
  stop();
  engine_->closeSources();
  hasSystemFile_ = false;
  hasMicrophoneFile_ = false;
}

void AudioPlayerManager::startProgressTimer() {
  timer_.start();
}

void AudioPlayerManager::stopTimer() {
  timer_.stop();
}

void AudioPlayerManager::tick() {
  const auto heard = engine_->heardFrames();
  if (!heard) return;
  const double time = static_cast<double>(lastStartFramePosition_ + *heard) / AudioMixEngine::kSampleRate;
  setProgress(audioLength_ > 0 ? time / audioLength_ : 0);
  // One stop at a time, however many ticks pass the end before it comes.
  if (time > audioLength_ && !endStop_.isActive()) endStop_.start();
}

void AudioPlayerManager::setProgress(double value) {
  if (progress_ == value) return;
  progress_ = value;
  emit progressChanged(value);
}

void AudioPlayerManager::setIsPlaying(bool value) {
  if (isPlaying_ == value) return;
  isPlaying_ = value;
  emit isPlayingChanged(value);
}

void AudioPlayerManager::setExporting(bool value) {
  if (exporting_ == value) return;
  exporting_ = value;
  emit exportingChanged(value);
}

void AudioPlayerManager::setAudioLength(double value) {
  if (audioLength_ == value) return;
  audioLength_ = value;
  emit audioLengthChanged(value);
}

}  // namespace tk
