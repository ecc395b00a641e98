#include "editor/AudioMixEngine.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

#include "platform/ffmpeg/AudioSampleReader.h"
#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/pulse/AudioOutput.h"

namespace tk {

namespace {

constexpr AudioFormat kMixFormat{AudioMixEngine::kSampleRate, AudioMixEngine::kChannels, true};
constexpr int64_t kRingFrames = AudioMixEngine::kSampleRate;  // a second ahead of the listener
constexpr int kStagingFrames = 4096;

// Reads a source's decoded blocks as one continuous run of frames.
class FrameCursor {
 public:
  // Copies up to `frames` frames into `out`; fewer only at the end of the source.
  int pull(AudioSampleReader& reader, float* out, int frames) {
    int copied = 0;
    while (copied < frames && !ended_) {
      if (!block_ || offset_ >= block_->audioBlock()->frameCount) {
        block_ = reader.nextBlock();
        offset_ = 0;
        if (!block_) {
          ended_ = true;
          break;
        }
        continue;
      }
      const AudioBlock& block = *block_->audioBlock();
      const int n = std::min(frames - copied, block.frameCount - offset_);
      std::memcpy(out + static_cast<size_t>(copied) * AudioMixEngine::kChannels,
                  block.samples.data() + static_cast<size_t>(offset_) * AudioMixEngine::kChannels,
                  sizeof(float) * static_cast<size_t>(n) * AudioMixEngine::kChannels);
      copied += n;
      offset_ += n;
    }
    return copied;
  }
  void reset() {
    block_.reset();
    offset_ = 0;
    ended_ = false;
  }
  bool ended() const { return ended_; }

 private:
  std::optional<SampleBuffer> block_;
  int offset_ = 0;
  bool ended_ = false;
};

}  // namespace

void addScaled(float* out, const float* in, float volume, size_t values) {
  for (size_t i = 0; i < values; ++i) out[i] += in[i] * volume;
}

AudioMixEngine::AudioMixEngine() {
  for (auto& volume : volumes_) volume = 1.0f;
  for (auto& ring : rings_) ring.samples.assign(static_cast<size_t>(kRingFrames) * kChannels, 0.0f);
  decoder_ = std::thread([this] {
    pthread_setname_np(pthread_self(), "tk-mix-decode");
    decodeLoop();
  });
}

AudioMixEngine::~AudioMixEngine() {
  output_.reset();  // no more fills before the rings go
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  decoder_.join();
}

void AudioMixEngine::openOutput() {
  if (output_) return;
  output_ = AudioOutput::open(
      kMixFormat, [this](float* out, int frames, int64_t position) { pull(out, frames, position); },
      "Audio package");
}

int64_t AudioMixEngine::openSource(int source, const std::filesystem::path& file) {
  std::shared_ptr<AudioSampleReader> reader;
  int64_t frames = 0;
  {
    std::lock_guard lock(mutex_);
    readers_[source].reset();
    files_[source].clear();
    lengths_[source] = 0;
    ++generation_;
  }
  const MediaAsset asset = MediaAsset::load(file);
  const MediaTrack* track = asset.firstTrack(MediaKind::audio);
  if (!track) throw FfmpegError("Opening " + file.string(), "the file holds no audio");
  // Whatever the file's own rate, its length is counted on the 48 kHz grid both sources share.
  const MediaTime duration = track->duration.isValid() ? track->duration : asset.duration();
  frames = std::max<int64_t>(
      0, duration.convertScale(kSampleRate, MediaTime::Rounding::NearestAwayFromZero).value());
  reader = std::make_shared<AudioSampleReader>(file, kMixFormat, track->trackID);
  {
    std::lock_guard lock(mutex_);
    readers_[source] = std::move(reader);
    files_[source] = file;
    lengths_[source] = frames;
    ++generation_;
  }
  wake_.notify_all();
  return frames;
}

void AudioMixEngine::closeSources() {
  stop();
  {
    std::lock_guard lock(mutex_);
    for (int s = 0; s < kSources; ++s) {
      readers_[s].reset();
      files_[s].clear();
      lengths_[s] = 0;
    }
    segmentStart_ = segmentFrames_ = 0;
    ++generation_;
  }
  wake_.notify_all();
}

bool AudioMixEngine::hasSource(int source) const {
  std::lock_guard lock(mutex_);
  return !files_[source].empty();
}

int64_t AudioMixEngine::sourceFrames(int source) const {
  std::lock_guard lock(mutex_);
  return lengths_[source];
}

void AudioMixEngine::setVolume(int source, float volume) {
  volumes_[source] = volume;
}

float AudioMixEngine::volume(int source) const {
  return volumes_[source];
}

void AudioMixEngine::schedule(int64_t startFrame, int64_t frames) {
  stop();
  {
    std::lock_guard lock(mutex_);
    segmentStart_ = std::max<int64_t>(0, startFrame);
    segmentFrames_ = std::max<int64_t>(0, frames);
    ++generation_;
  }
  wake_.notify_all();
}

bool AudioMixEngine::waitForBuffered(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return wake_.wait_for(lock, timeout, [&] {
    if (decodedGeneration_ != generation_) return false;
    for (const Ring& ring : rings_) {
      const bool holdsHead = ring.firstFrame == segmentStart_ &&
                             (ring.ended || ring.count >= std::min<int64_t>(kStagingFrames, segmentFrames_));
      if (!holdsHead) return false;
    }
    return true;
  });
}

void AudioMixEngine::play() {
  if (!output_) return;
  waitForBuffered(std::chrono::seconds(1));
  output_->start();
  playing_ = true;
}

void AudioMixEngine::stop() {
  if (output_ && playing_) output_->stop();
  playing_ = false;
}

std::optional<int64_t> AudioMixEngine::heardFrames() const {
  if (!output_ || !playing_) return std::nullopt;
  return static_cast<int64_t>(output_->playedSeconds() * kSampleRate + 0.5);
}

void AudioMixEngine::pull(float* out, int frames, int64_t position) {
  std::fill(out, out + static_cast<size_t>(frames) * kChannels, 0.0f);
  {
    std::lock_guard lock(mutex_);
    const int64_t wanted = segmentStart_ + position;
    const int64_t playable = std::clamp<int64_t>(segmentFrames_ - position, 0, frames);
    for (int s = 0; s < kSources; ++s) {
      Ring& ring = rings_[s];
      const float volume = volumes_[s];
      // Drop what the listener has passed.
      const int64_t stale = std::clamp<int64_t>(wanted - ring.firstFrame, 0, ring.count);
      ring.head = (ring.head + stale) % kRingFrames;
      ring.firstFrame += stale;
      ring.count -= stale;
      if (ring.firstFrame != wanted) continue;  // not decoded yet
      int64_t n = std::min(playable, ring.count);
      int64_t done = 0;
      while (n > 0) {
        const int64_t run = std::min(n, kRingFrames - ring.head);
        addScaled(out + done * kChannels, ring.samples.data() + ring.head * kChannels, volume,
                  static_cast<size_t>(run) * kChannels);
        ring.head = (ring.head + run) % kRingFrames;
        ring.firstFrame += run;
        ring.count -= run;
        done += run;
        n -= run;
      }
    }
  }
  wake_.notify_all();
}

void AudioMixEngine::decodeLoop() {
  std::vector<float> staging(static_cast<size_t>(kStagingFrames) * kChannels);
  std::array<FrameCursor, kSources> cursors;
  uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  while (true) {
    // A source wants more when it has room and is not at its end, or when a new segment came.
    auto wanting = [&]() -> int {
      if (generation_ != seen) return -2;
      for (int s = 0; s < kSources; ++s)
        if (readers_[s] && !rings_[s].ended && rings_[s].count + kStagingFrames <= kRingFrames) return s;
      return -1;
    };
    wake_.wait(lock, [&] { return stopping_ || wanting() != -1; });
    if (stopping_) return;
    const int source = wanting();
    if (source == -2) {
      seen = generation_;
      decodedGeneration_ = seen;
      const int64_t start = segmentStart_;
      std::array<std::shared_ptr<AudioSampleReader>, kSources> readers = readers_;
      for (auto& ring : rings_) {
        ring.firstFrame = start;
        ring.head = 0;
        ring.count = 0;
        ring.ended = !readers[&ring - rings_.data()];
      }
      lock.unlock();
      bool failedAny[kSources] = {};
      for (int s = 0; s < kSources; ++s) {
        cursors[s].reset();
        if (!readers[s]) continue;
        try {
          readers[s]->seek(MediaTime(start, kSampleRate));
        } catch (const Error&) {
          failedAny[s] = true;  // played as silence, like a source that ended
        }
      }
      lock.lock();
      if (generation_ == seen)
        for (int s = 0; s < kSources; ++s)
          if (failedAny[s]) rings_[s].ended = true;
      wake_.notify_all();
      continue;
    }
    std::shared_ptr<AudioSampleReader> reader = readers_[source];
    const uint64_t generation = generation_;
    lock.unlock();
    int got = 0;
    bool failed = false;
    try {
      got = cursors[source].pull(*reader, staging.data(), kStagingFrames);
    } catch (const Error&) {
      failed = true;  // a damaged stretch ends the source here; the other plays on
    }
    lock.lock();
    if (generation != generation_) continue;
    Ring& ring = rings_[source];
    for (int64_t i = 0; i < got;) {
      const int64_t at = (ring.head + ring.count) % kRingFrames;
      const int64_t run = std::min<int64_t>(got - i, kRingFrames - at);
      std::memcpy(ring.samples.data() + at * kChannels, staging.data() + i * kChannels,
                  sizeof(float) * static_cast<size_t>(run) * kChannels);
      ring.count += run;
      i += run;
    }
    if (failed || cursors[source].ended()) ring.ended = true;
    wake_.notify_all();
  }
}

void AudioMixEngine::render(int64_t frames, int chunkFrames, const RenderSink& sink) const {
  chunkFrames = std::max(1, chunkFrames);
  std::array<std::filesystem::path, kSources> files;
  {
    std::lock_guard lock(mutex_);
    files = files_;
  }
  // Readers of its own: the render never disturbs what playback has decoded.
  std::array<std::unique_ptr<AudioSampleReader>, kSources> readers;
  std::array<float, kSources> volumes{};
  for (int s = 0; s < kSources; ++s) {
    if (!files[s].empty()) readers[s] = std::make_unique<AudioSampleReader>(files[s], kMixFormat);
    volumes[s] = volumes_[s];
  }
  std::array<FrameCursor, kSources> cursors;
  const size_t chunkValues = static_cast<size_t>(chunkFrames) * kChannels;
  std::vector<float> mixed(chunkValues);
  std::vector<float> source(chunkValues);
  const int64_t renders = (std::max<int64_t>(frames, 0) + chunkFrames - 1) / chunkFrames;
  for (int64_t r = 0; r < renders; ++r) {
    const int n = static_cast<int>(std::min<int64_t>(chunkFrames, frames - r * chunkFrames));
    std::fill(mixed.begin(), mixed.end(), 0.0f);
    for (int s = 0; s < kSources; ++s) {
      if (!readers[s]) continue;
      const int got = cursors[s].pull(*readers[s], source.data(), n);
      addScaled(mixed.data(), source.data(), volumes[s], static_cast<size_t>(got) * kChannels);
    }
    sink(mixed.data(), n);
  }
}

}  // namespace tk
