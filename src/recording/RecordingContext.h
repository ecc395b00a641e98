#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/qt/SerialQueue.h"

namespace tk {

class AudioMixer;
class MediaWriter;
class ZoomRenderer;

// Everything of one recording that the capture threads and the frame pump touch: the writer (which
// locks itself), the pause flag, the per-stream counters and the pump's state. The coordinator
// creates one per preparation and hands a shared reference to each capture handler, so a late
// sample of an earlier recording can only ever reach that recording's writer, and nothing here is
// a coordinator field read across threads.
//
// Threads: onVideoFrame runs on the screen engine's capture thread, onSystemAudio on its record
// stream's thread, onMicrophoneAudio on the microphone's thread, the pump on its own queue; the rest on the
// main thread.
class RecordingContext {
 public:
  struct Settings {
    std::shared_ptr<MediaWriter> writer;
    std::shared_ptr<ZoomRenderer> zoomRenderer;
    bool useWindowPump = false;
    int pumpFrameRate = 60;
    // Told the session's start time once, on the capture thread (the camera layer syncs to it).
    std::function<void(MediaTime)> sessionStarted;
    // System audio and the microphone both feed the movie's one audio track, mixed.
    bool mixesSound = false;
  };

  RecordingContext(Settings settings, std::shared_ptr<SerialQueue> pumpQueue);
  ~RecordingContext();
  RecordingContext(const RecordingContext&) = delete;
  RecordingContext& operator=(const RecordingContext&) = delete;

  void onVideoFrame(const SampleBuffer& sample);
  void onSystemAudio(const SampleBuffer& sample);
  void onMicrophoneAudio(const SampleBuffer& sample);

  // Main thread. Pausing stops the pump; resuming restarts it on the same slot grid, so frame
  // times keep increasing. The pause offset is what the writer removes from every sample.
  void setPaused(bool paused);
  bool isPaused() const { return paused_.load(); }
  void setPauseOffset(MediaTime offset);
  // Main thread: cancels the pump and waits until no tick runs; afterwards no sample reaches the
  // writer through this context. Idempotent.
  void stopDelivery();
  // Main thread, at a stop: no frame from `end` on is written (the pump stops as in stopDelivery),
  // while frames and sound captured before it still are, until stopDelivery.
  void endAt(MediaTime end);
  // Hands the sound still waiting for its time and the mixer's held sound to the writer; after the
  // sources stopped, before the writer finishes.
  void flushSound();

  const std::shared_ptr<MediaWriter>& writer() const { return settings_.writer; }
  int pumpFrameRate() const { return settings_.pumpFrameRate; }
  bool useWindowPump() const { return settings_.useWindowPump; }
  int64_t pumpFramesEmitted() const { return pumpFramesEmitted_.load(); }
  int64_t videoFramesReceived() const { return videoFrameCount_.load(); }

  // The pump's time for a slot: the first frame's time plus whole slots at the pump's rate.
  static MediaTime pumpSlotTime(MediaTime start, int64_t slot, int frameRate);

 private:
  void startPumpLocked();
  void pumpTick();
  void cancelPump();
  // Whether a sample stamped at `time` is past the end of the recording.
  bool isPastEnd(MediaTime time) const;
  // Places a sample of system audio (source 0) or the microphone (1) in the mix, on the file's clock.
  void mixSound(int source, const SampleBuffer& sample);
  // The parts of a sound sample captured outside the pauses, each timed so that taking out the
  // pauses so far (as the writer and the mix do) puts it where it was captured. A source that
  // hands its sound over late or in long blocks still has sound from before a pause on its way
  // when the pause begins, and may hand over sound from within the pause after the resume.
  // False, with no parts, while some of the sample is stamped later than now, unless `evenIfLater`.
  bool outsidePauses(const SampleBuffer& sample, bool evenIfLater, std::vector<SampleBuffer>& pieces);
  // Under soundMutex_: hands on, in order, what of a source's waiting sound can be judged by now;
  // with `all` (after the sources stopped), everything.
  void releaseSound(int source, bool all);
  // The same for a frame stamped at `time`: how far to move it, nothing when it was captured
  // within a pause.
  std::optional<MediaTime> shiftOutsidePauses(MediaTime time);
  // Under soundMutex_: keeps a sample that came before the writer's session; false once it started.
  bool holdUntilSession(int source, const SampleBuffer& sample);
  // Capture thread, once the session started: hands on the sound held until then.
  void openSoundSession();
  // Under soundMutex_, once the session started.
  void appendSystemAudio(const SampleBuffer& sample);
  void appendMicrophoneAudio(const SampleBuffer& sample);

  Settings settings_;
  std::shared_ptr<SerialQueue> pumpQueue_;
  std::atomic<bool> paused_{false};
  std::atomic<bool> delivering_{true};
  std::atomic<int64_t> pauseOffsetNs_{0};
  std::atomic<int64_t> endNs_{0};  // 0 until the stop
  std::unique_ptr<AudioMixer> mixer_;

  // The pauses on the capture clock; the last one lasts while its end is 0.
  struct Pause {
    int64_t startNs = 0;
    int64_t endNs = 0;
    int64_t offsetBeforeNs = 0;  // the pause offset before it began
  };
  std::mutex pausesMutex_;
  std::vector<Pause> pauses_;

  // Both sound sources go through here, so that sound held from before the session reaches the
  // writer before anything newer of the same source.
  std::mutex soundMutex_;
  std::atomic<bool> soundSessionOpen_{false};  // set under soundMutex_
  std::deque<std::pair<int, SampleBuffer>> heldSound_;
  // Per source, sound stamped later than now: an output's monitor hands over what the output is
  // still to play. It waits until its time has passed, as only then is it known whether a pause
  // began or ended before it; kept whole, it would run on past a pause's start by that much, and
  // dropped whole during the pause, its part after the resume would be missing.
  std::deque<SampleBuffer> waitingSound_[2];

  // Capture thread only. Written frame times only ever increase, so the newest one is all the
  // repeat test needs.
  MediaTime lastFrameTime_;
  std::atomic<int64_t> videoFrameCount_{0};
  std::atomic<int64_t> systemAudioReceived_{0};
  std::atomic<int64_t> systemAudioAppended_{0};
  std::atomic<int64_t> microphoneReceived_{0};

  // The pump: under pumpMutex_ (held briefly; never while writing).
  std::mutex pumpMutex_;
  std::shared_ptr<PixelBuffer> lastInputPixelBuffer_;
  MediaTime pumpStartPTS_;
  int64_t pumpStartClockNs_ = 0;
  int64_t lastSlot_ = -1;
  MediaTime lastWrittenTime_;
  SerialQueue::TimerId pumpTimer_ = 0;
  bool pumpStarted_ = false;
  std::atomic<int64_t> pumpFramesEmitted_{0};
};

}  // namespace tk
