#include <algorithm>

#include "platform/ffmpeg/AssetWriterInputs.h"
#include "platform/ffmpeg/FfmpegError.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace tk {

namespace {

constexpr int kSilenceChunk = 4800;

int64_t framesAt(MediaTime time, int sampleRate) {
  return time.convertScale(sampleRate, MediaTime::Rounding::NearestAwayFromZero).value();
}

}  // namespace

AssetWriterAudioInput::AssetWriterAudioInput(AssetWriterMuxer& muxer, const AudioInputSettings& settings)
    : EncodingInput(muxer, "tk-encode-audio"),
      sampleRate_(settings.sampleRate),
      channels_(settings.channels) {
  if (sampleRate_ < 8000 || channels_ < 1 || channels_ > 8)
    throw FfmpegError("Adding an audio input", "unsupported sample rate or channel count");
  // 20 ms: well under what anyone hears as out of sync, well over scheduling jitter of a source.
  gapTolerance_ = sampleRate_ / 50;

  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  if (!codec) throw FfmpegError("Finding the AAC encoder", AVERROR_ENCODER_NOT_FOUND);
  encoder_.reset(avcodec_alloc_context3(codec));
  if (!encoder_) throw FfmpegError("Allocating the audio encoder", AVERROR(ENOMEM));
  AVCodecContext* c = encoder_.get();
  c->sample_fmt = AV_SAMPLE_FMT_FLTP;
  c->sample_rate = sampleRate_;
  av_channel_layout_default(&c->ch_layout, channels_);
  c->bit_rate = settings.bitRate;
  c->time_base = AVRational{1, sampleRate_};
  if (muxer.context->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  ffmpegCheck(avcodec_open2(c, codec, nullptr), "Opening the AAC encoder");
  stream_ = addEncoderStream(muxer, c);
  packetDuration_ = c->frame_size;

  fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels_, sampleRate_));
  if (!fifo_) throw FfmpegError("Allocating the audio buffer", AVERROR(ENOMEM));
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->nb_samples = c->frame_size;
  frame_->sample_rate = sampleRate_;
  ffmpegCheck(av_channel_layout_copy(&frame_->ch_layout, &c->ch_layout), "Preparing the audio frame");
  ffmpegCheck(av_frame_get_buffer(frame_.get(), 0), "Allocating the audio frame");

  planes_.assign(channels_, std::vector<float>(sampleRate_ / 10));
  silence_.assign(channels_, std::vector<float>(kSilenceChunk, 0.0f));
  planePointers_.resize(channels_);
}

AssetWriterAudioInput::~AssetWriterAudioInput() {
  stop(false, MediaTime::invalid());
}

void AssetWriterAudioInput::startTrackAtZero() {
  lead_ = encoder_->initial_padding;
  timestampShift_ = lead_;
}

void AssetWriterAudioInput::start() {
  thread_ = std::thread([this] {
    nameThread();
    run();
  });
}

bool AssetWriterAudioInput::append(std::shared_ptr<const AudioBlock> block, MediaTime time) {
  if (!block || block->frameCount <= 0 || !time.isValid()) return false;
  Item item{std::move(block), time};
  if (!queue_.tryPush(item)) {
    ++refused_;
    return false;
  }
  ++accepted_;
  return true;
}

void AssetWriterAudioInput::run() {
  Item item;
  while (queue_.pop(item)) {
    if (!failed_) place(*item.block, item.time);
    item.block.reset();
  }
}

// Puts a block where its time says: a source that went quiet for a while leaves silence of the
// right length, and a block that overlaps what is written loses its overlapping head. Small
// mismatches are left alone, so steady delivery jitter never adds clicks.
void AssetWriterAudioInput::place(const AudioBlock& block, MediaTime time) {
  if (block.format.sampleRate <= 0 || block.format.channels <= 0) return;
  int64_t expected = framesAt(time, sampleRate_) - lead_;
  int firstFrame = 0;
  if (expected < 0) {
    // Sound from before the encoder's first frame: the priming stands in for it.
    const int64_t early = -expected * block.format.sampleRate / sampleRate_;
    if (early >= block.frameCount) return;
    firstFrame = static_cast<int>(early);
    expected = 0;
  }
  const int64_t difference = expected - position_;
  if (difference > gapTolerance_) {
    pushSilence(difference);
  } else if (difference < -gapTolerance_) {
    const int64_t overlap = -difference * block.format.sampleRate / sampleRate_;
    if (firstFrame + overlap >= block.frameCount) {
      trimmedFrames_ += block.frameCount - firstFrame;
      return;
    }
    firstFrame += static_cast<int>(overlap);
    trimmedFrames_ += overlap;
  }
  pushConverted(block, firstFrame);
  encodeAvailable(false);
}

void AssetWriterAudioInput::pushSilence(int64_t frames) {
  for (int c = 0; c < channels_; ++c) planePointers_[c] = silence_[c].data();
  silenceFrames_ += frames;
  while (frames > 0) {
    const int chunk = static_cast<int>(std::min<int64_t>(frames, kSilenceChunk));
    if (av_audio_fifo_write(fifo_.get(), planePointers_.data(), chunk) < chunk) {
      fail("Buffering audio: out of memory");
      return;
    }
    position_ += chunk;
    frames -= chunk;
    encodeAvailable(false);
  }
}

bool AssetWriterAudioInput::prepareResampler(const AudioFormat& format) {
  if (resampler_ && format == resamplerFormat_) return true;
  AVChannelLayout inLayout;
  AVChannelLayout outLayout;
  av_channel_layout_default(&inLayout, format.channels);
  av_channel_layout_default(&outLayout, channels_);
  SwrContext* context = nullptr;
  int result = swr_alloc_set_opts2(&context, &outLayout, AV_SAMPLE_FMT_FLTP, sampleRate_, &inLayout,
                                   format.interleaved ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_FLTP,
                                   format.sampleRate, 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av_channel_layout_uninit(&outLayout);
  if (result >= 0) result = swr_init(context);
  if (result < 0) {
    swr_free(&context);
    fail(FfmpegError("Preparing the audio converter", result).localizedDescription());
    return false;
  }
  resampler_.reset(context);
  resamplerFormat_ = format;
  return true;
}

void AssetWriterAudioInput::pushConverted(const AudioBlock& block, int firstFrame) {
  if (!prepareResampler(block.format)) return;
  const int inFrames = block.frameCount - firstFrame;
  const int channelsIn = block.format.channels;
  const float* in[8] = {};
  if (block.format.interleaved) {
    in[0] = block.samples.data() + static_cast<size_t>(firstFrame) * channelsIn;
  } else {
    for (int c = 0; c < std::min(channelsIn, 8); ++c)
      in[c] = block.samples.data() + static_cast<size_t>(c) * block.frameCount + firstFrame;
  }
  const int capacity = swr_get_out_samples(resampler_.get(), inFrames);
  if (capacity > static_cast<int>(planes_[0].size()))
    for (auto& plane : planes_) plane.resize(capacity);  // only for an unusually long block
  for (int c = 0; c < channels_; ++c) planePointers_[c] = planes_[c].data();
  const int converted =
      swr_convert(resampler_.get(), reinterpret_cast<uint8_t**>(planePointers_.data()),
                  static_cast<int>(planes_[0].size()), reinterpret_cast<const uint8_t**>(in), inFrames);
  if (converted < 0) {
    fail(FfmpegError("Converting audio", converted).localizedDescription());
    return;
  }
  if (av_audio_fifo_write(fifo_.get(), planePointers_.data(), converted) < converted) {
    fail("Buffering audio: out of memory");
    return;
  }
  position_ += converted;
}

void AssetWriterAudioInput::encodeAvailable(bool includePartial) {
  const int frameSize = encoder_->frame_size;
  while (!failed_) {
    const int available = av_audio_fifo_size(fifo_.get());
    if (available <= 0 || (available < frameSize && !includePartial)) return;
    const int count = std::min(available, frameSize);
    int result = av_frame_make_writable(frame_.get());
    if (result < 0) {
      fail(FfmpegError("Preparing an audio frame", result).localizedDescription());
      return;
    }
    frame_->nb_samples = count;
    av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), count);
    frame_->pts = encodedFrames_;
    encodedFrames_ += count;
    encoded_ += count;
    encode(frame_.get(), "Encoding audio");
  }
}

void AssetWriterAudioInput::stop(bool drain, MediaTime endTime) {
  if (!thread_.joinable()) return;
  if (!drain) queue_.clear();
  queue_.close();
  thread_.join();
  if (!drain || failed_) return;
  // A source that fell silent before the end still fills its track up to the end of the picture.
  if (endTime.isValid()) {
    const int64_t end = framesAt(endTime, sampleRate_) - lead_;
    if (end > position_) pushSilence(end - position_);
  }
  encodeAvailable(true);
  if (!failed_) encode(nullptr, "Flushing the audio encoder");
}

InputCounters AssetWriterAudioInput::counters() const {
  InputCounters counters;
  counters.accepted = accepted_;
  counters.refused = refused_;
  counters.encoded = encoded_;
  counters.silenceFrames = silenceFrames_;
  counters.trimmedFrames = trimmedFrames_;
  return counters;
}

}  // namespace tk
