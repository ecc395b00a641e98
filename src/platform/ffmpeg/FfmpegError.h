#pragma once

#include <string>

#include "platform/media/Error.h"

namespace tk {

// A failure inside FFmpeg: "<operation>: <av_strerror text>", domain "FFmpeg", code the AVERROR.
class FfmpegError : public PlatformError {
 public:
  FfmpegError(const std::string& operation, int code);
  // A failure we detect ourselves around an FFmpeg call (no AVERROR to explain it).
  FfmpegError(const std::string& operation, const std::string& reason);
};

// av_strerror's text for an AVERROR code.
std::string ffmpegErrorText(int code);

// Throws FfmpegError when `result` is negative; returns it otherwise.
int ffmpegCheck(int result, const std::string& operation);

}  // namespace tk
