#include "platform/ffmpeg/AudioFileWriter.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/FfmpegHandles.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace tk {

namespace {

struct CodecChoice {
  const char* encoder;
  const char* muxer;
  bool experimentalInContainer;  // FLAC in MPEG-4 is still flagged experimental by the muxer
};

CodecChoice choiceFor(AudioCodecKind codec) {
  switch (codec) {
    case AudioCodecKind::alac:
      return {"alac", "ipod", false};
    case AudioCodecKind::flac:
      return {"flac", "mp4", true};
    case AudioCodecKind::opus:
      return {"libopus", "mp4", false};
    case AudioCodecKind::aac:
      break;
  }
  return {"aac", "ipod", false};
}

// Float when the encoder takes it (no quantising twice), else 16-bit, else what it offers first.
AVSampleFormat sampleFormatFor(const AVCodec* codec) {
  const AVSampleFormat* formats = codec->sample_fmts;
  if (!formats) return AV_SAMPLE_FMT_FLTP;
  for (AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S16})
    for (const AVSampleFormat* f = formats; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == wanted) return wanted;
  return formats[0];
}

constexpr int kConvertFrames = 8192;

}  // namespace

struct AudioFileWriter::Impl {
  std::filesystem::path destination;
  std::filesystem::path partial;
  int channels = 2;
  ff::OutputContextPtr muxer;
  ff::CodecContextPtr encoder;
  AVStream* stream = nullptr;
  ff::SwrPtr converter;
  ff::AudioFifoPtr fifo;
  ff::FramePtr frame{av_frame_alloc()};
  ff::FramePtr converted{av_frame_alloc()};
  ff::PacketPtr packet{av_packet_alloc()};
  int frameSize = 1024;
  int64_t encodedFrames = 0;
  bool finished = false;

  void drainPackets() {
    while (true) {
      const int result = avcodec_receive_packet(encoder.get(), packet.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
      ffmpegCheck(result, "Encoding audio");
      av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
      packet->stream_index = stream->index;
      ffmpegCheck(av_interleaved_write_frame(muxer.get(), packet.get()), "Writing " + destination.string());
    }
  }

  void encodeFromFifo(bool includePartial) {
    while (true) {
      const int available = av_audio_fifo_size(fifo.get());
      if (available <= 0 || (available < frameSize && !includePartial)) return;
      const int count = std::min(available, frameSize);
      ffmpegCheck(av_frame_make_writable(frame.get()), "Preparing an audio frame");
      frame->nb_samples = count;
      if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data), count) < count)
        throw FfmpegError("Reading buffered audio", "the buffer ran short");
      frame->pts = encodedFrames;
      encodedFrames += count;
      ffmpegCheck(avcodec_send_frame(encoder.get(), frame.get()), "Encoding audio");
      drainPackets();
    }
  }
};

AudioFileWriter::AudioFileWriter(std::filesystem::path destination, const AudioFileSettings& settings)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  if (settings.sampleRate < 8000 || settings.channels < 1 || settings.channels > 8)
    throw FfmpegError("Creating " + destination.string(), "unsupported sample rate or channel count");
  if (!d.frame || !d.converted || !d.packet)
    throw FfmpegError("Allocating the audio writer", AVERROR(ENOMEM));
  d.destination = std::move(destination);
  // Hidden, and keeping the extension the muxer checks.
  d.partial = d.destination.parent_path() /
              ("." + d.destination.stem().string() + ".partial" + d.destination.extension().string());
  d.channels = settings.channels;
  const CodecChoice choice = choiceFor(settings.codec);

  const AVCodec* codec = avcodec_find_encoder_by_name(choice.encoder);
  if (!codec)
    throw FfmpegError(std::string("Finding the ") + choice.encoder + " encoder", AVERROR_ENCODER_NOT_FOUND);
  d.encoder.reset(avcodec_alloc_context3(codec));
  if (!d.encoder) throw FfmpegError("Allocating the audio encoder", AVERROR(ENOMEM));
  AVCodecContext* c = d.encoder.get();
  c->sample_fmt = sampleFormatFor(codec);
  c->sample_rate = settings.sampleRate;
  av_channel_layout_default(&c->ch_layout, settings.channels);
  if (settings.bitRate) c->bit_rate = *settings.bitRate;
  c->time_base = AVRational{1, settings.sampleRate};

  AVFormatContext* context = nullptr;
  ffmpegCheck(avformat_alloc_output_context2(&context, nullptr, choice.muxer, d.partial.c_str()),
              "Creating " + d.destination.string());
  d.muxer.reset(context);
  if (choice.experimentalInContainer) context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
  if (context->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  ffmpegCheck(avcodec_open2(c, codec, nullptr), std::string("Opening the ") + choice.encoder + " encoder");
  if (c->frame_size > 0) d.frameSize = c->frame_size;

  d.stream = avformat_new_stream(context, nullptr);
  if (!d.stream) throw FfmpegError("Adding the audio track", AVERROR(ENOMEM));
  d.stream->time_base = c->time_base;
  ffmpegCheck(avcodec_parameters_from_context(d.stream->codecpar, c), "Describing the audio track");

  SwrContext* converter = nullptr;
  AVChannelLayout layout;
  av_channel_layout_default(&layout, settings.channels);
  int result = swr_alloc_set_opts2(&converter, &layout, c->sample_fmt, settings.sampleRate, &layout,
                                   AV_SAMPLE_FMT_FLT, settings.sampleRate, 0, nullptr);
  av_channel_layout_uninit(&layout);
  if (result >= 0) result = swr_init(converter);
  if (result < 0) swr_free(&converter);
  ffmpegCheck(result, "Preparing the audio converter");
  d.converter.reset(converter);

  d.fifo.reset(av_audio_fifo_alloc(c->sample_fmt, settings.channels, d.frameSize * 2));
  if (!d.fifo) throw FfmpegError("Allocating the audio buffer", AVERROR(ENOMEM));
  for (AVFrame* f : {d.frame.get(), d.converted.get()}) {
    f->format = c->sample_fmt;
    f->sample_rate = settings.sampleRate;
    ffmpegCheck(av_channel_layout_copy(&f->ch_layout, &c->ch_layout), "Preparing the audio frame");
  }
  d.frame->nb_samples = d.frameSize;
  ffmpegCheck(av_frame_get_buffer(d.frame.get(), 0), "Allocating the audio frame");
  d.converted->nb_samples = kConvertFrames;
  ffmpegCheck(av_frame_get_buffer(d.converted.get(), 0), "Allocating the audio frame");

  // The hidden file is ours from here on: the destructor removes it unless finish() moved it.
  ffmpegCheck(avio_open(&context->pb, d.partial.c_str(), AVIO_FLAG_WRITE),
              "Creating " + d.destination.string());
  try {
    ffmpegCheck(avformat_write_header(context, nullptr), "Writing the header of " + d.destination.string());
  } catch (...) {
    d.muxer.reset();
    std::error_code ignored;
    std::filesystem::remove(d.partial, ignored);
    throw;
  }
}

AudioFileWriter::~AudioFileWriter() {
  if (impl_->finished) return;
  impl_->muxer.reset();
  std::error_code ignored;
  std::filesystem::remove(impl_->partial, ignored);
}

void AudioFileWriter::write(const float* interleaved, int frames) {
  Impl& d = *impl_;
  if (d.finished) throw FfmpegError("Writing " + d.destination.string(), "the file is already finished");
  while (frames > 0) {
    const int chunk = std::min(frames, kConvertFrames);
    const auto* in = reinterpret_cast<const uint8_t*>(interleaved);
    const int out = swr_convert(d.converter.get(), d.converted->data, kConvertFrames, &in, chunk);
    ffmpegCheck(out, "Converting audio");
    if (av_audio_fifo_write(d.fifo.get(), reinterpret_cast<void**>(d.converted->data), out) < out)
      throw FfmpegError("Buffering audio", AVERROR(ENOMEM));
    d.encodeFromFifo(false);
    interleaved += static_cast<size_t>(chunk) * d.channels;
    frames -= chunk;
    framesWritten_ += chunk;
  }
}

void AudioFileWriter::finish() {
  Impl& d = *impl_;
  if (d.finished) return;
  d.encodeFromFifo(true);
  ffmpegCheck(avcodec_send_frame(d.encoder.get(), nullptr), "Flushing the audio encoder");
  d.drainPackets();
  ffmpegCheck(av_write_trailer(d.muxer.get()), "Finishing " + d.destination.string());
  ffmpegCheck(avio_closep(&d.muxer->pb), "Closing " + d.destination.string());
  std::error_code error;
  std::filesystem::rename(d.partial, d.destination, error);
  if (error) throw FfmpegError("Saving " + d.destination.string(), error.message());
  d.finished = true;
}

}  // namespace tk
