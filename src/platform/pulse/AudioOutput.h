#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/media/SampleBuffer.h"

namespace tk {

// A playback stream on the sound server's default output, run by a thread of its own
// ("tk-audio-out"). The output pulls its audio: whenever the server wants more, the source fills
// the requested frames (32-bit float, interleaved) of the current run, addressed by their frame
// position from the run's start, so the caller can place audio by time and never drift.
//
// The position the listener hears (playedSeconds) comes from the server's own timing, interpolated
// between its updates: a player's clock. It stands still before the first sample is heard. To
// pause, stop the run and start a new one where playback resumes.
//
// Threads: open, start, stop and the destructor from one controlling thread (never from the
// source); playedSeconds and failed from any thread; the source runs on the output's thread.
class AudioOutput {
 public:
  using Source = std::function<void(float* interleaved, int frames, int64_t position)>;

  // Connects to the server. Throws PlatformError (domain "PulseAudio") with the server's message
  // when no server answers or the format is refused.
  static std::unique_ptr<AudioOutput> open(AudioFormat format, Source source,
                                           std::string streamName = "Playback");

  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  const AudioFormat& format() const;

  // Begins a new run at position 0 (ending any earlier one, whose buffered audio is dropped) and
  // plays it. Throws PlatformError when the server refuses the stream.
  void start();
  // Ends the current run at once. playedSeconds goes back to 0.
  void stop();

  // Seconds of the current run the listener has heard.
  double playedSeconds() const;
  // The server went away or dropped the stream; the clock no longer advances.
  bool failed() const;

 private:
  struct Impl;
  explicit AudioOutput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tk
