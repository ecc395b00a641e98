#include "recording/RecordingContext.h"

#include <algorithm>
#include <string>

#include "overlays/ZoomRenderer.h"
#include "platform/media/MonotonicClock.h"
#include "platform/qt/Diagnostics.h"
#include "writing/AudioMixer.h"
#include "writing/MediaWriter.h"

namespace tk {

RecordingContext::RecordingContext(Settings settings, std::shared_ptr<SerialQueue> pumpQueue)
    : settings_(std::move(settings)), pumpQueue_(std::move(pumpQueue)) {
  if (settings_.pumpFrameRate < 1) settings_.pumpFrameRate = 1;
  if (settings_.mixesSound && settings_.writer) {
    // The mix is on the file's clock; the writer takes it back onto the session's, pauses included.
    mixer_ = std::make_unique<AudioMixer>([this](std::shared_ptr<const AudioBlock> block, MediaTime time) {
      const auto& writer = settings_.writer;
      const auto start = writer->sessionStartTime();
      if (!start) return;
      const MediaTime sessionTime = *start + time + MediaTime::fromNanoseconds(pauseOffsetNs_.load());
      writer->appendMicrophoneAudio(SampleBuffer::audio(std::move(block), sessionTime), false, false);
    });
  }
}

RecordingContext::~RecordingContext() {
  stopDelivery();
}

MediaTime RecordingContext::pumpSlotTime(MediaTime start, int64_t slot, int frameRate) {
  return start + MediaTime(slot, std::max(1, frameRate));
}

bool RecordingContext::isPastEnd(MediaTime time) const {
  const int64_t end = endNs_.load();
  return end != 0 && time.isValid() && time.nanoseconds() >= end;
}

void RecordingContext::onVideoFrame(const SampleBuffer& captured) {
  const auto& writer = settings_.writer;
  if (!delivering_ || !writer || isPastEnd(captured.presentationTime())) return;
  // A frame belongs to the take by when it was grabbed, not by when it arrives: one grabbed just
  // before a pause or the stop and handed over after it is kept, one grabbed within a pause is not.
  const std::optional<MediaTime> shift = shiftOutsidePauses(captured.presentationTime());
  if (!shift) return;
  SampleBuffer sample = captured;
  if (*shift != MediaTime::zero()) sample.setPresentationTime(sample.presentationTime() + *shift);

  if (!writer->isWriting()) {
    MediaTime start = sample.presentationTime();
    Diagnostics::line("🎬 Starting MediaWriter session at PTS: " + formatDouble(start.seconds()));
    try {
      writer->startSession(start);
    } catch (const std::exception& error) {
      Diagnostics::line(std::string("❌ Failed to start MediaWriter session: ") + error.what());
      return;
    }
    Diagnostics::line("✅ MediaWriter session started");
    if (settings_.sessionStarted) settings_.sessionStarted(start);
  }
  if (!writer->isWriting()) return;
  openSoundSession();

  MediaTime frameTime = sample.presentationTime();
  MediaTime duration = sample.duration();
  if (duration.isValid() && duration.value() >= 1) frameTime = frameTime + duration;
  if (lastFrameTime_.isValid() && lastFrameTime_ >= frameTime) {
    Diagnostics::line("⏭️ Skipping duplicate frame");
    return;
  }
  lastFrameTime_ = frameTime;
  int64_t n = ++videoFrameCount_;

  if (settings_.useWindowPump) {
    if (sample.pixelBuffer()) {
      std::lock_guard lock(pumpMutex_);
      lastInputPixelBuffer_ = sample.pixelBuffer();
      if (!pumpStarted_ && !paused_ && endNs_.load() == 0) {
        pumpStartPTS_ = frameTime;
        pumpStartClockNs_ = MonotonicClock::nowNanoseconds();
        pumpFramesEmitted_ = 0;
        pumpStarted_ = true;
        startPumpLocked();
      }
    }
    if (n <= 3) Diagnostics::line("✅ Successfully appended video frame #" + formatInt(n));
    return;
  }
  if (writer->appendVideoBuffer(sample)) {
    if (n <= 3) Diagnostics::line("✅ Successfully appended video frame #" + formatInt(n));
  } else if (n <= 5) {
    Diagnostics::line("⚠️ Failed to append video frame #" + formatInt(n));
  }
}

void RecordingContext::onSystemAudio(const SampleBuffer& sample) {
  if (!delivering_ || !settings_.writer || isPastEnd(sample.presentationTime())) return;
  std::lock_guard lock(soundMutex_);
  waitingSound_[0].push_back(sample);
  releaseSound(0, false);
}

void RecordingContext::onMicrophoneAudio(const SampleBuffer& sample) {
  if (!delivering_ || isPastEnd(sample.presentationTime())) return;
  std::lock_guard lock(soundMutex_);
  waitingSound_[1].push_back(sample);
  releaseSound(1, false);
}

void RecordingContext::releaseSound(int source, bool all) {
  auto& waiting = waitingSound_[source];
  std::vector<SampleBuffer> pieces;
  while (!waiting.empty()) {
    if (isPastEnd(waiting.front().presentationTime())) {
      waiting.pop_front();
      continue;
    }
    pieces.clear();
    if (!outsidePauses(waiting.front(), all, pieces)) return;
    waiting.pop_front();
    for (const SampleBuffer& piece : pieces) {
      if (holdUntilSession(source, piece)) continue;
      if (source == 0)
        appendSystemAudio(piece);
      else
        appendMicrophoneAudio(piece);
    }
  }
}

bool RecordingContext::outsidePauses(const SampleBuffer& sample, bool evenIfLater,
                                     std::vector<SampleBuffer>& pieces) {
  const auto& block = sample.audioBlock();
  if (!block || block->frameCount <= 0 || block->format.sampleRate <= 0 ||
      !sample.presentationTime().isValid())
    return true;
  const int rate = block->format.sampleRate;
  const int64_t startNs = sample.presentationTime().nanoseconds();
  const int64_t endNs = startNs + block->frameCount * 1'000'000'000LL / rate;
  // To the nearest frame: the block's end is rounded down to a nanosecond, and rounding it down
  // again to a frame would leave out the last frame of every block, so that the sound runs early by
  // a millisecond a second until the writer pads it with silence.
  auto frameAt = [&](int64_t ns) {
    const int64_t into = std::clamp(ns, startNs, endNs) - startNs;
    return static_cast<int>(
        std::min<int64_t>((into * rate + 500'000'000) / 1'000'000'000LL, block->frameCount));
  };
  const int64_t currentOffset = pauseOffsetNs_.load();
  // The stretch from `from` to `to`, moved by the pauses that ended before it was captured less those
  // taken out so far, so that taking them out (the writer and the mix do) puts it where it belongs.
  auto keep = [&](int64_t from, int64_t to, int64_t offsetAtCapture) {
    const int first = frameAt(from), last = frameAt(to);
    if (last <= first) return;
    const MediaTime shift = MediaTime::fromNanoseconds(currentOffset - offsetAtCapture);
    if (first == 0 && last == block->frameCount) {
      pieces.push_back(SampleBuffer::audio(block, sample.presentationTime() + shift));
      return;
    }
    auto part = std::make_shared<AudioBlock>();
    part->format = block->format;
    part->frameCount = last - first;
    const int channels = block->format.channels;
    part->samples.reserve(static_cast<size_t>(part->frameCount) * channels);
    if (block->format.interleaved) {
      part->samples.assign(block->samples.begin() + static_cast<ptrdiff_t>(first) * channels,
                           block->samples.begin() + static_cast<ptrdiff_t>(last) * channels);
    } else {
      for (int c = 0; c < channels; ++c)
        for (int frame = first; frame < last; ++frame) part->samples.push_back(block->sample(frame, c));
    }
    const MediaTime time =
        sample.presentationTime() + MediaTime::fromNanoseconds(first * 1'000'000'000LL / rate) + shift;
    pieces.push_back(SampleBuffer::audio(std::move(part), time));
  };
  std::lock_guard lock(pausesMutex_);
  // Read under the lock: a pause that begins after this moment begins after every frame judged now.
  if (!evenIfLater && endNs > MonotonicClock::nowNanoseconds()) return false;
  int64_t from = startNs;
  int64_t offsetAfter = currentOffset;  // of what lies after every pause that began before the end
  for (const Pause& pause : pauses_) {
    if (pause.startNs >= endNs) {
      offsetAfter = pause.offsetBeforeNs;
      break;
    }
    const int64_t pauseEnd = pause.endNs == 0 ? endNs : pause.endNs;
    if (pauseEnd <= from) continue;
    keep(from, pause.startNs, pause.offsetBeforeNs);
    from = std::max(from, pauseEnd);
    if (from >= endNs) return true;
  }
  keep(from, endNs, offsetAfter);
  return true;
}

std::optional<MediaTime> RecordingContext::shiftOutsidePauses(MediaTime time) {
  if (!time.isValid()) return MediaTime::zero();
  const int64_t ns = time.nanoseconds();
  const int64_t currentOffset = pauseOffsetNs_.load();
  std::lock_guard lock(pausesMutex_);
  for (const Pause& pause : pauses_) {
    if (ns < pause.startNs) return MediaTime::fromNanoseconds(currentOffset - pause.offsetBeforeNs);
    if (pause.endNs == 0 || ns < pause.endNs) return std::nullopt;
  }
  return MediaTime::zero();
}

bool RecordingContext::holdUntilSession(int source, const SampleBuffer& sample) {
  if (soundSessionOpen_) return false;
  // Sound captured just before the first frame but handed over after it belongs to the take; the
  // writer leaves out whatever of it is older than the frame. Only the newest second is kept.
  heldSound_.push_back({source, sample});
  while (heldSound_.size() > 1 &&
         heldSound_.back().second.presentationTime() - heldSound_.front().second.presentationTime() >
             MediaTime(1, 1))
    heldSound_.pop_front();
  return true;
}

void RecordingContext::openSoundSession() {
  if (soundSessionOpen_.load()) return;
  std::lock_guard lock(soundMutex_);
  if (soundSessionOpen_.load()) return;
  soundSessionOpen_ = true;
  for (const auto& [source, sample] : heldSound_) {
    if (source == 0)
      appendSystemAudio(sample);
    else
      appendMicrophoneAudio(sample);
  }
  heldSound_.clear();
}

void RecordingContext::appendSystemAudio(const SampleBuffer& sample) {
  const auto& writer = settings_.writer;
  if (!writer->isWriting()) return;
  int64_t r = ++systemAudioReceived_;
  if (r <= 3) {
    Diagnostics::line("🔊 Received system audio frame #" + formatInt(r));
    if (const auto& block = sample.audioBlock()) {
      Diagnostics::line("   Sample rate: " + formatDouble(block->format.sampleRate) + " Hz");
      Diagnostics::line("   Channels: " + formatInt(block->format.channels));
      Diagnostics::line("   Format: 1718378851");  // 32-bit float linear PCM, the only format delivered
    }
  }
  if (mixer_) {
    mixSound(0, sample);
    return;
  }
  if (writer->appendMicrophoneAudio(sample, false, false)) {
    int64_t a = ++systemAudioAppended_;
    if (a <= 3) Diagnostics::line("✅ Successfully appended system audio frame #" + formatInt(a));
  } else if (r <= 5) {
    Diagnostics::line("⚠️ Failed to append system audio frame #" + formatInt(r));
  }
}

void RecordingContext::appendMicrophoneAudio(const SampleBuffer& sample) {
  int64_t m = ++microphoneReceived_;
  if (m <= 3) {
    Diagnostics::line("🎙️ Received microphone audio frame #" + formatInt(m));
    Diagnostics::line("   Audio PTS: " + formatDouble(sample.presentationTime().seconds()));
    if (const auto& block = sample.audioBlock()) {
      Diagnostics::line("   Sample rate: " + formatDouble(block->format.sampleRate) + " Hz");
      Diagnostics::line("   Channels: " + formatInt(block->format.channels));
    }
  }
  const auto& writer = settings_.writer;
  if (!writer || !writer->isWriting()) return;
  // The microphone is stamped on the clock the frames are, so it needs no move onto theirs: moving
  // it by the session's start would shift it by however late the first frame was handed over.
  if (mixer_) {
    mixSound(1, sample);
    return;
  }
  bool appended = writer->appendMicrophoneAudio(sample, false, false);
  if (m <= 5) {
    Diagnostics::line(std::string(appended ? "✅ Successfully appended microphone frame #"
                                           : "⚠️ Failed to append microphone frame #") +
                      formatInt(m));
  }
}

void RecordingContext::mixSound(int source, const SampleBuffer& sample) {
  const auto& writer = settings_.writer;
  const auto start = writer->sessionStartTime();
  const auto& block = sample.audioBlock();
  if (!start || !block || !sample.presentationTime().isValid()) return;
  const MediaTime time = sample.presentationTime();
  mixer_->add(source, *block, time - MediaTime::fromNanoseconds(pauseOffsetNs_.load()) - *start);
}

void RecordingContext::flushSound() {
  {
    std::lock_guard lock(soundMutex_);
    for (int source : {0, 1}) releaseSound(source, true);
  }
  if (mixer_) mixer_->flush();
}

void RecordingContext::setPauseOffset(MediaTime offset) {
  pauseOffsetNs_ = offset.isValid() ? offset.nanoseconds() : 0;
}

void RecordingContext::setPaused(bool paused) {
  {
    std::lock_guard lock(pausesMutex_);
    const int64_t now = MonotonicClock::nowNanoseconds();
    const bool open = !pauses_.empty() && pauses_.back().endNs == 0;
    if (paused && !open) pauses_.push_back({now, 0, pauseOffsetNs_.load()});
    if (!paused && open) pauses_.back().endNs = now;
  }
  paused_ = paused;
  std::unique_lock lock(pumpMutex_);
  if (!pumpStarted_) return;
  if (paused) {
    SerialQueue::TimerId timer = pumpTimer_;
    pumpTimer_ = 0;
    lock.unlock();
    if (timer) pumpQueue_->cancelTimer(timer);
  } else if (!pumpTimer_ && delivering_) {
    startPumpLocked();
  }
}

void RecordingContext::stopDelivery() {
  delivering_ = false;
  cancelPump();
}

void RecordingContext::endAt(MediaTime end) {
  if (end.isValid()) endNs_ = std::max<int64_t>(1, end.nanoseconds());
  cancelPump();
}

void RecordingContext::cancelPump() {
  SerialQueue::TimerId timer;
  bool started;
  {
    std::lock_guard lock(pumpMutex_);
    timer = pumpTimer_;
    pumpTimer_ = 0;
    started = pumpStarted_;
    lastInputPixelBuffer_.reset();
  }
  if (!started || !pumpQueue_) return;
  if (timer) pumpQueue_->cancelTimer(timer);
  // A tick posted when the pump (re)started may still wait in the queue; it must run, and find
  // delivery stopped, before this context can go.
  if (!pumpQueue_->isCurrent()) pumpQueue_->flush();
}

void RecordingContext::startPumpLocked() {
  if (!pumpQueue_) return;
  const auto interval = std::chrono::nanoseconds(1'000'000'000LL / settings_.pumpFrameRate);
  // The queue outlives every context; the context outlives its timer (stopDelivery cancels it).
  pumpTimer_ = pumpQueue_->startTimer(interval, [this](int64_t) { pumpTick(); });
  pumpQueue_->post([this] { pumpTick(); });
}

void RecordingContext::pumpTick() {
  std::shared_ptr<PixelBuffer> input;
  MediaTime time;
  {
    std::lock_guard lock(pumpMutex_);
    if (!delivering_ || paused_ || endNs_.load() != 0 || !pumpTimer_ || !lastInputPixelBuffer_) return;
    // The slot follows the clock, so slots missed under load are skipped rather than squeezed
    // into the next ticks, and after a pause the times continue where the clock is.
    int64_t elapsedNs = MonotonicClock::nowNanoseconds() - pumpStartClockNs_;
    int64_t slot = elapsedNs < 0 ? 0 : elapsedNs * settings_.pumpFrameRate / 1'000'000'000LL;
    if (slot <= lastSlot_) return;
    lastSlot_ = slot;
    time = pumpSlotTime(pumpStartPTS_, slot, settings_.pumpFrameRate);
    MediaTime written = time - MediaTime::fromNanoseconds(pauseOffsetNs_.load());
    if (lastWrittenTime_.isValid() && written <= lastWrittenTime_) return;
    lastWrittenTime_ = written;
    input = lastInputPixelBuffer_;
  }
  const auto& writer = settings_.writer;
  if (!writer || !writer->isWriting()) return;
  std::shared_ptr<PixelBuffer> frame;
  if (settings_.zoomRenderer) {
    settings_.zoomRenderer->update(std::nullopt);
    frame = settings_.zoomRenderer->render(input);
  }
  if (!frame) frame = input;
  if (writer->appendPixelBuffer(frame, time)) ++pumpFramesEmitted_;
}

}  // namespace tk
