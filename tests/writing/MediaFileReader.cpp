#include "MediaFileReader.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

namespace tk::test {

namespace {

struct Input {
  AVFormatContext* context = nullptr;
  explicit Input(const std::filesystem::path& path) {
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0)
      throw std::runtime_error("cannot open " + path.string());
    if (avformat_find_stream_info(context, nullptr) < 0) {
      avformat_close_input(&context);
      throw std::runtime_error("cannot read " + path.string());
    }
  }
  ~Input() { avformat_close_input(&context); }
};

struct Decoder {
  AVCodecContext* context = nullptr;
  explicit Decoder(AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, stream->codecpar);
    context->pkt_timebase = stream->time_base;
    if (avcodec_open2(context, codec, nullptr) < 0) throw std::runtime_error("cannot open decoder");
  }
  ~Decoder() { avcodec_free_context(&context); }
};

std::string name(const char* text) {
  return text ? text : "";
}

int streamIndex(AVFormatContext* context, AVMediaType type, int nth) {
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (context->streams[i]->codecpar->codec_type != type) continue;
    if (nth-- == 0) return static_cast<int>(i);
  }
  throw std::runtime_error("no such stream");
}

// Runs every packet of one stream through its decoder; `onFrame` sees each decoded frame.
template <typename OnFrame>
void decodeStream(AVFormatContext* context, int index, OnFrame onFrame) {
  Decoder decoder(context->streams[index]);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&] {
    while (avcodec_receive_frame(decoder.context, frame) >= 0) {
      const bool more = onFrame(frame);
      av_frame_unref(frame);
      if (!more) return false;
    }
    return true;
  };
  bool more = true;
  while (more && av_read_frame(context, packet) >= 0) {
    if (packet->stream_index == index) {
      avcodec_send_packet(decoder.context, packet);
      more = drain();
    }
    av_packet_unref(packet);
  }
  if (more) {
    avcodec_send_packet(decoder.context, nullptr);
    drain();
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
}

}  // namespace

const StreamInfo* MediaFileInfo::video() const {
  for (const auto& stream : streams)
    if (stream.type == "video") return &stream;
  return nullptr;
}

std::vector<const StreamInfo*> MediaFileInfo::audio() const {
  std::vector<const StreamInfo*> result;
  for (const auto& stream : streams)
    if (stream.type == "audio") result.push_back(&stream);
  return result;
}

MediaFileInfo readMediaFile(const std::filesystem::path& path) {
  Input input(path);
  MediaFileInfo info;
  info.formatName = input.context->iformat->name;
  for (unsigned i = 0; i < input.context->nb_streams; ++i) {
    const AVStream* stream = input.context->streams[i];
    const AVCodecParameters* parameters = stream->codecpar;
    StreamInfo s;
    s.type = parameters->codec_type == AVMEDIA_TYPE_VIDEO   ? "video"
             : parameters->codec_type == AVMEDIA_TYPE_AUDIO ? "audio"
                                                            : "other";
    s.codec = avcodec_get_name(parameters->codec_id);
    char tag[5] = {};
    for (int b = 0; b < 4; ++b) tag[b] = static_cast<char>((parameters->codec_tag >> (8 * b)) & 0xff);
    s.codecTag = tag;
    s.width = parameters->width;
    s.height = parameters->height;
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO && parameters->format >= 0) {
      const auto format = static_cast<AVPixelFormat>(parameters->format);
      s.pixelFormat = name(av_get_pix_fmt_name(format));
      const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
      s.hasAlpha = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
    }
    s.colorPrimaries = name(av_color_primaries_name(parameters->color_primaries));
    s.colorTransfer = name(av_color_transfer_name(parameters->color_trc));
    s.colorSpace = name(av_color_space_name(parameters->color_space));
    s.colorRange = name(av_color_range_name(parameters->color_range));
    s.sampleRate = parameters->sample_rate;
    s.channels = parameters->ch_layout.nb_channels;
    s.bitRate = parameters->bit_rate;
    s.firstTime = 1e18;
    if (stream->duration != AV_NOPTS_VALUE) s.duration = stream->duration * av_q2d(stream->time_base);
    info.streams.push_back(s);
  }
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input.context, packet) >= 0) {
    StreamInfo& s = info.streams[packet->stream_index];
    const double base = av_q2d(input.context->streams[packet->stream_index]->time_base);
    ++s.packetCount;
    if (packet->pts != AV_NOPTS_VALUE) {
      s.firstTime = std::min(s.firstTime, packet->pts * base);
      s.endTime = std::max(s.endTime, (packet->pts + packet->duration) * base);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  for (auto& s : info.streams)
    if (s.packetCount == 0) s.firstTime = 0;
  return info;
}

DecodedPixel decodeVideoPixel(const std::filesystem::path& path, int frameIndex, int x, int y) {
  Input input(path);
  const int index = streamIndex(input.context, AVMEDIA_TYPE_VIDEO, 0);
  DecodedPixel pixel;
  bool found = false;
  int seen = 0;
  decodeStream(input.context, index, [&](AVFrame* frame) {
    if (seen++ != frameIndex) return true;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    const bool wide = descriptor->comp[0].depth > 8;
    auto read = [&](int plane, int px, int py) {
      const uint8_t* row = frame->data[plane] + static_cast<ptrdiff_t>(py) * frame->linesize[plane];
      return wide ? reinterpret_cast<const uint16_t*>(row)[px] : row[px];
    };
    const int cx = x >> descriptor->log2_chroma_w;
    const int cy = y >> descriptor->log2_chroma_h;
    pixel.y = read(0, x, y);
    pixel.u = read(1, cx, cy);
    pixel.v = read(2, cx, cy);
    if (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) pixel.a = read(3, x, y);
    found = true;
    return false;
  });
  if (!found) throw std::runtime_error("no such frame");
  return pixel;
}

std::vector<double> videoFrameTimes(const std::filesystem::path& path) {
  Input input(path);
  const int index = streamIndex(input.context, AVMEDIA_TYPE_VIDEO, 0);
  const double base = av_q2d(input.context->streams[index]->time_base);
  std::vector<double> times;
  decodeStream(input.context, index, [&](AVFrame* frame) {
    times.push_back(frame->best_effort_timestamp * base);
    return true;
  });
  return times;
}

std::vector<double> videoKeyframeTimes(const std::filesystem::path& path) {
  Input input(path);
  const int index = streamIndex(input.context, AVMEDIA_TYPE_VIDEO, 0);
  const double base = av_q2d(input.context->streams[index]->time_base);
  std::vector<double> times;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input.context, packet) >= 0) {
    if (packet->stream_index == index && (packet->flags & AV_PKT_FLAG_KEY))
      times.push_back(packet->pts * base);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return times;
}

std::vector<float> decodeAudioChannel(const std::filesystem::path& path, int audioIndex, int* sampleRate) {
  Input input(path);
  const int index = streamIndex(input.context, AVMEDIA_TYPE_AUDIO, audioIndex);
  const AVStream* stream = input.context->streams[index];
  const int rate = stream->codecpar->sample_rate;
  if (sampleRate) *sampleRate = rate;
  std::vector<float> samples;
  decodeStream(input.context, index, [&](AVFrame* frame) {
    const int64_t start = av_rescale_q(frame->best_effort_timestamp, stream->time_base, AVRational{1, rate});
    const auto* data = reinterpret_cast<const float*>(frame->data[0]);
    for (int i = 0; i < frame->nb_samples; ++i) {
      const int64_t at = start + i;
      if (at < 0) continue;
      if (static_cast<size_t>(at) >= samples.size()) samples.resize(at + 1, 0.0f);
      samples[at] = data[i];
    }
    return true;
  });
  return samples;
}

}  // namespace tk::test
