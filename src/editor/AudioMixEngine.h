#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tk {

class AudioOutput;
class AudioSampleReader;

// Mixes two audio files (the tracks of an audio package) into one stream of 48 kHz stereo float,
// each at its own volume: played through the sound server's output, or rendered offline for an
// export. Every file is decoded to 48 kHz whatever its own rate, so frame positions and lengths of
// both sources agree; the first source is the reference for lengths.
//
// Playback plays one scheduled segment [start, start + frames) of both sources: a decoding thread
// ("tk-mix-decode") keeps about a second of each source ahead, and the output's thread mixes them
// at the volumes of the moment, so a volume change is heard within the output's short latency. A
// source that ends early (or is missing) contributes silence.
//
// Threads: every public function from the main thread, except render(), which runs on one worker
// thread at a time while playback is stopped. The destructor stops and joins the threads.
class AudioMixEngine {
 public:
  static constexpr int kSampleRate = 48000;
  static constexpr int kChannels = 2;
  static constexpr int kSources = 2;

  AudioMixEngine();
  ~AudioMixEngine();
  AudioMixEngine(const AudioMixEngine&) = delete;
  AudioMixEngine& operator=(const AudioMixEngine&) = delete;

  // Connects the playback output to the sound server. Throws PlatformError; without it the engine
  // still renders offline but plays nothing.
  void openOutput();
  bool hasOutput() const { return output_ != nullptr; }

  // Opens a file as source 0 or 1 and returns its length in frames at 48 kHz. Throws FfmpegError
  // (the file is missing, unreadable or has no audio); the source is then empty.
  int64_t openSource(int source, const std::filesystem::path& file);
  void closeSources();
  bool hasSource(int source) const;
  int64_t sourceFrames(int source) const;

  void setVolume(int source, float volume);
  float volume(int source) const;

  // Stops playback and makes [startFrame, startFrame + frames) the segment a later play() plays.
  void schedule(int64_t startFrame, int64_t frames);
  // Plays the scheduled segment from its start, once its first frames are decoded (or after a
  // second at most), so a start or a resume never skips the head. Throws PlatformError when the
  // server refuses.
  void play();
  // Waits until every source holds the head of the segment (or has ended there).
  bool waitForBuffered(std::chrono::milliseconds timeout);
  // Ends the run at once; the segment stays scheduled.
  void stop();
  bool isPlaying() const { return playing_; }
  // Frames of the current run the listener has heard; none while stopped.
  std::optional<int64_t> heardFrames() const;

  // Mixes `frames` frames from the sources' start, `chunkFrames` at a time, at the current volumes,
  // handing each chunk (interleaved stereo) to `sink`. The loop makes exactly ceil(frames /
  // chunkFrames) renders whatever the files hold: missing audio is silence. Throws what opening or
  // decoding a source or the sink throws.
  // What the output's thread plays: `frames` mixed frames of the segment from `position` (frames
  // from its start). Frames the decoder has not delivered in time are silence, and the position
  // moves on regardless, so playback never drifts. Called by one thread at a time.
  void pull(float* out, int frames, int64_t position);

  using RenderSink = std::function<void(const float* interleaved, int frames)>;
  void render(int64_t frames, int chunkFrames, const RenderSink& sink) const;

 private:
  // Decoded frames of one source, in playback order, waiting for the output.
  struct Ring {
    std::vector<float> samples;  // capacity frames * kChannels
    int64_t firstFrame = 0;      // source frame of the oldest frame held
    int64_t head = 0;            // index of that frame in `samples`
    int64_t count = 0;           // frames held
    bool ended = false;          // the source has nothing after what is held
  };

  void decodeLoop();

  std::array<std::filesystem::path, kSources> files_;
  std::array<int64_t, kSources> lengths_{};
  std::array<std::atomic<float>, kSources> volumes_;
  std::unique_ptr<AudioOutput> output_;
  bool playing_ = false;

  // Shared by the main, decoding and output threads: under mutex_.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  uint64_t generation_ = 0;         // bumped by schedule(): the decoder starts again at segmentStart_
  uint64_t decodedGeneration_ = 0;  // the generation the rings hold
  int64_t segmentStart_ = 0;
  int64_t segmentFrames_ = 0;
  std::array<Ring, kSources> rings_;
  // Handed to the decoding thread, which alone reads them; shared so that replacing a source never
  // frees a reader in the middle of a block.
  std::array<std::shared_ptr<AudioSampleReader>, kSources> readers_;

  std::thread decoder_;
};

// out[i] += in[i] * volume over `values` floats.
void addScaled(float* out, const float* in, float volume, size_t values);

}  // namespace tk
