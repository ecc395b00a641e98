#include "writing/AudioMixer.h"

#include <algorithm>

#include "platform/qt/Diagnostics.h"

namespace tk {

void AudioMixer::add(int source, const AudioBlock& block, MediaTime time) {
  if (source < 0 || source > 1 || block.frameCount <= 0 || block.format.sampleRate <= 0 || !time.isValid())
    return;
  std::lock_guard lock(mutex_);
  const int64_t start = time.convertScale(kSampleRate).value();
  // A block at another rate is stepped through at ours (nearest sample): rare, and never worse
  // than silence.
  const int64_t frames = static_cast<int64_t>(block.frameCount) * kSampleRate / block.format.sampleRate;
  auto& held = held_[source];
  const int64_t end = start + frames;
  if (base_ > 0 && start < base_ && !reportedLate_[source]) {
    // Only a source that stalled for longer than the lag allowed gets here; what it missed
    // cannot be put back into sound already handed on.
    reportedLate_[source] = true;
    Diagnostics::line("⚠️ Sound of source " + formatInt(source) + " came later than the mix could wait");
  }
  if (end <= base_) return;
  const int64_t needed = (end - base_) * kChannels;
  if (static_cast<int64_t>(held.size()) < needed) held.resize(needed, 0.0f);
  for (int64_t i = std::max<int64_t>(0, base_ - start); i < frames; ++i) {
    const int inFrame = static_cast<int>(i * block.format.sampleRate / kSampleRate);
    const int64_t at = (start + i - base_) * kChannels;
    for (int c = 0; c < kChannels; ++c)
      held[at + c] = block.sample(inFrame, std::min(c, block.format.channels - 1));
  }
  end_[source] = std::max(end_[source], end);
  const int64_t both = std::min(end_[0], end_[1]);
  const int64_t either = std::max(end_[0], end_[1]);
  emitUpTo(std::max(both, either - kMaximumLag));
}

void AudioMixer::flush() {
  std::lock_guard lock(mutex_);
  emitUpTo(std::max(end_[0], end_[1]));
}

void AudioMixer::emitUpTo(int64_t end) {
  if (end <= base_) return;
  const int64_t frames = end - base_;
  auto block = std::make_shared<AudioBlock>();
  block->format = AudioFormat{kSampleRate, kChannels, true};
  block->frameCount = static_cast<int>(frames);
  block->samples.assign(static_cast<size_t>(frames) * kChannels, 0.0f);
  for (auto& held : held_) {
    const int64_t available = std::min<int64_t>(static_cast<int64_t>(held.size()), frames * kChannels);
    for (int64_t i = 0; i < available; ++i) block->samples[i] += held[i];
    held.erase(held.begin(), held.begin() + available);
  }
  for (float& sample : block->samples) sample = std::clamp(sample, -1.0f, 1.0f);
  const MediaTime time(base_, kSampleRate);
  base_ = end;
  output_(std::move(block), time);
}

}  // namespace tk
