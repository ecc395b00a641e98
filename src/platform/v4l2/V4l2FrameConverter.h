#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/media/PixelBuffer.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace tk {

// Turns the frames a camera delivers (MJPEG or YUYV) into BGRA pixel buffers from a pool. One per
// stream, used on that stream's thread only; nothing is allocated per frame once running.
class V4l2FrameConverter {
 public:
  // Throws PlatformError (domain "V4L2") for a pixel format it cannot convert.
  V4l2FrameConverter(uint32_t pixelFormat, int width, int height, int bytesPerLine);
  ~V4l2FrameConverter();
  V4l2FrameConverter(const V4l2FrameConverter&) = delete;
  V4l2FrameConverter& operator=(const V4l2FrameConverter&) = delete;

  // Null for a damaged or truncated frame, which the stream then skips.
  std::shared_ptr<PixelBuffer> convert(const uint8_t* data, size_t size);

 private:
  std::shared_ptr<PixelBuffer> scale(const uint8_t* const planes[], const int strides[], int format,
                                     int width, int height);

  uint32_t pixelFormat_;
  int width_;
  int height_;
  int bytesPerLine_;
  PixelBufferPool pool_;
  AVCodecContext* decoder_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> padded_;
};

}  // namespace tk
