#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"

namespace tk {

// Mixes two timed audio sources (system audio and microphone) into one 48 kHz stereo stream. Each
// source's blocks are placed on a shared timeline by their times, so a source that pauses leaves
// silence rather than pulling the other out of step. Mixed audio is handed on once both sources
// have covered it, or once one source lags the other by more than `kMaximumLag` (it is then
// taken as silent). Sound servers hand some sources over in blocks of up to two seconds (a sine
// or network source, a sleeping device's backlog), so the lag allowed is longer than that: a
// source that delivers late is waited for, not cut to the part that arrived in time.
//
// Threads: add may be called from both sources' threads at once; the output is called under the
// mixer's lock, so it must not call back into the mixer.
class AudioMixer {
 public:
  static constexpr int kSampleRate = 48000;
  static constexpr int kChannels = 2;
  static constexpr int64_t kMaximumLag = kSampleRate * 3;

  using Output = std::function<void(std::shared_ptr<const AudioBlock> block, MediaTime time)>;

  explicit AudioMixer(Output output) : output_(std::move(output)) {}

  // `source` 0 or 1; `time` on the shared timeline (0 = start).
  void add(int source, const AudioBlock& block, MediaTime time);
  // Hands on everything still held.
  void flush();

 private:
  void emitUpTo(int64_t end);

  Output output_;
  std::mutex mutex_;
  int64_t base_ = 0;                        // timeline frame of the first frame held
  std::array<std::vector<float>, 2> held_;  // interleaved stereo from base_
  std::array<int64_t, 2> end_{0, 0};        // timeline frame after each source's last frame
  std::array<bool, 2> reportedLate_{false, false};
};

}  // namespace tk
