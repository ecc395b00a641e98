#pragma once

#include <QCoroTask>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MonotonicClock.h"
#include "platform/media/SampleBuffer.h"
#include "writing/MediaWriterError.h"
#include "writing/PackageFolder.h"
#include "writing/WriterConfiguration.h"

namespace tk {

// Writes one recording into one movie file: a video track fed with capture samples or pixel
// buffers, and one or two audio tracks (system audio and microphone mixed into one input, or on
// two). It removes paused time from every sample and moves retimed microphone buffers onto the
// session clock. The file is written in fragments of about a second, each whole on the disk as it
// goes (AssetWriter::setFragmented): a killed process or a full disk keeps all but the last one.
//
// Calling order: configure, startWriting, startSession at the first video frame's time, appends,
// then finishWriting or cancelWriting. One writer writes one file.
//
// Threads: configure, startWriting and finishWriting are called on the main thread (finishWriting
// resumes there; the blocking work runs on a worker). startSession, the appends, the time offset
// and cancelWriting may be called from any thread, several at once (screen, system audio,
// microphone, frame pump, camera): the writer serialises itself with one lock that is never held
// across encoding. Appends never wait for an encoder: each input has its own encode thread behind a
// bounded queue, and a full queue refuses the sample (false), counted in refusedVideoFrames.
class MediaWriter {
 public:
  using WriterConfiguration = tk::WriterConfiguration;
  using VideoSettings = tk::VideoSettings;
  using AudioSettings = tk::AudioSettings;
  using ColorSpaceSettings = tk::ColorSpaceSettings;
  using HostClock = std::function<MediaTime()>;

  // A recording is sized to stay small while it runs (an export, which waits for the encoder, has
  // its own): x264 gets three frame threads at 1080p where an export's budget gives five (1080p60
  // "superfast" on three threads still runs well ahead of the capture) and no frames queued between
  // its lookahead and those threads. The writer holds 400 ms of frames at 60 fps (three captured,
  // twenty-one converted): x264's first frames each take it several frame slots (it allocates and
  // first touches its own frames then), and a held back start would cost the take its first
  // second's frames. Converted frames beyond what the encoder's pace needs stay untouched until a
  // burst comes. A 1080p60 H.264 recording then peaks near 260 MB resident, up to 50 MB more after
  // a burst that filled the hold.
  static constexpr double kRecordingEncoderMemory = 280.0 * 1024 * 1024;
  static constexpr int kRecordingQueuedFrames = 24;
  // x264's memory for a recording of width × height when `cores` cores may run it:
  // kRecordingEncoderMemory up to 1080p; above, enough for frame threads on three quarters of the
  // cores (at least 1080p's three), up to kLargeRecordingEncoderMemory. Held to 1080p's budget, 4K
  // would be encoded in slices without B-frames, which at 60 fps falls behind the capture on an
  // 8-core machine; x264's own choice (one and a half threads a core) takes 4K to 1.6 GB resident
  // and, in the benchmark, turned more frames away than six threads did.
  static constexpr double kLargeRecordingEncoderMemory = 2048.0 * 1024 * 1024;
  static double recordingEncoderMemory(int width, int height, int cores);

  enum class Status { unknown, writing, completed, failed, cancelled };
  static std::string statusName(Status status);

  // `hostClock` gives "now" on the clock the capture sources stamp with (tests replace it).
  explicit MediaWriter(HostClock hostClock = &MonotonicClock::now);
  // A writer still writing is finished (what was recorded is kept); one whose session never
  // started removes its file.
  ~MediaWriter();
  MediaWriter(const MediaWriter&) = delete;
  MediaWriter& operator=(const MediaWriter&) = delete;

  // Throws MediaWriterError, or AlphaRecordingError for an alpha size the codec refuses. An
  // existing file at the output URL fails with writerInitializationFailed and is left untouched.
  void configure(const WriterConfiguration& configuration);
  void startWriting();
  // The first call starts the session at `sourceTime`; later calls change nothing. Throws
  // writerNotConfigured, or invalidState before startWriting.
  void startSession(MediaTime sourceTime);

  bool appendVideoBuffer(const SampleBuffer& sample);
  bool appendPixelBuffer(std::shared_ptr<PixelBuffer> pixels, MediaTime presentationTime);
  // Serves the system audio too (isMicrophone false: the first audio input). With `retime`, the
  // buffer's host-clock time is moved onto the session clock.
  bool appendMicrophoneAudio(const SampleBuffer& sample, bool isMicrophone, bool retime);
  // Whether an append made now would be queued rather than refused for a full queue (the session
  // is running and the input has room). For producers that may wait, such as a file re-encoded
  // faster than real time; capture threads just append.
  bool isReadyForVideo() const;
  bool isReadyForAudio(bool isMicrophone) const;

  // Resolves to the finished file. Throws writerNotConfigured, notWriting (a writer whose session
  // never started also removes its empty file then), writingFailed, outputURLMissing.
  QCoro::Task<std::filesystem::path> finishWriting();
  // The same, blocking; for worker threads (never the main thread, never an appending thread).
  std::filesystem::path finishWritingBlocking();
  // Stops and removes the unfinished file. A finished file is never touched.
  void cancelWriting();

  // Total paused time removed from every sample; resume adds each pause's length.
  MediaTime timeOffset() const;
  void setTimeOffset(MediaTime offset);
  void addTimeOffset(MediaTime pause);

  bool isWriting() const { return isWriting_; }
  Status status() const;
  std::optional<std::filesystem::path> outputURL() const;
  // Where the file lies now (AssetWriter::place): outputURL, or a working name that no folder
  // would change.
  std::optional<std::filesystem::path> filePlace() const;
  std::optional<MediaTime> sessionStartTime() const;
  std::optional<MediaTime> sessionStartHostTime() const;
  // End (time plus duration) of the last appended video sample, pause offset removed.
  std::optional<MediaTime> lastPTS() const;
  std::optional<WriterConfiguration> configuration() const;

  // Called once when the file fails to take more (a full disk, an encoder error), on the thread that
  // met the failure: hand it on, do not call back into the writer there. Any thread may set it.
  void setFailureHandler(std::function<void(const std::string&)> handler);
  // Told, on the file's sync thread or the one finishing it, what became of the movie's place:
  // moved with its folder, put back after its folder was removed, put in another folder, or lost
  // (AssetWriter::setPlaceHandler). Any thread may set it.
  void setPlaceHandler(std::function<void(const FilePlaceChange&)> handler);
  // Holds the file's place checks while it returns false (AssetWriter::setPlaceWatchGate); the one at
  // finish is always made. For tests. Any thread may set it.
  void setPlaceWatchGate(std::function<bool()> gate);
  // Why the file stopped taking samples before it was finished; it was then closed with what it had.
  std::optional<std::string> writeFailure() const;

  // Passed by each encode thread before it hands its encoder a frame (AssetWriter::setEncodeGate).
  // For tests that need a slow encoder; set before configure.
  void setEncodeGate(std::function<void()> gate) { encodeGate_ = std::move(gate); }
  // Makes the file a member of `package`: it goes where the package goes when its folder cannot be
  // made again (PackageFolder), and tells the package where it went when it moved. Set before
  // configure.
  void setPackageFolder(std::shared_ptr<PackageFolder> package) { package_ = std::move(package); }

  uint64_t refusedVideoFrames() const;
  uint64_t refusedAudioBuffers() const;
  uint64_t droppedSamples() const { return droppedSamples_; }

  // The average bit rate of the standard (non-alpha) path.
  static int64_t standardBitRate(VideoEncoder codec, VideoQuality quality, int width, int height,
                                 int frameRate);
  // The x264 / x265 speed preset the writer encodes with.
  static const char* encoderPreset(VideoEncoder codec);
  // The quality factor of the alpha path: 0.3, 0.7 or 1.0.
  static double alphaQualityFactor(VideoQuality quality);

 private:
  void setupVideoInput(AssetWriter& writer, const VideoSettings& settings);
  void setupAudioInputs(AssetWriter& writer, const AudioSettings& settings, bool separateAudioTracks);
  bool appendVideo(std::shared_ptr<PixelBuffer> pixels, MediaTime presentationTime, MediaTime duration,
                   bool logRejections);
  bool rejectVideo(const char* line);
  void removeStub();

  HostClock hostClock_;
  mutable std::mutex mutex_;
  std::unique_ptr<AssetWriter> assetWriter_;
  bool hasVideoInput_ = false;
  int systemAudioInput_ = -1;
  int microphoneAudioInput_ = -1;
  std::optional<std::filesystem::path> outputURL_;
  std::atomic<bool> isWriting_{false};
  bool sessionEverStarted_ = false;
  Status status_ = Status::unknown;
  std::optional<MediaTime> sessionStartTime_;
  std::optional<MediaTime> sessionStartHostTime_;
  MediaTime timeOffset_ = MediaTime::zero();
  std::optional<MediaTime> lastPTS_;
  MediaTime lastVideoFileTime_;  // file-clock time of the last accepted frame
  MediaTime frameDuration_;
  std::optional<WriterConfiguration> configuration_;
  int videoAppendFailureCount_ = 0;
  std::optional<std::string> writeFailure_;
  std::function<void(const std::string&)> failureHandler_;
  std::function<void(const FilePlaceChange&)> placeHandler_;
  std::function<bool()> placeWatchGate_;
  std::function<void()> encodeGate_;
  std::shared_ptr<PackageFolder> package_;
  mutable std::mutex handlerMutex_;
  int micAudioDebugCount_ = 0;
  std::atomic<uint64_t> droppedSamples_{0};
};

}  // namespace tk
