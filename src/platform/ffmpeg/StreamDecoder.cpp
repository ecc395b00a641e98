#include "platform/ffmpeg/StreamDecoder.h"

#include "platform/ffmpeg/FfmpegError.h"

namespace tk::ff {

InputContextPtr openInput(const std::filesystem::path& file) {
  const std::string operation = "Opening " + file.string();
  AVFormatContext* raw = nullptr;
  ffmpegCheck(avformat_open_input(&raw, file.c_str(), nullptr, nullptr), operation);
  InputContextPtr context(raw);
  ffmpegCheck(avformat_find_stream_info(context.get(), nullptr), operation);
  return context;
}

StreamDecoder::StreamDecoder(const std::filesystem::path& file, AVMediaType type, int trackID, int threads)
    : format_(openInput(file)) {
  const char* kind = type == AVMEDIA_TYPE_VIDEO ? "video" : "audio";
  AVFormatContext* f = format_.get();
  if (trackID > 0) {
    if (trackID > static_cast<int>(f->nb_streams) || f->streams[trackID - 1]->codecpar->codec_type != type)
      throw FfmpegError("Opening " + file.string(),
                        "track " + std::to_string(trackID) + " is not a " + kind + " track");
    stream_ = f->streams[trackID - 1];
  } else {
    for (unsigned i = 0; i < f->nb_streams && !stream_; ++i)
      if (f->streams[i]->codecpar->codec_type == type &&
          !(f->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        stream_ = f->streams[i];
    if (!stream_)
      throw FfmpegError("Opening " + file.string(), std::string("the file has no ") + kind + " track");
  }
  for (unsigned i = 0; i < f->nb_streams; ++i)
    if (f->streams[i] != stream_) f->streams[i]->discard = AVDISCARD_ALL;

  const AVCodec* decoder = avcodec_find_decoder(stream_->codecpar->codec_id);
  if (!decoder) throw FfmpegError("Finding a decoder for " + file.string(), AVERROR_DECODER_NOT_FOUND);
  codec_.reset(avcodec_alloc_context3(decoder));
  if (!codec_) throw FfmpegError("Allocating a decoder", AVERROR(ENOMEM));
  ffmpegCheck(avcodec_parameters_to_context(codec_.get(), stream_->codecpar), "Setting up the decoder");
  codec_->pkt_timebase = stream_->time_base;
  codec_->thread_count = threads;
  ffmpegCheck(avcodec_open2(codec_.get(), decoder, nullptr),
              std::string("Opening the ") + decoder->name + " decoder for " + file.string());
  packet_.reset(av_packet_alloc());
  if (!packet_) throw FfmpegError("Allocating a packet", AVERROR(ENOMEM));

  if (f->start_time != AV_NOPTS_VALUE)
    origin_ = av_rescale_q(f->start_time, AVRational{1, AV_TIME_BASE}, stream_->time_base);
}

bool StreamDecoder::decodeNext(AVFrame* frame) {
  AVCodecContext* c = codec_.get();
  for (;;) {
    const int received = avcodec_receive_frame(c, frame);
    if (received == 0) return true;
    if (received == AVERROR_EOF) {
      ended_ = true;
      return false;
    }
    if (received != AVERROR(EAGAIN) && received != AVERROR_INVALIDDATA)
      throw FfmpegError("Decoding a frame", received);
    if (draining_) {
      if (received == AVERROR(EAGAIN)) return false;
      continue;
    }
    const int read = av_read_frame(format_.get(), packet_.get());
    if (read == AVERROR_EOF || (read < 0 && avio_feof(format_->pb))) {
      draining_ = true;
      avcodec_send_packet(c, nullptr);
      continue;
    }
    ffmpegCheck(read, "Reading a packet");
    if (packet_->stream_index != stream_->index) {
      av_packet_unref(packet_.get());
      continue;
    }
    if (packet_->dts != AV_NOPTS_VALUE) lastDts_ = packet_->dts;
    // Files whose packets carry no duration are taken at the nominal frame duration.
    const int64_t duration = packet_->duration > 0 ? packet_->duration : skipDuration_;
    const bool before = skipBefore_ != INT64_MIN && packet_->pts != AV_NOPTS_VALUE && duration > 0 &&
                        packet_->pts + duration <= skipBefore_;
    c->skip_frame = before ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    const int sent = avcodec_send_packet(c, packet_.get());
    av_packet_unref(packet_.get());
    // A damaged packet costs its own frame only; the stream goes on.
    if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN))
      throw FfmpegError("Decoding a packet", sent);
  }
}

void StreamDecoder::seekBackward(int64_t timestamp) {
  ffmpegCheck(av_seek_frame(format_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD), "Seeking");
  avcodec_flush_buffers(codec_.get());
  draining_ = false;
  ended_ = false;
  lastDts_ = INT64_MIN;
}

int64_t StreamDecoder::keyframeBefore(int64_t timestamp) const {
  const AVIndexEntry* entry =
      avformat_index_get_entry_from_timestamp(stream_, timestamp, AVSEEK_FLAG_BACKWARD);
  return entry ? entry->timestamp : INT64_MIN;
}

MediaTime StreamDecoder::toMediaTime(int64_t timestamp) const {
  if (timestamp == AV_NOPTS_VALUE) return MediaTime::invalid();
  const AVRational base = stream_->time_base;
  if (base.num == 1 && base.den > 0 && base.den <= INT32_MAX) return MediaTime(timestamp - origin_, base.den);
  return MediaTime(av_rescale_q(timestamp - origin_, base, AVRational{1, 1'000'000}), 1'000'000);
}

int64_t StreamDecoder::toStreamTime(MediaTime time) const {
  if (!time.isValid()) return origin_;
  return av_rescale_q_rnd(time.value(), AVRational{1, time.timescale()}, stream_->time_base,
                          static_cast<AVRounding>(AV_ROUND_DOWN | AV_ROUND_PASS_MINMAX)) +
         origin_;
}

}  // namespace tk::ff
