#include "platform/v4l2/V4l2FrameConverter.h"

#include <linux/videodev2.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include "platform/media/Error.h"

namespace tk {

namespace {
constexpr const char* kDomain = "V4L2";

// Decoders hand out full-range "J" formats; the scaler wants the plain ones with a range flag.
AVPixelFormat withoutFullRangeAlias(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      fullRange = true;
      return AV_PIX_FMT_YUV440P;
    default:
      return format;
  }
}
}  // namespace

V4l2FrameConverter::V4l2FrameConverter(uint32_t pixelFormat, int width, int height, int bytesPerLine)
    : pixelFormat_(pixelFormat),
      width_(width),
      height_(height),
      bytesPerLine_(bytesPerLine),
      pool_(width, height, 6) {
  if (pixelFormat == V4L2_PIX_FMT_YUYV) return;
  if (pixelFormat != V4L2_PIX_FMT_MJPEG && pixelFormat != V4L2_PIX_FMT_JPEG)
    throw PlatformError(kDomain, EINVAL, "Converting camera frames: unsupported pixel format");
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
  decoder_ = codec ? avcodec_alloc_context3(codec) : nullptr;
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!decoder_ || !frame_ || !packet_ || avcodec_open2(decoder_, codec, nullptr) < 0) {
    avcodec_free_context(&decoder_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    throw PlatformError(kDomain, ENOSYS, "Converting camera frames: no MJPEG decoder");
  }
}

V4l2FrameConverter::~V4l2FrameConverter() {
  sws_freeContext(scaler_);
  avcodec_free_context(&decoder_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

std::shared_ptr<PixelBuffer> V4l2FrameConverter::scale(const uint8_t* const planes[], const int strides[],
                                                       int format, int width, int height) {
  bool fullRange = false;
  const AVPixelFormat source = withoutFullRangeAlias(static_cast<AVPixelFormat>(format), fullRange);
  scaler_ = sws_getCachedContext(scaler_, width, height, source, width_, height_, AV_PIX_FMT_BGRA,
                                 SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return nullptr;
  if (fullRange) {
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceRange, destinationRange, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(scaler_, &inverse, &sourceRange, &table, &destinationRange, &brightness,
                                 &contrast, &saturation) >= 0)
      sws_setColorspaceDetails(scaler_, inverse, 1, table, destinationRange, brightness, contrast,
                               saturation);
  }
  auto pixels = pool_.acquire();
  uint8_t* destination[1] = {pixels->data()};
  const int destinationStride[1] = {pixels->bytesPerRow()};
  if (sws_scale(scaler_, planes, strides, 0, height, destination, destinationStride) != height_)
    return nullptr;
  return pixels;
}

std::shared_ptr<PixelBuffer> V4l2FrameConverter::convert(const uint8_t* data, size_t size) {
  if (pixelFormat_ == V4L2_PIX_FMT_YUYV) {
    if (size < static_cast<size_t>(bytesPerLine_) * height_) return nullptr;
    const uint8_t* planes[1] = {data};
    const int strides[1] = {bytesPerLine_};
    return scale(planes, strides, AV_PIX_FMT_YUYV422, width_, height_);
  }
  // The decoder reads a little past the end of its input; give it padding.
  padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
  std::memcpy(padded_.data(), data, size);
  std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  packet_->data = padded_.data();
  packet_->size = static_cast<int>(size);
  if (avcodec_send_packet(decoder_, packet_) < 0) return nullptr;
  if (avcodec_receive_frame(decoder_, frame_) < 0) return nullptr;
  auto pixels = scale(frame_->data, frame_->linesize, frame_->format, frame_->width, frame_->height);
  av_frame_unref(frame_);
  return pixels;
}

}  // namespace tk
