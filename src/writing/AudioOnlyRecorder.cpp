#include "writing/AudioOnlyRecorder.h"

#include <QDateTime>
#include <QLocale>
#include <thread>

#include "model/AudioPackageInfo.h"
#include "model/RecordingError.h"
#include "platform/qt/Diagnostics.h"
#include "writing/OutputNaming.h"

namespace tk {

namespace {

constexpr const char* kDomain = "AudioOnlyRecorder";

std::exception_ptr recorderError(int code, const std::string& text) {
  return std::make_exception_ptr(RecordingError::fileWriteError(PlatformError(kDomain, code, text)));
}

std::unique_ptr<AssetWriter> openAudioFile(const std::filesystem::path& path,
                                           const std::function<void()>& encodeGate,
                                           const std::function<void(const FilePlaceChange&)>& placeHandler,
                                           const std::shared_ptr<PackageFolder>& package = nullptr) {
  auto writer = std::make_unique<AssetWriter>(path, ContainerFormat::m4a);
  // Fragments of a second each: a killed process or a full disk keeps what came before.
  writer->setFragmented(true);
  if (encodeGate) writer->setEncodeGate(encodeGate);
  if (package) writer->setFallbackFolder(PackageFolder::chooser(package));
  if (placeHandler || package) {
    writer->setPlaceHandler([placeHandler, package](const FilePlaceChange& change) {
      if (package) package->noteMemberPlace(change);
      if (placeHandler) placeHandler(change);
    });
  }
  const AudioOutputSettings settings = AudioOnlyRecorder::audioOutputSettings("aac");
  AudioInputSettings input;
  input.sampleRate = static_cast<int>(settings.sampleRate);
  input.channels = settings.channelCount;
  input.bitRate = settings.bitRate.value_or(128000);
  try {
    writer->addAudioInput(input);
  } catch (...) {
    writer->discard();
    throw;
  }
  return writer;
}

}  // namespace

AudioOnlyRecorder::AudioOnlyRecorder(RecordingConfiguration configuration)
    : configuration_(std::move(configuration)) {}

AudioOnlyRecorder::~AudioOnlyRecorder() {
  // Dropped without finishing: the writers' own destructors keep what was written.
  if (finisher_.joinable()) finisher_.join();
}

AudioOutputSettings AudioOnlyRecorder::audioOutputSettings(const std::string& encoderName) {
  if (encoderName == "alac") return {"alac", 48000.0, 2, std::nullopt};
  if (encoderName == "flac") return {"flac", 48000.0, 2, std::nullopt};
  if (encoderName == "opus") return {"opus", 48000.0, 2, 96000};
  return {"aac ", 48000.0, 2, 128000};
}

std::string AudioOnlyRecorder::outputName(const std::chrono::system_clock::time_point& now) {
  const QDateTime date = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  const QLocale locale;
  // The locale's short date and its time with seconds (its medium time).
  QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
  if (!timeFormat.contains("ss")) timeFormat.replace("mm", "mm:ss");
  QString text = "Audio Recording " + locale.toString(date.date(), QLocale::ShortFormat) + ", " +
                 locale.toString(date.time(), timeFormat);
  text.replace('/', '-').replace(':', '.');
  return text.toStdString();
}

void AudioOnlyRecorder::prepareRecordingFiles() {
  const std::string name = outputName(std::chrono::system_clock::now());
  const auto& folder = configuration_.outputDirectory;
  recordsSystemAudio_ = configuration_.recordSystemAudio;
  recordsMicrophone_ = configuration_.recordMicrophone;
  if (recordsSystemAudio_ && recordsMicrophone_ && configuration_.separateAudioTracks) {
    const std::filesystem::path package = createUniqueFolder(folder, name, ".tka");
    folder_ = std::make_shared<PackageFolder>(package);
    try {
      AudioPackageInfo{}.write(package);
      systemWriter_ = openAudioFile(package / "sys.m4a", encodeGate_, placeHandler_, folder_);
      microphoneWriter_ = openAudioFile(package / "mic.m4a", encodeGate_, nullptr, folder_);
    } catch (...) {
      systemWriter_.reset();
      std::error_code ignored;
      std::filesystem::remove_all(package, ignored);
      throw;
    }
    packageURL_ = package;
    systemAudioURL_ = package / "sys.m4a";
    microphoneAudioURL_ = package / "mic.m4a";
    return;
  }
  // With no source switched on there is nothing to write: finishing reports it.
  if (!recordsSystemAudio_ && !recordsMicrophone_) return;
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  const std::filesystem::path file = firstFreePath(folder, name, ".m4a");
  systemWriter_ = openAudioFile(file, encodeGate_, placeHandler_);
  if (recordsSystemAudio_ && recordsMicrophone_) {
    AssetWriter* writer = systemWriter_.get();
    mixer_ =
        std::make_unique<AudioMixer>([this, writer](std::shared_ptr<const AudioBlock> block, MediaTime time) {
          if (!writer->appendAudio(0, std::move(block), time)) ++refusedMixedBlocks_;
        });
  }
  systemAudioURL_ = file;
}

std::optional<std::filesystem::path> AudioOnlyRecorder::packageURL() const {
  if (folder_ && packageURL_) return folder_->current();
  return packageURL_;
}

std::optional<std::filesystem::path> AudioOnlyRecorder::systemAudioURL() const {
  // The file's name goes with it where it went.
  if (systemWriter_ && systemAudioURL_) return systemWriter_->path();
  return systemAudioURL_;
}

std::optional<std::filesystem::path> AudioOnlyRecorder::microphoneAudioURL() const {
  if (microphoneWriter_ && microphoneAudioURL_) return microphoneWriter_->path();
  return microphoneAudioURL_;
}

void AudioOnlyRecorder::startWriting() {
  if (systemWriter_ && !systemWriter_->started()) systemWriter_->start();
  if (microphoneWriter_ && !microphoneWriter_->started()) microphoneWriter_->start();
}

bool AudioOnlyRecorder::appendSystemAudio(const SampleBuffer& sample) {
  if (!recordsSystemAudio_) return false;
  return append(0, sample);
}

bool AudioOnlyRecorder::appendMicrophoneAudio(const SampleBuffer& sample) {
  if (!recordsMicrophone_) return false;
  return append(1, sample);
}

bool AudioOnlyRecorder::append(int source, const SampleBuffer& sample) {
  if (finishing_ || !sample.isAudio() || !sample.audioBlock() || !sample.presentationTime().isValid())
    return false;
  AssetWriter* writer = source == 1 && microphoneWriter_ ? microphoneWriter_.get() : systemWriter_.get();
  if (!writer || !writer->started()) return false;
  std::lock_guard lock(mutex_);
  // What was captured during a pause is left out; what came after moves back by the paused time.
  const int64_t stamp = sample.presentationTime().nanoseconds();
  int64_t pausedNs = 0;
  for (const Pause& pause : pauses_) {
    if (stamp < pause.startNs) break;
    if (stamp < pause.endNs) return false;
    pausedNs += pause.endNs - pause.startNs;
  }
  // Every file of the recording starts at the first sample of either source, so a package's two
  // files line up and a source that starts late begins with silence.
  const MediaTime recorded = sample.presentationTime() - MediaTime::fromNanoseconds(pausedNs);
  if (!origin_) {
    origin_ = recorded;
    sessionStarted_ = true;
  }
  const MediaTime time = recorded - *origin_;
  if (mixer_) {
    // The mixer hands on blocks of its own; this sample counts as refused when one of those was.
    const uint64_t refusedBefore = refusedMixedBlocks_;
    mixer_->add(source, *sample.audioBlock(), time);
    return refusedMixedBlocks_ == refusedBefore;
  }
  return writer->appendAudio(0, sample.audioBlock(), time);
}

void AudioOnlyRecorder::pauseAt(MediaTime time) {
  std::lock_guard lock(mutex_);
  if (!pauses_.empty() && pauses_.back().endNs == INT64_MAX) return;
  pauses_.push_back({time.nanoseconds(), INT64_MAX});
}

void AudioOnlyRecorder::resumeAt(MediaTime time) {
  std::lock_guard lock(mutex_);
  if (pauses_.empty() || pauses_.back().endNs != INT64_MAX) return;
  pauses_.back().endNs = std::max(time.nanoseconds(), pauses_.back().startNs);
}

bool AudioOnlyRecorder::isReadyForAudio() const {
  for (auto* writer : {systemWriter_.get(), microphoneWriter_.get()}) {
    if (writer && !writer->isReadyForAudio(0)) return false;
  }
  return true;
}

uint64_t AudioOnlyRecorder::refusedBlocks() const {
  uint64_t refused = refusedMixedBlocks_;
  for (auto* writer : {systemWriter_.get(), microphoneWriter_.get()}) {
    if (writer && !mixer_) refused += writer->audioCounters(0).refused;
  }
  return refused;
}

void AudioOnlyRecorder::finishRecording(Completion completion) {
  if (finishing_.exchange(true)) {
    return completion({}, recorderError(-4, "The recording is already being finished"));
  }
  if (!systemWriter_ && !microphoneWriter_) {
    if (packageURL_) return completion(*packageURL_, nullptr);
    if (systemAudioURL_) return completion(*systemAudioURL_, nullptr);
    return completion({}, recorderError(-3, "No audio source was recorded"));
  }
  finisher_ = std::thread(
      [this, completion = std::move(completion)]() mutable { finishBlocking(std::move(completion)); });
}

void AudioOnlyRecorder::finishRecordingBlocking() {
  if (finishing_.exchange(true)) return;
  if (!systemWriter_ && !microphoneWriter_) return;
  finishBlocking([](std::filesystem::path, std::exception_ptr) {});
}

void AudioOnlyRecorder::finishBlocking(Completion completion) {
  {
    std::lock_guard lock(mutex_);
    if (mixer_) mixer_->flush();
  }
  std::exception_ptr failure;
  bool wroteNothing = !sessionStarted_;
  for (auto* writer : {systemWriter_.get(), microphoneWriter_.get()}) {
    if (!writer) continue;
    try {
      if (writer->started())
        writer->finish();
      else
        writer->discard();
    } catch (const Error&) {
      if (!failure)
        failure = std::make_exception_ptr(RecordingError::fileWriteError(std::current_exception()));
    }
    // A file that stopped taking audio was closed with what it had; the recording still failed.
    if (!failure && writer->failed()) failure = recorderError(-5, writer->failure());
  }
  if (const uint64_t refused = refusedBlocks(); refused > 0)
    Diagnostics::line("⚠️ " + std::to_string(refused) + " audio blocks could not be written in time");
  const auto package = packageURL();
  const auto file = systemAudioURL();
  if (failure) return completion({}, failure);
  if (wroteNothing) {
    // An empty file is not a recording: say so instead of reporting success.
    std::error_code ignored;
    if (package && std::filesystem::is_directory(std::filesystem::symlink_status(*package, ignored)))
      std::filesystem::remove_all(*package, ignored);
    else if (file)
      std::filesystem::remove(*file, ignored);
    return completion({}, recorderError(-2, "No audio was recorded"));
  }
  if (package) {
    // A package whose folder was made again, here or elsewhere, gets its record there again.
    std::error_code ignored;
    if (!std::filesystem::exists(*package / AudioPackageInfo::fileName, ignored)) {
      try {
        AudioPackageInfo{}.write(*package);
      } catch (const Error&) {
        return completion({},
                          std::make_exception_ptr(RecordingError::fileWriteError(std::current_exception())));
      }
    }
    return completion(*package, nullptr);
  }
  if (file) return completion(*file, nullptr);
  completion({}, recorderError(-1, "The recording has no output file"));
}

}  // namespace tk
