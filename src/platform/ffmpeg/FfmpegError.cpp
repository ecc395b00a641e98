#include "platform/ffmpeg/FfmpegError.h"

extern "C" {
#include <libavutil/error.h>
}

namespace tk {

std::string ffmpegErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return "error " + std::to_string(code);
  return text;
}

FfmpegError::FfmpegError(const std::string& operation, int code)
    : PlatformError("FFmpeg", code, operation + ": " + ffmpegErrorText(code)) {}

FfmpegError::FfmpegError(const std::string& operation, const std::string& reason)
    : PlatformError("FFmpeg", -1, operation + ": " + reason) {}

int ffmpegCheck(int result, const std::string& operation) {
  if (result < 0) throw FfmpegError(operation, result);
  return result;
}

}  // namespace tk
