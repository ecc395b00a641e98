#include "platform/pulse/AudioOutput.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <thread>

#include "platform/media/Error.h"

namespace tk {

namespace {

constexpr const char* kDomain = "PulseAudio";

// Holds the threaded loop's lock for a scope.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

}  // namespace

struct AudioOutput::Impl {
  AudioFormat format;
  Source source;
  std::string streamName;
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;  // under the loop's lock
  int64_t position = 0;         // frames handed to the server in this run; the output's thread
  std::atomic<bool> broken{false};

  ~Impl() {
    if (loop) pa_threaded_mainloop_stop(loop);
    if (stream) {
      pa_stream_set_write_callback(stream, nullptr, nullptr);
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_disconnect(stream);
      pa_stream_unref(stream);
    }
    if (context) {
      pa_context_set_state_callback(context, nullptr, nullptr);
      pa_context_disconnect(context);
      pa_context_unref(context);
    }
    if (loop) pa_threaded_mainloop_free(loop);
  }

  [[noreturn]] void fail(const std::string& operation) const {
    const int code = context ? pa_context_errno(context) : PA_ERR_UNKNOWN;
    throw PlatformError(kDomain, code, operation + ": " + pa_strerror(code));
  }

  static void onContextState(pa_context* context, void* self) {
    auto* impl = static_cast<Impl*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) impl->broken = true;
    pa_threaded_mainloop_signal(impl->loop, 0);
  }

  static void onStreamState(pa_stream* stream, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED) impl->broken = true;
    pa_threaded_mainloop_signal(impl->loop, 0);
  }

  static void onWrite(pa_stream* stream, size_t bytes, void* self) {
    auto* impl = static_cast<Impl*>(self);
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(impl->format.channels);
    while (bytes >= frameBytes) {
      void* data = nullptr;
      size_t size = bytes;
      if (pa_stream_begin_write(stream, &data, &size) < 0 || !data) return;
      const int frames = static_cast<int>(size / frameBytes);
      if (frames == 0) {
        pa_stream_cancel_write(stream);
        return;
      }
      impl->source(static_cast<float*>(data), frames, impl->position);
      impl->position += frames;
      pa_stream_write(stream, data, static_cast<size_t>(frames) * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
      bytes -= static_cast<size_t>(frames) * frameBytes;
    }
  }

  // Waits, with the lock held, until `done` holds or a few seconds pass.
  template <typename Done>
  bool waitFor(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (broken || std::chrono::steady_clock::now() >= deadline) return false;
      pa_threaded_mainloop_unlock(loop);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      pa_threaded_mainloop_lock(loop);
    }
    return true;
  }

  void dropStream() {
    if (!stream) return;
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
  }
};

AudioOutput::AudioOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<AudioOutput> AudioOutput::open(AudioFormat format, Source source, std::string streamName) {
  if (format.sampleRate < 1 || format.channels < 1 || format.channels > static_cast<int>(PA_CHANNELS_MAX) ||
      !source)
    throw PlatformError(kDomain, PA_ERR_INVALID, "Opening the audio output: the format is not usable");
  auto impl = std::make_unique<Impl>();
  impl->format = format;
  impl->format.interleaved = true;
  impl->source = std::move(source);
  impl->streamName = std::move(streamName);
  impl->loop = pa_threaded_mainloop_new();
  if (!impl->loop) throw PlatformError(kDomain, -1, "Creating the sound output loop failed");
  pa_threaded_mainloop_set_name(impl->loop, "tk-audio-out");
  impl->context = pa_context_new(pa_threaded_mainloop_get_api(impl->loop), "tavelkombrix");
  if (!impl->context) throw PlatformError(kDomain, -1, "Creating the sound server context failed");
  pa_context_set_state_callback(impl->context, &Impl::onContextState, impl.get());
  if (pa_context_connect(impl->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
    impl->fail("Connecting to the sound server");
  if (pa_threaded_mainloop_start(impl->loop) < 0)
    throw PlatformError(kDomain, -1, "Starting the sound output thread failed");
  {
    LoopLock lock(impl->loop);
    if (!impl->waitFor([&] { return pa_context_get_state(impl->context) == PA_CONTEXT_READY; }))
      impl->fail("Connecting to the sound server");
  }
  return std::unique_ptr<AudioOutput>(new AudioOutput(std::move(impl)));
}

AudioOutput::~AudioOutput() = default;

const AudioFormat& AudioOutput::format() const {
  return impl_->format;
}

void AudioOutput::start() {
  Impl& d = *impl_;
  LoopLock lock(d.loop);
  d.dropStream();
  d.position = 0;
  pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(d.format.sampleRate),
                      static_cast<uint8_t>(d.format.channels)};
  pa_channel_map map;
  pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT);
  d.stream = pa_stream_new(d.context, d.streamName.c_str(), &spec, &map);
  if (!d.stream) d.fail("Creating the playback stream");
  pa_stream_set_state_callback(d.stream, &Impl::onStreamState, &d);
  pa_stream_set_write_callback(d.stream, &Impl::onWrite, &d);
  // About 60 ms queued at the server: short enough that a seek is heard at once.
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(60'000, &spec));
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(-1);
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING |
                                                    PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_playback(d.stream, nullptr, &attributes, flags, nullptr, nullptr) < 0)
    d.fail("Connecting the playback stream");
  if (!d.waitFor([&] { return pa_stream_get_state(d.stream) == PA_STREAM_READY; }))
    d.fail("Starting the playback stream");
}

void AudioOutput::stop() {
  Impl& d = *impl_;
  LoopLock lock(d.loop);
  d.dropStream();
  d.position = 0;
}

double AudioOutput::playedSeconds() const {
  Impl& d = *impl_;
  LoopLock lock(d.loop);
  if (!d.stream || pa_stream_get_state(d.stream) != PA_STREAM_READY) return 0;
  pa_usec_t usec = 0;
  if (pa_stream_get_time(d.stream, &usec) < 0) return 0;
  return static_cast<double>(usec) / 1e6;
}

bool AudioOutput::failed() const {
  return impl_->broken;
}

}  // namespace tk
