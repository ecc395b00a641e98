#include "capture/AudioCaptureEngine.h"

#include "platform/pulse/PulseDevices.h"
#include "platform/pulse/PulseRecordStream.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

std::string formatText(const AudioFormat& format, const char* separator) {
  return formatDouble(format.sampleRate) + "Hz" + separator + std::to_string(format.channels) + "ch";
}

}  // namespace

AudioCaptureEngine::AudioCaptureEngine() = default;

AudioCaptureEngine::~AudioCaptureEngine() {
  stopAudioCapture();
}

bool AudioCaptureEngine::startMicrophone(std::optional<CaptureDevice> device, bool enableAEC) {
  const std::optional<CaptureDevice> fallback = PulseDevices::defaultInputSource();
  const bool usesDefault = !device || (fallback && device->uniqueID == fallback->uniqueID);
  if (!device) device = fallback;
  currentMicDevice_ = device;
  isAECEnabled_ = enableAEC;
  if (!device) {
    Diagnostics::line("AudioCaptureEngine: No microphone device available");
    return false;
  }
  // Echo cancellation is only remembered; the line tells which path the sound takes otherwise.
  if (!(enableAEC && usesDefault))
    Diagnostics::line("ℹ️ Using the sound server for microphone (provides format conversion)");
  if (!setupMicrophoneEngine(*device)) return false;
  isCapturingMicrophone_ = true;
  return true;
}

bool AudioCaptureEngine::setupMicrophoneEngine(const CaptureDevice& device) {
  const std::optional<AudioFormat> input = PulseDevices::sourceFormat(device.uniqueID);
  if (!input) {
    // The source went away (or the server did) between the choice and now.
    Diagnostics::line("AudioCaptureEngine: No microphone device available");
    return false;
  }
  Diagnostics::line("🎤 Microphone input format: " + formatText(*input, " / "));
  Diagnostics::line("🎯 Target audio format: " + formatText(kTargetFormat, " / "));
  if (input->sampleRate == kTargetFormat.sampleRate && input->channels == kTargetFormat.channels)
    Diagnostics::line("ℹ️ No conversion needed - formats match");
  else
    Diagnostics::line("✅ Audio converter created: " + formatText(*input, "/") + " → " +
                      formatText(kTargetFormat, "/"));
  return true;
}

void AudioCaptureEngine::startAudioCapture() {
  const bool wantsMicrophone = isCapturingMicrophone_ && currentMicDevice_ && !microphoneStream_;
  const bool wantsSystemAudio = isCapturingSystemAudio_ && systemAudioHandler_ && !systemAudioStream_;
  auto onError = [this](const char* stream) {
    return [this, stream](const std::string& reason) {
      Diagnostics::line(std::string("⚠️ ") + stream + " capture ended: " + reason);
      if (streamEndHandler_) streamEndHandler_(std::string(stream) + ": " + reason);
    };
  };
  try {
    if (wantsMicrophone) {
      PulseRecordStream::Options options;
      options.sourceName = currentMicDevice_->uniqueID;
      options.deliveredFormat = kTargetFormat;
      options.blockFrames = kBlockFrames;
      microphoneStream_ = PulseRecordStream::start(
          options, [this](const SampleBuffer& sample) { deliverMicrophone(sample); }, onError("Microphone"));
    }
    if (wantsSystemAudio) {
      PulseRecordStream::Options options;
      options.monitorOfDefaultSink = true;
      options.deliveredFormat = kTargetFormat;
      options.blockFrames = kBlockFrames;
      systemAudioStream_ = PulseRecordStream::start(
          options, [this](const SampleBuffer& sample) { systemAudioHandler_(sample); },
          onError("System audio"));
    }
  } catch (...) {
    microphoneStream_.reset();
    systemAudioStream_.reset();
    throw;
  }
}

void AudioCaptureEngine::deliverMicrophone(const SampleBuffer& sample) {
  if (!microphoneAudioHandler_) return;
  const float gain = microphoneVolume_.load(std::memory_order_relaxed);
  if (gain != 1.0f)
    microphoneAudioHandler_(applyGain(sample, gain));
  else
    microphoneAudioHandler_(sample);
}

void AudioCaptureEngine::stopAudioCapture() {
  microphoneStream_.reset();
  systemAudioStream_.reset();
  isCapturingSystemAudio_ = false;
  isCapturingMicrophone_ = false;
}

void AudioCaptureEngine::drainSoundUntil(MediaTime end) {
  for (const auto* stream : {&microphoneStream_, &systemAudioStream_})
    if (*stream) (*stream)->drainUntil(end);
}

bool AudioCaptureEngine::soundDrained() const {
  for (const auto* stream : {&microphoneStream_, &systemAudioStream_})
    if (*stream && !(*stream)->drained()) return false;
  return true;
}

SampleBuffer AudioCaptureEngine::applyGain(const SampleBuffer& sample, float gain) {
  const auto& source = sample.audioBlock();
  if (!source) return sample;
  auto scaled = std::make_shared<AudioBlock>(*source);
  for (float& value : scaled->samples) value *= gain;
  SampleBuffer result = SampleBuffer::audio(std::move(scaled), sample.presentationTime());
  if (sample.attachments()) result.setAttachments(*sample.attachments());
  return result;
}

std::vector<CaptureDevice> AudioCaptureEngine::availableMicrophoneDevices() {
  return PulseDevices::inputSources();
}

std::optional<CaptureDevice> AudioCaptureEngine::findMicrophoneDevice(
    const std::optional<std::string>& name) {
  if (!name || *name == "default") return std::nullopt;
  const auto devices = PulseDevices::inputSources();
  for (const auto& device : devices)
    if (device.uniqueID == *name) return device;
  for (const auto& device : devices)
    if (device.localizedName == *name) return device;
  return std::nullopt;
}

bool AudioCaptureEngine::requestMicrophoneAccess() {
  return PulseDevices::isServerReachable();
}

}  // namespace tk
