#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/RecordingConfiguration.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/SampleBuffer.h"
#include "writing/AudioMixer.h"
#include "writing/PackageFolder.h"

namespace tk {

// Output settings of an audio file by encoder name.
struct AudioOutputSettings {
  std::string formatID;  // "aac ", "alac", "flac", "opus"
  double sampleRate = 48000.0;
  int channelCount = 2;
  std::optional<int> bitRate;
};

// Writes an audio-only recording: one ".m4a" file with the sources that are switched on (system
// audio, the microphone, or both mixed), or, when system audio, microphone and separate tracks are
// all chosen, an audio package "<name>.tka" holding "sys.m4a", "mic.m4a" and "info.json".
//
// Where its folder cannot be made again while it records (a file took its name), the file goes on
// where a movie would (AssetWriter::setPlaceHandler), and a package goes on whole in a package
// folder made in its place (PackageFolder); the locations below follow them.
//
// A pause leaves out of every file what the sources captured between its start and its end, both
// given on the monotonic clock that stamps the samples; later samples move back by the paused time.
//
// Threads: the constructor, prepareRecordingFiles, startWriting, pauseAt, resumeAt and
// finishRecording run on the main thread. appendSystemAudio and appendMicrophoneAudio are called on the
// sources' capture threads, both at once; the recorder serialises them. The coordinator stops the sources
// before it calls finishRecording.
class AudioOnlyRecorder {
 public:
  // Receives the result: the package folder or the single file; or the error (then the path is
  // empty). Called exactly once, on the calling thread when nothing was written, otherwise on the
  // recorder's finishing thread once the files are closed; it must not destroy the recorder there
  // (hand the result to the main thread).
  using Completion = std::function<void(std::filesystem::path result, std::exception_ptr error)>;

  explicit AudioOnlyRecorder(RecordingConfiguration configuration);
  ~AudioOnlyRecorder();
  AudioOnlyRecorder(const AudioOnlyRecorder&) = delete;
  AudioOnlyRecorder& operator=(const AudioOnlyRecorder&) = delete;

  // Creates the files. Throws the file system's, the JSON writer's or the encoder's error
  // (PlatformError and its kinds); nothing is left half-made.
  void prepareRecordingFiles();
  // Starts the encoders; samples are taken from now on.
  void startWriting();
  bool appendSystemAudio(const SampleBuffer& sample);
  bool appendMicrophoneAudio(const SampleBuffer& sample);
  // Whether every file has room for a block now; for producers that may wait (capture threads just
  // append). A refused block is counted and its append returns false.
  bool isReadyForAudio() const;
  // Called once; a second call completes at once with an error and changes nothing. A file that
  // stopped taking audio fails the recording; the files keep what they hold.
  void finishRecording(Completion completion);
  // Samples stamped from `time` on are left out until resumeAt; resumeAt(time) ends the pause.
  void pauseAt(MediaTime time);
  void resumeAt(MediaTime time);

  // The same, blocking, without a result; for a process about to end. Main thread.
  void finishRecordingBlocking();
  // Audio blocks the encoders refused (a full queue), mixed blocks included.
  uint64_t refusedBlocks() const;
  // Given to every file's encoders (AssetWriter::setEncodeGate); set before prepareRecordingFiles.
  void setEncodeGate(std::function<void()> gate) { encodeGate_ = std::move(gate); }
  // Told what became of the recording's place (AssetWriter::setPlaceHandler): the single file's,
  // or the package's system audio file's, which its microphone file follows. Set before
  // prepareRecordingFiles.
  void setPlaceHandler(std::function<void(const FilePlaceChange&)> handler) {
    placeHandler_ = std::move(handler);
  }

  static AudioOutputSettings audioOutputSettings(const std::string& encoderName);
  // "Audio Recording <short date>, <time>", with "/" as "-" and ":" as ".".
  static std::string outputName(const std::chrono::system_clock::time_point& now);

  // Where each is now. Main thread, or the finishing thread.
  std::optional<std::filesystem::path> packageURL() const;
  std::optional<std::filesystem::path> systemAudioURL() const;
  std::optional<std::filesystem::path> microphoneAudioURL() const;
  bool sessionStarted() const { return sessionStarted_; }
  std::optional<std::chrono::system_clock::time_point> startTime;

 private:
  bool append(int source, const SampleBuffer& sample);
  void finishBlocking(Completion completion);

  RecordingConfiguration configuration_;
  std::optional<std::filesystem::path> packageURL_;
  std::optional<std::filesystem::path> systemAudioURL_;
  std::optional<std::filesystem::path> microphoneAudioURL_;
  // Package: one writer per source. Single file: one writer, fed directly or through the mixer.
  std::unique_ptr<AssetWriter> systemWriter_;
  std::unique_ptr<AssetWriter> microphoneWriter_;
  std::unique_ptr<AudioMixer> mixer_;
  bool recordsSystemAudio_ = false;
  bool recordsMicrophone_ = false;
  std::mutex mutex_;
  std::optional<MediaTime> origin_;  // the first sample's time: 0 in every file of the recording
  struct Pause {
    int64_t startNs;
    int64_t endNs;  // INT64_MAX while it lasts
  };
  std::vector<Pause> pauses_;  // in order; guarded by mutex_
  std::atomic<bool> sessionStarted_{false};
  std::atomic<bool> finishing_{false};
  std::atomic<uint64_t> refusedMixedBlocks_{0};
  std::function<void()> encodeGate_;
  std::function<void(const FilePlaceChange&)> placeHandler_;
  std::shared_ptr<PackageFolder> folder_;  // a package's, shared with its files' writers
  std::thread finisher_;
};

}  // namespace tk
