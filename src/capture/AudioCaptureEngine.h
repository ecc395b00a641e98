#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/SampleBuffer.h"
#include "platform/media/ShareableContent.h"

namespace tk {

class PulseRecordStream;

// Records the microphone (a sound-server input source) for a recording, converted to 32-bit float
// at 48000 Hz on two channels (one plane per channel), in blocks of 1024 frames stamped with their
// capture time on the monotonic clock, scaled by `microphoneVolume`. For an audio-only recording it
// also records system audio, the monitor of the default output, for `systemAudioHandler`.
//
// Threads: startMicrophone, startAudioCapture, stopAudioCapture and the setters are called on the
// main thread, the handlers and the volume before startAudioCapture. Each stream runs on its own
// thread and calls its handler there; the two handlers may run at the same time. Destroying the
// engine stops both streams and waits for their threads first.
class AudioCaptureEngine {
 public:
  using SampleHandler = std::function<void(const SampleBuffer&)>;

  static constexpr AudioFormat kTargetFormat{48000, 2, false};
  static constexpr int kBlockFrames = 1024;

  AudioCaptureEngine();
  ~AudioCaptureEngine();
  AudioCaptureEngine(const AudioCaptureEngine&) = delete;
  AudioCaptureEngine& operator=(const AudioCaptureEngine&) = delete;

  // Chooses the microphone: the given input source, or the server's default one when none is
  // given. True when it can be recorded; false (with a line saying so) when there is no such
  // source or no server.
  bool startMicrophone(std::optional<CaptureDevice> device, bool enableAEC);
  // Starts what was chosen: the microphone once startMicrophone has succeeded, and system audio
  // when isCapturingSystemAudio is set and a handler for it is installed. Throws PlatformError
  // (domain "PulseAudio") when a stream cannot start; nothing runs then.
  void startAudioCapture();
  // Stops whatever runs and clears the capturing flags; safe when nothing was started.
  void stopAudioCapture();
  // Before a stop: every running stream hands over what it captured before `end` and nothing
  // after; soundDrained() says when all have (at once when none runs).
  void drainSoundUntil(MediaTime end);
  bool soundDrained() const;

  void setSystemAudioHandler(SampleHandler handler) { systemAudioHandler_ = std::move(handler); }
  void setMicrophoneAudioHandler(SampleHandler handler) { microphoneAudioHandler_ = std::move(handler); }
  // Called on the stream's thread when a running stream ends by itself (the sound server went away,
  // the source was removed), with the reason; set before startAudioCapture.
  void setStreamEndHandler(std::function<void(const std::string&)> handler) {
    streamEndHandler_ = std::move(handler);
  }
  void setCapturingSystemAudio(bool value) { isCapturingSystemAudio_ = value; }
  bool isCapturingSystemAudio() const { return isCapturingSystemAudio_; }
  bool isCapturingMicrophone() const { return isCapturingMicrophone_; }
  bool isAECEnabled() const { return isAECEnabled_; }
  const std::optional<CaptureDevice>& currentMicDevice() const { return currentMicDevice_; }

  // Gain on microphone samples; 1.0 leaves them untouched. Values are not clipped.
  void setMicrophoneVolume(float volume) { microphoneVolume_.store(volume); }
  float microphoneVolume() const { return microphoneVolume_.load(); }
  void setSystemAudioVolume(float volume) { systemAudioVolume_ = volume; }
  float systemAudioVolume() const { return systemAudioVolume_; }

  // The sound server's input sources (monitors of outputs are no microphones).
  static std::vector<CaptureDevice> availableMicrophoneDevices();
  // The source a configured microphone name stands for: none for an absent name or "default"
  // (the caller then records the default source) and for a name no source has. A name matches a
  // source's id or, exactly, its description.
  static std::optional<CaptureDevice> findMicrophoneDevice(const std::optional<std::string>& name);
  // Microphone access is access to the sound server: granted when it answers. Blocks briefly.
  static bool requestMicrophoneAccess();

  // A copy of an audio sample with every value multiplied by `gain`, keeping its stamp.
  static SampleBuffer applyGain(const SampleBuffer& sample, float gain);

 private:
  bool setupMicrophoneEngine(const CaptureDevice& device);
  void deliverMicrophone(const SampleBuffer& sample);

  SampleHandler systemAudioHandler_;
  SampleHandler microphoneAudioHandler_;
  std::function<void(const std::string&)> streamEndHandler_;
  std::optional<CaptureDevice> currentMicDevice_;
  bool isAECEnabled_ = false;
  bool isCapturingSystemAudio_ = false;
  bool isCapturingMicrophone_ = false;
  float systemAudioVolume_ = 1.0f;
  std::atomic<float> microphoneVolume_{1.0f};

  // Declared last: destroyed first, so no stream thread outlives what its handler touches.
  std::unique_ptr<PulseRecordStream> microphoneStream_;
  std::unique_ptr<PulseRecordStream> systemAudioStream_;
};

}  // namespace tk
