#include "platform/ffmpeg/VideoFrameReader.h"

#include <algorithm>

#include "platform/ffmpeg/FfmpegError.h"
#include "platform/ffmpeg/StreamDecoder.h"
#include "platform/ffmpeg/YuvToBgraConverter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tk {

namespace {

bool isRgb(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
}

bool hasAlpha(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
}

// Our buffers hold premultiplied alpha; the scaler gives straight alpha.
void premultiply(PixelBuffer& pixels) {
  for (int y = 0; y < pixels.height(); ++y) {
    uint8_t* p = pixels.row(y);
    for (int x = 0; x < pixels.width(); ++x, p += 4) {
      const unsigned a = p[3];
      if (a == 255) continue;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * a + 127) / 255);
    }
  }
}

}  // namespace

struct VideoFrameReader::Impl {
  ff::StreamDecoder decoder;
  ff::FramePtr current{av_frame_alloc()};
  ff::FramePtr lookahead{av_frame_alloc()};
  bool hasCurrent = false;
  bool hasLookahead = false;
  bool currentUnreturned = false;  // a seek placed `current`; advance() hands it out first
  int64_t frameTicks = 1;          // nominal frame duration in the stream's time base
  int outputWidth = 0, outputHeight = 0;
  ff::SwsPtr scaler;
  int scalerWidth = 0, scalerHeight = 0, scalerOutWidth = 0, scalerOutHeight = 0;
  AVPixelFormat scalerFormat = AV_PIX_FMT_NONE;
  int scalerRange = -1, scalerSpace = -1;
  std::unique_ptr<PixelBufferPool> pool;
  uint64_t decoded = 0;

  Impl(const std::filesystem::path& file, int trackID, int threads)
      : decoder(file, AVMEDIA_TYPE_VIDEO, trackID, threads) {
    if (!current || !lookahead) throw FfmpegError("Allocating a video frame", AVERROR(ENOMEM));
    AVStream* s = decoder.stream();
    AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{30, 1};
    frameTicks = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), s->time_base));
  }

  static int64_t timeOf(const AVFrame* frame) {
    return frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
  }
  int64_t durationOf(const AVFrame* frame) const {
    return frame->pkt_duration > 0 ? frame->pkt_duration : frameTicks;
  }

  bool decodeInto(AVFrame* frame) {
    if (!decoder.decodeNext(frame)) return false;
    ++decoded;
    return true;
  }

  // Leaves in `current` the frame shown at `target` (stream time base).
  void position(int64_t target) {
    if (hasCurrent && timeOf(current.get()) <= target &&
        target < timeOf(current.get()) + durationOf(current.get()))
      return;
    const bool ahead = hasCurrent && timeOf(current.get()) < target;
    const int64_t keyframe = decoder.keyframeBefore(target);
    // Forward decoding is cheaper than a seek while the keyframe a seek would land on is behind us.
    const bool forward = ahead && (keyframe == INT64_MIN ? target - timeOf(current.get()) < 2 * frameTicks
                                                         : decoder.lastPacketDts() >= keyframe);
    if (!forward) {
      int64_t seekPoint = target;
      for (int attempt = 0;; ++attempt) {
        decoder.seekBackward(seekPoint);
        hasCurrent = hasLookahead = false;
        if (!stepTowards(target)) break;
        // A seek that landed after the target (an index keyed by decode time) backs off further.
        if (timeOf(current.get()) <= target || attempt == 3 || seekPoint <= decoder.origin()) return;
        seekPoint -= std::max<int64_t>(frameTicks * 60, target - seekPoint + 1);
      }
      return;
    }
    stepTowards(target);
  }

  // Decodes forward until `current` holds the frame shown at `target`; false when nothing decoded.
  bool stepTowards(int64_t target) {
    decoder.setSkipNonReferenceBefore(target, frameTicks);
    for (;;) {
      if (hasLookahead) {
        if (timeOf(lookahead.get()) > target && hasCurrent) break;
        std::swap(current, lookahead);
        hasLookahead = false;
        hasCurrent = true;
      } else {
        if (!decodeInto(lookahead.get())) break;
        hasLookahead = true;
        continue;
      }
      if (target < timeOf(current.get()) + durationOf(current.get())) break;
    }
    decoder.setSkipNonReferenceBefore(INT64_MIN);
    return hasCurrent;
  }

  bool advance() {
    if (currentUnreturned) {
      currentUnreturned = false;
      return hasCurrent;
    }
    if (hasLookahead) {
      std::swap(current, lookahead);
      hasLookahead = false;
      hasCurrent = true;
      return true;
    }
    hasCurrent = decodeInto(current.get());
    return hasCurrent;
  }

  SampleBuffer convert() {
    if (!hasCurrent) return {};
    AVFrame* frame = current.get();
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const int outW = outputWidth > 0 ? outputWidth : frame->width;
    const int outH = outputHeight > 0 ? outputHeight : frame->height;
    // Full-range sources (JPEG-style YUV) say so; everything else is limited range.
    const int range = frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    const int space = frame->colorspace == AVCOL_SPC_SMPTE170M || frame->colorspace == AVCOL_SPC_BT470BG
                          ? SWS_CS_ITU601
                          : SWS_CS_ITU709;
    // Idle buffers are kept for as many frames as a consumer holds at once (an export's frames in
    // flight), so none is freed and allocated again a frame later; the pool never holds more than
    // were in use together.
    if (!pool || pool->width() != outW || pool->height() != outH)
      pool = std::make_unique<PixelBufferPool>(outW, outH, 12);
    auto pixels = pool->acquire();
    // Our recordings (and most files) are 4:2:0 shown at natural size: converted here, several times
    // cheaper than the general scaler, which takes every other format and every scaled picture.
    if ((format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) && outW == frame->width &&
        outH == frame->height) {
      const YuvToBgra conversion(space == SWS_CS_ITU601 ? YuvToBgra::Matrix::bt601 : YuvToBgra::Matrix::bt709,
                                 range == 1 || format == AV_PIX_FMT_YUVJ420P);
      conversion.convert(frame->data[0], frame->linesize[0], frame->data[1], frame->linesize[1],
                         frame->data[2], frame->linesize[2], outW, outH, pixels->data(),
                         pixels->bytesPerRow());
      return framed(std::move(pixels), frame);
    }
    if (!scaler || scalerWidth != frame->width || scalerHeight != frame->height || scalerFormat != format ||
        scalerOutWidth != outW || scalerOutHeight != outH || scalerRange != range || scalerSpace != space) {
      // Unscaled conversion takes the scaler's direct path; a picture scaled for display (the
      // player's view) takes its fast filter, several times cheaper than the exact one.
      const int flags = (outW == frame->width && outH == frame->height) ? SWS_POINT : SWS_FAST_BILINEAR;
      scaler.reset(sws_getContext(frame->width, frame->height, format, outW, outH, AV_PIX_FMT_BGRA, flags,
                                  nullptr, nullptr, nullptr));
      if (!scaler) throw FfmpegError("Setting up the colour conversion", "the scaler refused the format");
      if (!isRgb(format)) {
        const int* coefficients = sws_getCoefficients(space);
        sws_setColorspaceDetails(scaler.get(), coefficients, range, sws_getCoefficients(SWS_CS_ITU709), 1, 0,
                                 1 << 16, 1 << 16);
      }
      scalerWidth = frame->width;
      scalerHeight = frame->height;
      scalerFormat = format;
      scalerOutWidth = outW;
      scalerOutHeight = outH;
      scalerRange = range;
      scalerSpace = space;
    }
    uint8_t* destination[4] = {pixels->data(), nullptr, nullptr, nullptr};
    int strides[4] = {pixels->bytesPerRow(), 0, 0, 0};
    ffmpegCheck(sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, destination, strides),
                "Converting a video frame");
    if (hasAlpha(format))
      premultiply(*pixels);
    else if (!isRgb(format) && pixels->row(0)[3] != 255) {
      // Some scaler paths leave alpha of YUV sources unset; make the frame opaque.
      for (int y = 0; y < outH; ++y) {
        uint8_t* p = pixels->row(y) + 3;
        for (int x = 0; x < outW; ++x, p += 4) *p = 255;
      }
    }
    return framed(std::move(pixels), frame);
  }

  SampleBuffer framed(std::shared_ptr<PixelBuffer> pixels, const AVFrame* frame) const {
    return SampleBuffer::video(std::move(pixels), decoder.toMediaTime(timeOf(frame)),
                               decoder.toMediaTime(decoder.origin() + durationOf(frame)));
  }
};

VideoFrameReader::VideoFrameReader(const std::filesystem::path& file, int trackID, int decoderThreads)
    : impl_(std::make_unique<Impl>(file, trackID, std::max(decoderThreads, 0))) {}

VideoFrameReader::~VideoFrameReader() = default;

int VideoFrameReader::naturalWidth() const {
  return impl_->decoder.stream()->codecpar->width;
}
int VideoFrameReader::naturalHeight() const {
  return impl_->decoder.stream()->codecpar->height;
}
MediaTime VideoFrameReader::nominalFrameDuration() const {
  return impl_->decoder.toMediaTime(impl_->decoder.origin() + impl_->frameTicks);
}

void VideoFrameReader::setOutputSize(int width, int height) {
  impl_->outputWidth = std::max(0, width);
  impl_->outputHeight = std::max(0, height);
}
int VideoFrameReader::outputWidth() const {
  return impl_->outputWidth > 0 ? impl_->outputWidth : naturalWidth();
}
int VideoFrameReader::outputHeight() const {
  return impl_->outputHeight > 0 ? impl_->outputHeight : naturalHeight();
}

SampleBuffer VideoFrameReader::frameAt(MediaTime time) {
  seek(time);
  if (!impl_->hasCurrent) throw FfmpegError("Reading a video frame", "the track holds no decodable frame");
  impl_->currentUnreturned = false;
  return impl_->convert();
}

void VideoFrameReader::seek(MediaTime time) {
  impl_->position(impl_->decoder.toStreamTime(time));
  impl_->currentUnreturned = impl_->hasCurrent;
}

std::optional<MediaTime> VideoFrameReader::advance() {
  if (!impl_->advance()) return std::nullopt;
  return impl_->decoder.toMediaTime(Impl::timeOf(impl_->current.get()));
}

SampleBuffer VideoFrameReader::currentFrame() {
  return impl_->convert();
}

std::optional<SampleBuffer> VideoFrameReader::nextFrame() {
  if (!advance()) return std::nullopt;
  return currentFrame();
}

uint64_t VideoFrameReader::decodedFrameCount() const {
  return impl_->decoded;
}

}  // namespace tk
