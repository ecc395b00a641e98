#include "platform/player/PlaybackSession.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/ffmpeg/AudioSampleReader.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/pulse/AudioOutput.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

constexpr int64_t kAudioQueueFrames = 48000 / 2;  // half a second of decoded sound ahead
constexpr auto kAudioFillWait = std::chrono::milliseconds(300);

double steadySeconds(int64_t nanoseconds) {
  return static_cast<double>(nanoseconds) / 1e9;
}

}  // namespace

PlaybackSession::PlaybackSession(std::filesystem::path file, Callbacks callbacks, bool muted)
    : file_(std::move(file)), muted_(muted), callbacks_(std::move(callbacks)) {
  videoThread_ = std::thread([this] {
    pthread_setname_np(pthread_self(), "tk-play-video");
    videoLoop();
  });
}

PlaybackSession::~PlaybackSession() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  { std::lock_guard lock(audioMutex_); }
  audioWake_.notify_all();
  if (videoThread_.joinable()) videoThread_.join();
  // The video thread started the audio thread; it is joined after the video thread is gone.
  audioWake_.notify_all();
  if (audioThread_.joinable()) audioThread_.join();
  if (heldFile_ >= 0) ::close(heldFile_);
  output_.reset();
}

// ---- clock ----

double PlaybackSession::secondsLocked() const {
  switch (clock_) {
    case Clock::held:
      return anchor_;
    case Clock::steady:
      return anchor_ + steadySeconds(MonotonicClock::nowNanoseconds() - anchorSteady_) * rate_;
    case Clock::audio:
      if (output_ && !output_->failed()) {
        lastPlayed_ = output_->playedSeconds();
        return anchor_ + lastPlayed_;
      }
      // The sound server went away: go on from where the sound was, on the monotonic clock.
      anchor_ += lastPlayed_;
      clock_ = Clock::steady;
      anchorSteady_ = MonotonicClock::nowNanoseconds();
      return anchor_;
  }
  return anchor_;
}

void PlaybackSession::holdAt(double seconds) {
  clock_ = Clock::held;
  anchor_ = seconds;
}

double PlaybackSession::currentSeconds() const {
  std::lock_guard lock(mutex_);
  return std::clamp(secondsLocked(), 0.0, std::max(duration_, 0.0));
}

bool PlaybackSession::usesAudioClock() const {
  std::lock_guard lock(mutex_);
  return clock_ == Clock::audio;
}

void PlaybackSession::setRate(double rate) {
  {
    std::lock_guard lock(mutex_);
    rate = std::max(0.0, rate);
    if (rate == rate_) return;
    const double now = secondsLocked();
    rate_ = rate;
    if (rate > 0) releaseSoon_ = false;
    const bool withSound = output_ && !output_->failed() && rate == 1.0;
    audioWanted_ = withSound;
    if (rate == 0 || withSound) {
      // Sound-clocked playback starts when the output's run starts (on the video thread).
      holdAt(now);
    } else {
      clock_ = Clock::steady;
      anchor_ = now;
      anchorSteady_ = MonotonicClock::nowNanoseconds();
    }
  }
  wake_.notify_all();
}

void PlaybackSession::seek(MediaTime time, uint64_t id) {
  {
    std::lock_guard lock(mutex_);
    pendingSeek_ = std::make_pair(time, id);
  }
  wake_.notify_all();
}

// ---- frames ----

std::shared_ptr<PixelBuffer> PlaybackSession::currentFrame() const {
  std::lock_guard lock(frameMutex_);
  return frame_;
}

void PlaybackSession::frameTaken() {
  std::lock_guard lock(frameMutex_);
  framePosted_ = false;
}

void PlaybackSession::setOutputSize(int width, int height) {
  std::lock_guard lock(mutex_);
  outputWidth_ = std::max(0, width);
  outputHeight_ = std::max(0, height);
}

void PlaybackSession::showFrameAt(MediaTime time, int width, int height) {
  std::shared_ptr<PixelBuffer> frame;
  if (videoReleased_) reopenDecoder();
  if (video_) {
    try {
      video_->setOutputSize(width, height);
      frame = video_->frameAt(time).pixelBuffer();
    } catch (const Error& error) {
      Diagnostics::line("⚠️ Seeking failed: " + error.localizedDescription());
    }
  }
  if (frame) publish(std::move(frame));
}

void PlaybackSession::publish(std::shared_ptr<PixelBuffer> frame) {
  skippedTime_.reset();
  bool post = false;
  {
    std::lock_guard lock(frameMutex_);
    frame_ = std::move(frame);
    post = !framePosted_;
    framePosted_ = true;
  }
  if (post && callbacks_.frame) callbacks_.frame();
}

// ---- video thread ----

bool PlaybackSession::open() {
  try {
    MediaAsset asset = MediaAsset::load(file_);
    if (!asset.firstTrack(MediaKind::video) && !asset.firstTrack(MediaKind::audio))
      throw PlatformError("MediaPlayer", -1, "The file " + file_.string() + " holds neither video nor audio");
    if (asset.firstTrack(MediaKind::video)) {
      video_ = std::make_unique<VideoFrameReader>(file_);
      decoderOpen_ = true;
      // The decoder may be let go while paused; the file stays reachable through this descriptor
      // even if it is renamed, moved or removed meanwhile, as it would through an open decoder.
      heldFile_ = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
      frameSeconds_ = std::max(1e-3, video_->nominalFrameDuration().seconds());
    }
    if (asset.firstTrack(MediaKind::audio) && !muted_) {
      try {
        auto output = AudioOutput::open(
            AudioFormat{audioRate_, 2, true},
            [this](float* out, int frames, int64_t position) { fillAudio(out, frames, position); });
        audio_ = std::make_unique<AudioSampleReader>(file_, output->format());
        std::lock_guard lock(mutex_);
        output_ = std::move(output);
        // A play asked for before the sound was ready switches to the sound's clock.
        if (rate_ == 1.0) {
          holdAt(secondsLocked());
          audioWanted_ = true;
        }
      } catch (const Error& error) {
        Diagnostics::line("⚠️ Playing without sound: " + error.localizedDescription());
      }
    }
    {
      std::lock_guard lock(mutex_);
      duration_ = std::max(0.0, asset.duration().seconds());
      durationTime_ = asset.duration();
    }
    if (video_) publish(video_->frameAt(MediaTime::zero()).pixelBuffer());
    if (audio_)
      audioThread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "tk-play-audio");
        audioLoop();
      });
    if (callbacks_.ready) callbacks_.ready(std::move(asset));
    return true;
  } catch (const Error& error) {
    if (callbacks_.failed) callbacks_.failed(error.localizedDescription());
  } catch (const std::exception& error) {
    if (callbacks_.failed) callbacks_.failed(error.what());
  }
  return false;
}

void PlaybackSession::videoLoop() {
  if (!open()) return;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (pendingSeek_) {
      auto [time, id] = *pendingSeek_;
      pendingSeek_.reset();
      carryOutSeek(time, id, lock);
      continue;
    }
    reconcileAudio(lock);
    if (stopping_ || pendingSeek_) continue;
    if (rate_ == 0) {
      // Paused for a while: the decoder's frames (hundreds of megabytes for a large picture) are
      // given back while nothing plays, such as while the editor exports.
      if (video_ && (releaseSoon_ || (wake_.wait_for(lock, kIdleRelease) == std::cv_status::timeout &&
                                      rate_ == 0 && !pendingSeek_ && !stopping_)))
        releaseDecoder(lock);
      else if (!video_)
        wake_.wait(lock);
      continue;
    }
    playStep(lock);
  }
  lock.unlock();
  if (output_) output_->stop();
}

void PlaybackSession::carryOutSeek(MediaTime time, uint64_t id, std::unique_lock<std::mutex>& lock) {
  // Kept as a media time down to the reader, so a frame's own time finds exactly that frame.
  const MediaTime exact = !time.isValid() || time < MediaTime::zero() ? MediaTime::zero()
                          : time > durationTime_                      ? durationTime_
                                                                      : time;
  const double target = exact.seconds();
  const bool wasRunning = audioRunning_;
  audioRunning_ = false;
  haveNext_ = false;
  videoEnded_ = false;
  const int width = outputWidth_, height = outputHeight_;
  lock.unlock();
  if (wasRunning) output_->stop();
  if (audio_) {
    {
      std::lock_guard audioLock(audioMutex_);
      audioSeek_ = target;
      audioQueue_.clear();
      queuedFrames_ = 0;
      audioEnded_ = false;
    }
    audioWake_.notify_all();
  }
  showFrameAt(exact, width, height);
  lock.lock();
  if (clock_ == Clock::steady) {
    anchor_ = target;
    anchorSteady_ = MonotonicClock::nowNanoseconds();
  } else {
    holdAt(target);
  }
  lock.unlock();
  if (callbacks_.seekDone) callbacks_.seekDone(id);
  lock.lock();
}

void PlaybackSession::reconcileAudio(std::unique_lock<std::mutex>& lock) {
  if (!output_) return;
  if (audioWanted_ && !audioRunning_) {
    const double start = anchor_;
    const int64_t startFrame = static_cast<int64_t>(start * audioRate_);
    lock.unlock();
    {
      // Let the decoder get ahead of the run's start, so its first moments are not silence.
      std::unique_lock audioLock(audioMutex_);
      runStartFrame_ = startFrame;
      audioWake_.wait_for(audioLock, kAudioFillWait, [&] {
        return stopping_ || audioEnded_ ||
               (!audioSeek_ && !audioQueue_.empty() &&
                audioQueue_.back().presentationTime().value() + audioQueue_.back().audioBlock()->frameCount >
                    startFrame);
      });
    }
    bool started = true;
    try {
      output_->start();
    } catch (const Error& error) {
      Diagnostics::line("⚠️ Playing without sound: " + error.localizedDescription());
      started = false;
    }
    lock.lock();
    if (!started) {
      audioWanted_ = false;
      clock_ = Clock::steady;
      anchorSteady_ = MonotonicClock::nowNanoseconds();
      return;
    }
    audioRunning_ = true;
    if (audioWanted_ && clock_ == Clock::held && anchor_ == start) {
      clock_ = Clock::audio;
      lastPlayed_ = 0;
    }
  } else if (!audioWanted_ && audioRunning_) {
    audioRunning_ = false;
    lock.unlock();
    output_->stop();
    lock.lock();
  }
}

void PlaybackSession::releaseDecoderSoon() {
  {
    std::lock_guard lock(mutex_);
    releaseSoon_ = true;
  }
  wake_.notify_all();
}

void PlaybackSession::releaseDecoder(std::unique_lock<std::mutex>& lock) {
  releaseSoon_ = false;
  std::unique_ptr<VideoFrameReader> closing = std::move(video_);
  videoReleased_ = true;
  haveNext_ = false;
  decoderOpen_ = false;
  lock.unlock();
  closing.reset();
  lock.lock();
}

void PlaybackSession::reopenDecoder() {
  try {
    video_ = std::make_unique<VideoFrameReader>(
        heldFile_ >= 0 ? std::filesystem::path("/proc/self/fd/" + std::to_string(heldFile_)) : file_);
    decoderOpen_ = true;
  } catch (const Error& error) {
    Diagnostics::line("⚠️ Reopening the picture failed: " + error.localizedDescription());
  }
  videoReleased_ = false;
}

void PlaybackSession::playStep(std::unique_lock<std::mutex>& lock) {
  if (!haveNext_ && !videoEnded_ && videoReleased_) {
    // Playing on from a pause that let the decoder go: from the frame shown now.
    const MediaTime at = MediaTime::fromSeconds(secondsLocked(), 90000);
    lock.unlock();
    reopenDecoder();
    if (video_) {
      try {
        video_->seek(at);
      } catch (const Error& error) {
        Diagnostics::line("⚠️ Seeking failed: " + error.localizedDescription());
      }
    }
    lock.lock();
    if (pendingSeek_ || stopping_) return;
  }
  if (!haveNext_ && !videoEnded_) {
    if (!video_) {
      videoEnded_ = true;
    } else {
      lock.unlock();
      std::optional<MediaTime> next;
      try {
        next = video_->advance();
      } catch (const Error& error) {
        Diagnostics::line("⚠️ Decoding failed: " + error.localizedDescription());
      }
      lock.lock();
      if (pendingSeek_ || stopping_) return;
      if (next) {
        haveNext_ = true;
        nextTime_ = next->seconds();
      } else {
        videoEnded_ = true;
      }
    }
  }
  const double now = secondsLocked();
  const double due = videoEnded_ ? duration_ : nextTime_;
  if (now < due) {
    // Sleep until the frame is due, waking early for any request; never long, so a clock that
    // starts late (sound still buffering) is followed closely.
    const double wait = std::min((due - now) / std::max(rate_, 0.01), 0.02);
    wake_.wait_for(lock, std::chrono::microseconds(static_cast<int64_t>(wait * 1e6) + 1));
    return;
  }
  if (videoEnded_) {
    rate_ = 0;
    audioWanted_ = false;
    holdAt(duration_);
    const std::optional<double> skipped = std::exchange(skippedTime_, std::nullopt);
    const int width = outputWidth_, height = outputHeight_;
    lock.unlock();
    // The last frame came late and was skipped: playback ends showing it all the same.
    if (skipped) showFrameAt(MediaTime::fromSeconds(*skipped + frameSeconds_ / 2, 1000000), width, height);
    if (callbacks_.ended) callbacks_.ended();
    lock.lock();
    return;
  }
  haveNext_ = false;
  // A frame whose successor is already due is skipped without being converted.
  if (now >= nextTime_ + frameSeconds_) {
    skippedTime_ = nextTime_;
    return;
  }
  const int width = outputWidth_, height = outputHeight_;
  lock.unlock();
  std::shared_ptr<PixelBuffer> frame;
  try {
    video_->setOutputSize(width, height);
    frame = video_->currentFrame().pixelBuffer();
  } catch (const Error& error) {
    Diagnostics::line("⚠️ Decoding failed: " + error.localizedDescription());
  }
  if (frame) publish(std::move(frame));
  lock.lock();
}

// ---- audio thread ----

void PlaybackSession::audioLoop() {
  std::unique_lock lock(audioMutex_);
  for (;;) {
    audioWake_.wait(
        lock, [&] { return stopping_ || audioSeek_ || (!audioEnded_ && queuedFrames_ < kAudioQueueFrames); });
    if (stopping_) return;
    if (audioSeek_) {
      const double target = *audioSeek_;
      audioSeek_.reset();
      lock.unlock();
      try {
        audio_->seek(MediaTime::fromSeconds(target, audioRate_));
      } catch (const Error& error) {
        Diagnostics::line("⚠️ Seeking the sound failed: " + error.localizedDescription());
      }
      lock.lock();
      continue;
    }
    lock.unlock();
    std::optional<SampleBuffer> block;
    bool failed = false;
    try {
      block = audio_->nextBlock();
    } catch (const Error& error) {
      Diagnostics::line("⚠️ Decoding the sound failed: " + error.localizedDescription());
      failed = true;
    }
    lock.lock();
    if (audioSeek_) continue;  // decoded before a seek: no longer wanted
    if (!block || failed) {
      audioEnded_ = true;
    } else {
      queuedFrames_ += block->audioBlock()->frameCount;
      audioQueue_.push_back(std::move(*block));
    }
    audioWake_.notify_all();
  }
}

void PlaybackSession::fillAudio(float* out, int frames, int64_t position) {
  const int channels = 2;
  std::memset(out, 0, sizeof(float) * static_cast<size_t>(frames) * channels);
  {
    std::lock_guard lock(audioMutex_);
    const int64_t first = runStartFrame_ + position;
    const int64_t last = first + frames;
    while (!audioQueue_.empty()) {
      const SampleBuffer& block = audioQueue_.front();
      const int64_t start = block.presentationTime().value();
      const AudioBlock& samples = *block.audioBlock();
      const int64_t end = start + samples.frameCount;
      if (end <= first) {
        queuedFrames_ -= samples.frameCount;
        audioQueue_.pop_front();
        continue;
      }
      if (start >= last) break;
      const int64_t from = std::max(start, first);
      const int64_t to = std::min(end, last);
      std::memcpy(out + (from - first) * channels, samples.samples.data() + (from - start) * channels,
                  sizeof(float) * static_cast<size_t>(to - from) * channels);
      if (end > last) break;
      queuedFrames_ -= samples.frameCount;
      audioQueue_.pop_front();
    }
  }
  audioWake_.notify_all();
}

}  // namespace tk
