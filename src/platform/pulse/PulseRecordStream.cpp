#include "platform/pulse/PulseRecordStream.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/qt/TestHold.h"

namespace tk {

namespace {

constexpr const char* kDomain = "PulseAudio";

// How far the stamp counted from samples may stray from the clock before we trust the clock
// again. Above the jitter of the server's latency reports, well below a gap anyone would hear.
constexpr int64_t kResyncThresholdNs = 40'000'000;

// Small fragments keep the capture-to-delivery delay, and with it the stamp's error, low.
constexpr pa_usec_t kFragmentUsec = 20'000;

// No data for this long means the source stopped (asleep, suspended, switching): the server's last
// timing report no longer describes what comes next.
constexpr int64_t kDeliveryGapNs = 150'000'000;

// A timing report older than this (or from the future, after a wall-clock step) is not used.
constexpr int64_t kMaximumReportAgeNs = 5'000'000'000;

// How long samples wait in the server's buffer for a current timing report before they are
// stamped without one.
constexpr int64_t kReportWaitNs = 100'000'000;

struct ResamplerDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
using Resampler = std::unique_ptr<SwrContext, ResamplerDeleter>;

std::string ffmpegMessage(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

int64_t framesToNs(int64_t frames, int rate) {
  return frames * 1'000'000'000 / rate;
}

}  // namespace

struct PulseRecordStream::Impl {
  Options options;
  SampleHandler onSamples;
  ErrorHandler onError;

  // Declared before the stream so that it outlives it.
  std::unique_ptr<PulseConnection> connection;
  pa_stream* stream = nullptr;

  mutable std::mutex nameMutex;
  std::string sourceName;
  std::string sinkName;  // the output whose monitor is followed
  AudioFormat sourceFormat;
  Resampler resampler;

  std::thread thread;
  std::mutex joinMutex;
  std::atomic<bool> stopRequested{false};
  // Set once by drainUntil; the stream thread delivers nothing captured from then on.
  std::atomic<int64_t> drainEndNs{0};
  std::atomic<bool> drainedFlag{false};
  bool failed = false;  // stream thread only
  std::string failure;

  // The current stretch of uninterrupted samples: its first input frame was captured at the epoch.
  bool segmentOpen = false;
  int64_t segmentEpochNs = 0;
  int64_t segmentInputFrames = 0;
  int64_t segmentOutputFrames = 0;
  int64_t previousSegmentEndNs = 0;
  int64_t startedAtNs = MonotonicClock::nowNanoseconds();

  // The server's timing reports describe the stream only once data flows: one made before the
  // first byte, or before a stop in delivery, says nothing about when later bytes were captured.
  // Reports count as current once their write index is at least this.
  int64_t reportsValidFromByte = 1;
  int64_t lastDeliveryNs = 0;
  bool reportRequested = false;
  int64_t reportRequestedAtNs = 0;
  uint64_t loopTurn = 0;
  uint64_t reportRequestedAtTurn = 0;

  std::shared_ptr<AudioBlock> block;
  int blockFill = 0;
  int64_t blockFirstFrame = 0;  // output frame index in the segment
  std::vector<float> converted;

  ~Impl() {
    if (stream) {
      pa_stream_set_read_callback(stream, nullptr, nullptr);
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_disconnect(stream);
      pa_stream_unref(stream);
    }
  }

  int outChannels() const { return options.deliveredFormat.channels; }
  int outRate() const { return options.deliveredFormat.sampleRate; }

  Resampler makeResampler() const {
    AVChannelLayout inLayout{}, outLayout{};
    av_channel_layout_default(&inLayout, sourceFormat.channels);
    av_channel_layout_default(&outLayout, outChannels());
    SwrContext* raw = nullptr;
    int result = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_FLT, outRate(), &inLayout,
                                     AV_SAMPLE_FMT_FLT, sourceFormat.sampleRate, 0, nullptr);
    Resampler context(raw);
    if (result >= 0 && sourceFormat.channels == 1) {
      // A mono microphone is one voice: put it on every channel at full level rather than mixing
      // it down as a centre speaker would be (-3 dB).
      std::vector<double> matrix(static_cast<size_t>(outChannels()), 1.0);
      result = swr_set_matrix(context.get(), matrix.data(), 1);
    }
    if (result >= 0) result = swr_init(context.get());
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (result < 0)
      throw PlatformError(kDomain, result, "Preparing the sound conversion: " + ffmpegMessage(result));
    return context;
  }

  void failWith(const std::string& reason) {
    if (failed) return;
    failed = true;
    failure = reason;
  }

  void newBlock() {
    block = std::make_shared<AudioBlock>();
    block->format = options.deliveredFormat;
    block->samples.resize(static_cast<size_t>(options.blockFrames) * outChannels());
    blockFill = 0;
    blockFirstFrame = segmentOutputFrames;
  }

  void emitBlock() {
    if (!block || blockFill == 0 || drainedFlag.load()) return;
    if (const int64_t end = drainEndNs.load(); end != 0) {
      // Frames captured from the drain's end on are not part of the recording.
      const int64_t framesBeforeEnd =
          (end - segmentEpochNs) <= 0 ? 0
                                      : ((end - segmentEpochNs) * outRate() + 999'999'999) / 1'000'000'000;
      blockFill = static_cast<int>(std::clamp<int64_t>(framesBeforeEnd - blockFirstFrame, 0, blockFill));
      if (blockFill == 0) return;
    }
    const int channels = outChannels();
    block->frameCount = blockFill;
    block->samples.resize(static_cast<size_t>(blockFill) * channels);
    if (!options.deliveredFormat.interleaved) {
      std::vector<float> planar(block->samples.size());
      for (int frame = 0; frame < blockFill; ++frame)
        for (int channel = 0; channel < channels; ++channel)
          planar[static_cast<size_t>(channel) * blockFill + frame] =
              block->samples[static_cast<size_t>(frame) * channels + channel];
      block->samples.swap(planar);
    }
    const MediaTime stamp =
        MediaTime::fromNanoseconds(segmentEpochNs + framesToNs(blockFirstFrame, outRate()));
    std::shared_ptr<const AudioBlock> done = std::move(block);
    block.reset();
    blockFill = 0;
    onSamples(SampleBuffer::audio(std::move(done), stamp));
  }

  void appendConverted(const float* frames, int count) {
    const int channels = outChannels();
    while (count > 0 && !stopRequested.load(std::memory_order_relaxed) && !drainedFlag.load()) {
      if (!block) newBlock();
      const int take = std::min(count, options.blockFrames - blockFill);
      std::copy(frames, frames + static_cast<size_t>(take) * channels,
                block->samples.begin() + static_cast<ptrdiff_t>(blockFill) * channels);
      blockFill += take;
      segmentOutputFrames += take;
      frames += static_cast<size_t>(take) * channels;
      count -= take;
      if (blockFill == options.blockFrames) emitBlock();
    }
  }

  bool convert(const float* input, int frames) {
    const int capacity = swr_get_out_samples(resampler.get(), frames);
    if (capacity <= 0) return true;
    const size_t needed = static_cast<size_t>(capacity) * outChannels();
    if (converted.size() < needed) converted.resize(needed);
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(input)};
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(converted.data())};
    const int produced = swr_convert(resampler.get(), out, capacity, input ? in : nullptr, frames);
    if (produced < 0) {
      failWith("Converting the recorded sound: " + ffmpegMessage(produced));
      return false;
    }
    appendConverted(converted.data(), produced);
    return true;
  }

  void openSegment(int64_t startNs) {
    // Never let a new stretch overlap the one before, whatever the latency report says.
    segmentEpochNs = std::max(startNs, previousSegmentEndNs);
    segmentInputFrames = 0;
    segmentOutputFrames = 0;
    segmentOpen = true;
  }

  void closeSegment() {
    if (!segmentOpen) return;
    convert(nullptr, 0);  // what the resampler still holds belongs to this stretch
    emitBlock();
    previousSegmentEndNs = segmentEpochNs + framesToNs(segmentOutputFrames, outRate());
    segmentOpen = false;
    try {
      resampler = makeResampler();
    } catch (const Error& error) {
      failWith(error.localizedDescription());
    }
  }

  // The server's last report, when it describes the samples being read now: made while data
  // flowed, after the last stop in delivery, and recent.
  const pa_timing_info* currentReport() const {
    const pa_timing_info* info = pa_stream_get_timing_info(stream);
    if (!info || info->write_index_corrupt || info->read_index_corrupt ||
        info->write_index < reportsValidFromByte)
      return nullptr;
    const int64_t ageNs = static_cast<int64_t>(pa_timeval_age(&info->timestamp)) * 1000;
    return ageNs >= 0 && ageNs < kMaximumReportAgeNs ? info : nullptr;
  }

  static void onTimingReport(pa_stream* stream, int, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    self->reportRequested = false;
    onReadable(stream, 0, userdata);
  }

  // Whether the readable samples can be stamped now. At the first samples and after a stop in
  // delivery a fresh report is asked for, and the samples wait for it (a little while at most).
  bool readyToStamp(int64_t now) {
    if (lastDeliveryNs == 0 || now - lastDeliveryNs > kDeliveryGapNs) {
      const pa_timing_info* info = pa_stream_get_timing_info(stream);
      if (lastDeliveryNs != 0 && info && !info->read_index_corrupt)
        reportsValidFromByte = info->read_index + 1;
      reportRequested = false;
    }
    lastDeliveryNs = now;
    if (currentReport()) return true;
    if (!reportRequested) {
      if (pa_operation* op = pa_stream_update_timing_info(stream, &Impl::onTimingReport, this))
        pa_operation_unref(op);
      reportRequested = true;
      reportRequestedAtNs = now;
      reportRequestedAtTurn = loopTurn;
    }
    return now - reportRequestedAtNs >= kReportWaitNs;
  }

  // Nanoseconds from the capture of the oldest unread frame (the first one of this fragment) to
  // `now`. From a current report: at its time the source had captured everything up to the write
  // index plus what the source still held, and the frames since were captured at the source's
  // rate. The report's time is the server's, when it made it: the way to us (transport_usec) is
  // already in its age, and counting it again would stamp every frame that much early. A
  // monitor's frames are "captured" when its sink plays them, and the sink hands them over while
  // it still holds them (its latency, sink_usec) ahead of playing: they are that much younger.
  // Without a report, the newest readable frame counts as captured just now.
  int64_t latencyOfOldestUnread() const {
    const int64_t byteRate =
        static_cast<int64_t>(pa_frame_size(pa_stream_get_sample_spec(stream))) * sourceFormat.sampleRate;
    if (const pa_timing_info* info = currentReport()) {
      const int64_t ageNs = static_cast<int64_t>(pa_timeval_age(&info->timestamp)) * 1000;
      const int64_t heldNs =
          (static_cast<int64_t>(info->source_usec) - static_cast<int64_t>(info->sink_usec)) * 1000;
      return ageNs + heldNs + (info->write_index - info->read_index) * 1'000'000'000 / byteRate;
    }
    return static_cast<int64_t>(pa_stream_readable_size(stream)) * 1'000'000'000 / byteRate;
  }

  void consume(const float* input, int frames) {
    const int64_t now = MonotonicClock::nowNanoseconds();
    int64_t measuredStart = now - latencyOfOldestUnread();
    if (!segmentOpen && previousSegmentEndNs == 0 && measuredStart < startedAtNs) {
      // What the server held from before we asked is not part of the recording.
      const int64_t skip =
          ((startedAtNs - measuredStart) * sourceFormat.sampleRate + 999'999'999) / 1'000'000'000;
      if (skip >= frames) return;
      input += static_cast<size_t>(skip) * sourceFormat.channels;
      frames -= static_cast<int>(skip);
      measuredStart += framesToNs(skip, sourceFormat.sampleRate);
    }
    if (segmentOpen) {
      const int64_t counted = segmentEpochNs + framesToNs(segmentInputFrames, sourceFormat.sampleRate);
      // Frames captured later than the count says: the source paused. Frames earlier than the count
      // only come from a source that delivers in bursts ahead of time; counting on keeps them
      // contiguous, and going back would overlap what was already delivered.
      if (measuredStart - counted > kResyncThresholdNs) closeSegment();
    }
    if (failed) return;
    if (!segmentOpen) openSegment(measuredStart);
    if (convert(input, frames)) segmentInputFrames += frames;
  }

  // Once every frame before the drain's end was read, the block being filled is handed over (cut
  // at the end) and delivery ends. Also at a stop that comes first, with what was read by then.
  void finishDrainIfDue(bool stopping) {
    const int64_t end = drainEndNs.load();
    if (end == 0 || drainedFlag.load() || failed) return;
    const bool covered =
        segmentOpen && segmentEpochNs + framesToNs(segmentInputFrames, sourceFormat.sampleRate) >= end;
    if (!covered && !stopping) return;
    if (segmentOpen) convert(nullptr, 0);
    emitBlock();
    drainedFlag.store(true);
  }

  static void onReadable(pa_stream* stream, size_t, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    const size_t frameBytes = pa_frame_size(pa_stream_get_sample_spec(stream));
    while (!self->stopRequested.load() && !self->failed && pa_stream_readable_size(stream) > 0) {
      if (!self->readyToStamp(MonotonicClock::nowNanoseconds())) return;
      const void* data = nullptr;
      size_t bytes = 0;
      if (pa_stream_peek(stream, &data, &bytes) < 0) {
        self->failWith(self->connection->describeFailure("Reading the sound source"));
        return;
      }
      if (bytes == 0) return;
      if (data)
        self->consume(static_cast<const float*>(data), static_cast<int>(bytes / frameBytes));
      else
        self->closeSegment();  // a hole: samples the server lost; the next ones start afresh
      pa_stream_drop(stream);
      self->finishDrainIfDue(false);
    }
  }

  static void onStreamState(pa_stream* stream, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    switch (pa_stream_get_state(stream)) {
      case PA_STREAM_FAILED:
        self->failWith(self->connection->describeFailure("Recording the sound source"));
        break;
      case PA_STREAM_TERMINATED:
        self->failWith("Recording the sound source: the source went away");
        break;
      default:
        break;
    }
  }

  static void onContextState(pa_context* context, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
      self->failWith(self->connection->describeFailure("The sound server connection"));
  }

  // Following the default output: when it changes, the stream moves to the new output's monitor.
  static void onServerEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t,
                            void* userdata) {
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER) return;
    if (pa_operation* op = pa_context_get_server_info(context, &Impl::onServerInfo, userdata))
      pa_operation_unref(op);
  }

  static void onServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    if (!info || !info->default_sink_name || self->sinkName == info->default_sink_name) return;
    self->sinkName = info->default_sink_name;
    if (pa_operation* op =
            pa_context_get_sink_info_by_name(context, info->default_sink_name, &Impl::onSinkInfo, userdata))
      pa_operation_unref(op);
  }

  static void onSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* userdata) {
    auto* self = static_cast<Impl*>(userdata);
    if (eol || !info || !info->monitor_source_name || !self->stream) return;
    if (pa_operation* op = pa_context_move_source_output_by_name(context, pa_stream_get_index(self->stream),
                                                                 info->monitor_source_name, nullptr, nullptr))
      pa_operation_unref(op);
    std::lock_guard lock(self->nameMutex);
    self->sourceName = info->monitor_source_name;
  }

  void run() {
    pthread_setname_np(pthread_self(), "tk-pulse-record");
    pa_mainloop* loop = connection->mainloop();
    for (; !stopRequested.load() && !failed; ++loopTurn) {
      // A request goes out at the loop's next turn: from the one after, a thread late here (as on
      // a busy machine) is late for the report on its way.
      if (reportRequested && loopTurn == reportRequestedAtTurn + 2) TestHold::at("sound-timing-report");
      if (pa_mainloop_iterate(loop, 1, nullptr) < 0) failWith("The sound server loop stopped");
    }
    finishDrainIfDue(true);
    // A stream that ended (failed, or stopped) has nothing more to hand over.
    drainedFlag.store(true);
    if (failed && !stopRequested.load() && onError) onError(failure);
  }
};

std::unique_ptr<PulseRecordStream> PulseRecordStream::start(Options options, SampleHandler onSamples,
                                                            ErrorHandler onError) {
  if (options.blockFrames <= 0 || options.deliveredFormat.sampleRate <= 0 ||
      options.deliveredFormat.channels <= 0 ||
      options.deliveredFormat.channels > static_cast<int>(PA_CHANNELS_MAX))
    throw PlatformError(kDomain, PA_ERR_INVALID,
                        "Recording the sound source: " + std::string(pa_strerror(PA_ERR_INVALID)));

  auto impl = std::make_unique<Impl>();
  impl->options = std::move(options);
  impl->onSamples = std::move(onSamples);
  impl->onError = std::move(onError);
  impl->connection = std::make_unique<PulseConnection>();
  PulseConnection& connection = *impl->connection;

  std::string name = impl->options.sourceName;
  if (impl->options.monitorOfDefaultSink) {
    impl->sinkName = connection.serverInfo().defaultSinkName;
    if (impl->sinkName.empty())
      throw PlatformError(kDomain, PA_ERR_NOENTITY,
                          "Finding the sound output: " + std::string(pa_strerror(PA_ERR_NOENTITY)));
    name = connection.monitorOfSink(impl->sinkName);
  } else if (name.empty()) {
    name = connection.serverInfo().defaultSourceName;
    if (name.empty())
      throw PlatformError(kDomain, PA_ERR_NOENTITY,
                          "Finding the default sound source: " + std::string(pa_strerror(PA_ERR_NOENTITY)));
  }
  const PulseConnection::SourceInfo source = connection.source(name);
  impl->sourceName = source.name;
  impl->sourceFormat = AudioFormat{source.sampleRate, source.channels, true};
  impl->resampler = impl->makeResampler();

  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_FLOAT32NE;
  spec.rate = static_cast<uint32_t>(source.sampleRate);
  spec.channels = static_cast<uint8_t>(source.channels);
  impl->stream = pa_stream_new(connection.context(), "tavelkombrix recording", &spec, nullptr);
  if (!impl->stream) connection.fail("Creating the record stream");

  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUsec, &spec));
  // A source that goes away (unplugged, its module unloaded) ends the stream, rather than the server
  // moving it to whatever source is left, where it would go on recording the wrong sound or none,
  // unnoticed. The monitor of the default output is moved by this stream itself.
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
      (impl->options.monitorOfDefaultSink ? PA_STREAM_NOFLAGS : PA_STREAM_DONT_MOVE));
  const std::string what = "Recording the sound source \"" + source.name + "\"";
  if (pa_stream_connect_record(impl->stream, source.name.c_str(), &attributes, flags) < 0)
    connection.fail(what);
  pa_stream* stream = impl->stream;
  connection.runUntil(
      [stream, &connection, &what] {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) connection.fail(what);
        return state == PA_STREAM_READY;
      },
      what);

  Impl* raw = impl.get();
  pa_stream_set_read_callback(stream, &Impl::onReadable, raw);
  pa_stream_set_state_callback(stream, &Impl::onStreamState, raw);
  pa_context_set_state_callback(connection.context(), &Impl::onContextState, raw);
  if (raw->options.monitorOfDefaultSink) {
    pa_context_set_subscribe_callback(connection.context(), &Impl::onServerEvent, raw);
    if (pa_operation* op =
            pa_context_subscribe(connection.context(), PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr))
      pa_operation_unref(op);
  }
  raw->thread = std::thread([raw] { raw->run(); });
  return std::unique_ptr<PulseRecordStream>(new PulseRecordStream(std::move(impl)));
}

PulseRecordStream::PulseRecordStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PulseRecordStream::~PulseRecordStream() {
  stop();
}

void PulseRecordStream::stop() {
  impl_->stopRequested.store(true);
  pa_mainloop_wakeup(impl_->connection->mainloop());
  if (impl_->thread.get_id() == std::this_thread::get_id()) return;
  std::lock_guard lock(impl_->joinMutex);
  if (impl_->thread.joinable()) impl_->thread.join();
}

void PulseRecordStream::drainUntil(MediaTime end) {
  int64_t expected = 0;
  if (!end.isValid() ||
      !impl_->drainEndNs.compare_exchange_strong(expected, std::max<int64_t>(1, end.nanoseconds())))
    return;
  pa_mainloop_wakeup(impl_->connection->mainloop());
}

bool PulseRecordStream::drained() const {
  return impl_->drainedFlag.load();
}

std::string PulseRecordStream::sourceName() const {
  std::lock_guard lock(impl_->nameMutex);
  return impl_->sourceName;
}

AudioFormat PulseRecordStream::sourceFormat() const {
  return impl_->sourceFormat;
}

}  // namespace tk
