#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/ffmpeg/MediaAsset.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"

namespace tk {

class AudioOutput;
class AudioSampleReader;
class VideoFrameReader;

// The threads and clock of one item of a MediaPlayer (see there). The callbacks run on the
// session's threads; the player forwards them to the main thread. Every public function may be
// called from any thread; the destructor stops and joins both threads (from the controlling thread).
class PlaybackSession {
 public:
  struct Callbacks {
    std::function<void(MediaAsset)> ready;
    std::function<void(std::string)> failed;
    std::function<void(uint64_t seek)> seekDone;
    std::function<void()> ended;
    std::function<void()> frame;  // once per batch of frames, until frameTaken()
  };

  // A muted session opens no sound output: it plays the picture on its own clock.
  PlaybackSession(std::filesystem::path file, Callbacks callbacks, bool muted = false);
  ~PlaybackSession();
  PlaybackSession(const PlaybackSession&) = delete;
  PlaybackSession& operator=(const PlaybackSession&) = delete;

  void setRate(double rate);
  void seek(MediaTime time, uint64_t id);
  double currentSeconds() const;
  bool usesAudioClock() const;
  std::shared_ptr<PixelBuffer> currentFrame() const;
  void frameTaken();
  void setOutputSize(int width, int height);
  // Whether the picture's decoder is open now: a paused session closes it after kIdleRelease and
  // opens it again, where the clock stands, for the next seek or play.
  bool decoderOpen() const { return decoderOpen_.load(); }
  static constexpr std::chrono::milliseconds kIdleRelease{2000};
  // Closes the decoder without the wait: now if the session is paused, else when it next pauses.
  void releaseDecoderSoon();

 private:
  enum class Clock { held, steady, audio };

  void videoLoop();
  void audioLoop();
  bool open();
  void carryOutSeek(MediaTime time, uint64_t id, std::unique_lock<std::mutex>& lock);
  void reconcileAudio(std::unique_lock<std::mutex>& lock);
  void playStep(std::unique_lock<std::mutex>& lock);
  void releaseDecoder(std::unique_lock<std::mutex>& lock);
  void reopenDecoder();
  // Video thread: the frame shown at `time`, converted at that size, becomes the current frame.
  void showFrameAt(MediaTime time, int width, int height);
  void publish(std::shared_ptr<PixelBuffer> frame);
  void fillAudio(float* out, int frames, int64_t position);
  double secondsLocked() const;
  void holdAt(double seconds);

  const std::filesystem::path file_;
  const bool muted_;
  Callbacks callbacks_;
  double duration_ = 0;
  std::unique_ptr<VideoFrameReader> video_;
  bool videoReleased_ = false;  // the video thread let video_ go while paused
  int heldFile_ = -1;           // the movie, open for as long as the session, to reopen video_ from
  bool releaseSoon_ = false;    // under mutex_
  std::atomic<bool> decoderOpen_{false};
  std::unique_ptr<AudioSampleReader> audio_;
  std::unique_ptr<AudioOutput> output_;

  // Clock, rate and requests: under mutex_.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stopping_{false};
  double rate_ = 0;
  mutable Clock clock_ = Clock::held;
  mutable double anchor_ = 0;  // media seconds at the anchor (held: the time itself)
  mutable int64_t anchorSteady_ = 0;
  mutable double lastPlayed_ = 0;
  bool audioWanted_ = false;  // a run of the audio output should play
  bool audioRunning_ = false;
  std::optional<std::pair<MediaTime, uint64_t>> pendingSeek_;
  MediaTime durationTime_ = MediaTime::zero();
  bool haveNext_ = false;
  double nextTime_ = 0;
  double frameSeconds_ = 1.0 / 30;
  bool videoEnded_ = false;
  // Video thread: the time of a frame skipped as late, until a frame is shown after it.
  std::optional<double> skippedTime_;
  int outputWidth_ = 0, outputHeight_ = 0;

  // Decoded audio waiting for the output: under audioMutex_.
  std::mutex audioMutex_;
  std::condition_variable audioWake_;
  std::deque<SampleBuffer> audioQueue_;
  int64_t queuedFrames_ = 0;
  bool audioEnded_ = false;
  std::optional<double> audioSeek_;
  int64_t runStartFrame_ = 0;  // media frame of the output's position 0
  int audioRate_ = 48000;

  mutable std::mutex frameMutex_;
  std::shared_ptr<PixelBuffer> frame_;
  bool framePosted_ = false;

  std::thread audioThread_;
  std::thread videoThread_;
};

}  // namespace tk
