#include "writing/AlphaChannelRecorder.h"

#include "platform/ffmpeg/EncoderProbe.h"

namespace tk {

std::string displayName(AlphaVideoCodec codec) {
  switch (codec) {
    case AlphaVideoCodec::hevcWithAlpha:
      return "HEVC with Alpha";
    case AlphaVideoCodec::proRes4444:
      return "ProRes 4444";
    case AlphaVideoCodec::proRes4444XQ:
      return "ProRes 4444 XQ";
  }
  return "HEVC with Alpha";
}

AlphaRecordingError AlphaRecordingError::codecNotSupported(AlphaVideoCodec codec) {
  AlphaRecordingError error(Kind::codecNotSupported);
  error.codec_ = codec;
  return error;
}

AlphaRecordingError AlphaRecordingError::invalidResolution(int width, int height) {
  AlphaRecordingError error(Kind::invalidResolution);
  error.width_ = width;
  error.height_ = height;
  return error;
}

AlphaRecordingError AlphaRecordingError::resolutionTooLarge(int width, int height, int maximum) {
  AlphaRecordingError error(Kind::resolutionTooLarge);
  error.width_ = width;
  error.height_ = height;
  error.limit_ = maximum;
  return error;
}

AlphaRecordingError AlphaRecordingError::invalidAlignment(int width, int height, int required) {
  AlphaRecordingError error(Kind::invalidAlignment);
  error.width_ = width;
  error.height_ = height;
  error.limit_ = required;
  return error;
}

AlphaRecordingError AlphaRecordingError::alphaChannelNotSupported() {
  return AlphaRecordingError(Kind::alphaChannelNotSupported);
}

std::string AlphaRecordingError::localizedDescription() const {
  const std::string size = std::to_string(width_) + "x" + std::to_string(height_);
  switch (kind_) {
    case Kind::codecNotSupported:
      return "Alpha codec '" + displayName(codec_) + "' is not supported on this system";
    case Kind::invalidResolution:
      return "Invalid resolution: " + size + ". Width and height must be greater than 0.";
    case Kind::resolutionTooLarge:
      return "Resolution " + size + " exceeds maximum supported dimension of " + std::to_string(limit_) + ".";
    case Kind::invalidAlignment:
      return "Resolution " + size + " has invalid alignment. Dimensions must be multiples of " +
             std::to_string(limit_) + ".";
    case Kind::alphaChannelNotSupported:
      // The desktop adaptation of the text: the requirement names this system's encoder library.
      return "Alpha channel recording is not supported on this system. Requires an encoder with alpha "
             "support.";
  }
  return {};
}

std::optional<std::string> AlphaRecordingError::recoverySuggestion() const {
  switch (kind_) {
    case Kind::codecNotSupported:
      return "Try using a different codec or disable alpha channel recording.";
    case Kind::invalidResolution:
      return "Choose a valid resolution with positive dimensions.";
    case Kind::resolutionTooLarge:
      return "Choose a smaller resolution.";
    case Kind::invalidAlignment:
      return "Adjust resolution so both width and height are multiples of " + std::to_string(limit_) + ".";
    case Kind::alphaChannelNotSupported:
      return "Install an encoder with alpha support, or disable alpha channel recording.";
  }
  return std::nullopt;
}

bool AlphaChannelRecorder::isHEVCWithAlphaSupported() {
  return EncoderProbe::supportsHevcWithAlpha();
}

std::vector<AlphaVideoCodec> AlphaChannelRecorder::supportedAlphaCodecs() {
  std::vector<AlphaVideoCodec> codecs;
  for (AlphaVideoCodec codec : allCases<AlphaVideoCodec>()) {
    if (codec == AlphaVideoCodec::hevcWithAlpha && !isHEVCWithAlphaSupported()) continue;
    codecs.push_back(codec);
  }
  return codecs;
}

std::optional<AlphaVideoCodec> AlphaChannelRecorder::preferredAlphaCodec(OutputFormat format) {
  if (isHEVCWithAlphaSupported()) return AlphaVideoCodec::hevcWithAlpha;
  if (format == OutputFormat::mov) return AlphaVideoCodec::proRes4444;
  return std::nullopt;
}

bool AlphaChannelRecorder::canWrite(AlphaVideoCodec codec, OutputFormat format) {
  if (codec == AlphaVideoCodec::hevcWithAlpha) return isHEVCWithAlphaSupported();
  // ProRes goes only into mov files.
  return format == OutputFormat::mov;
}

std::optional<AlphaVideoCodec> AlphaChannelRecorder::recordingAlphaCodec(
    std::optional<AlphaVideoCodec> chosen, OutputFormat format) {
  if (chosen && canWrite(*chosen, format)) return chosen;
  return preferredAlphaCodec(format);
}

void AlphaChannelRecorder::validateAlphaResolution(int width, int height, AlphaVideoCodec codec) {
  if (width < 1 || height < 1) throw AlphaRecordingError::invalidResolution(width, height);
  if (width > kMaximumDimension || height > kMaximumDimension)
    throw AlphaRecordingError::resolutionTooLarge(width, height, kMaximumDimension);
  if (codec == AlphaVideoCodec::hevcWithAlpha && (width % 2 != 0 || height % 2 != 0))
    throw AlphaRecordingError::invalidAlignment(width, height, 2);
}

AlphaOutputSettings AlphaChannelRecorder::alphaOutputSettings(double qualityFactor, int width, int height,
                                                              AlphaVideoCodec codec) {
  AlphaOutputSettings settings;
  settings.width = width;
  settings.height = height;
  if (codec != AlphaVideoCodec::hevcWithAlpha) {
    // Both ProRes cases use the 4444 profile: the XQ case has no type of its own.
    settings.codec = VideoCodecKind::prores4444;
    return settings;
  }
  settings.codec = VideoCodecKind::hevc;
  const auto bitRate = static_cast<int64_t>(static_cast<double>(width) * height * 0.15 * qualityFactor);
  settings.averageBitRate = std::max<int64_t>(bitRate, 1000000);
  settings.expectedFrameRate = 60;
  settings.allowFrameReordering = false;
  return settings;
}

}  // namespace tk
