#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/RecordingOptions.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/Error.h"
#include "writing/AlphaVideoCodec.h"

namespace tk {

class AlphaRecordingError : public Error {
 public:
  enum class Kind {
    codecNotSupported,
    invalidResolution,
    resolutionTooLarge,
    invalidAlignment,
    alphaChannelNotSupported
  };

  static AlphaRecordingError codecNotSupported(AlphaVideoCodec codec);
  static AlphaRecordingError invalidResolution(int width, int height);
  static AlphaRecordingError resolutionTooLarge(int width, int height, int maximum);
  static AlphaRecordingError invalidAlignment(int width, int height, int required);
  static AlphaRecordingError alphaChannelNotSupported();

  Kind kind() const { return kind_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // The maximum of resolutionTooLarge, the required multiple of invalidAlignment.
  int limit() const { return limit_; }
  AlphaVideoCodec codec() const { return codec_; }

  std::string localizedDescription() const override;
  std::optional<std::string> recoverySuggestion() const override;

 private:
  explicit AlphaRecordingError(Kind kind) : kind_(kind) {}
  Kind kind_;
  int width_ = 0;
  int height_ = 0;
  int limit_ = 0;
  AlphaVideoCodec codec_ = AlphaVideoCodec::hevcWithAlpha;
};

// How a writer encodes an alpha codec here.
struct AlphaOutputSettings {
  VideoCodecKind codec = VideoCodecKind::prores4444;
  int width = 0;
  int height = 0;
  int64_t averageBitRate = 0;  // HEVC with alpha only
  int expectedFrameRate = 0;   // HEVC with alpha only
  bool allowFrameReordering = true;
};

// Support checks and settings of the alpha codecs. Any thread may call these.
class AlphaChannelRecorder {
 public:
  AlphaChannelRecorder() = delete;

  static constexpr int kMaximumDimension = 8192;

  // Asks the installed encoders anew on every call.
  static bool isHEVCWithAlphaSupported();
  // In declaration order; HEVC with alpha only when the probe says yes.
  static std::vector<AlphaVideoCodec> supportedAlphaCodecs();
  // The codec for a recording that asks for alpha: HEVC with alpha when available, otherwise
  // ProRes 4444 in a mov file; none for an mp4 file without HEVC with alpha (mp4 refuses ProRes).
  static std::optional<AlphaVideoCodec> preferredAlphaCodec(OutputFormat format);
  // Whether the writer can encode `codec` into a file of `format` on this machine.
  static bool canWrite(AlphaVideoCodec codec, OutputFormat format);
  // The codec a recording asks for: the user's stored choice when the writer can encode it into
  // that container, else the preferred one; none when no alpha codec fits the container.
  static std::optional<AlphaVideoCodec> recordingAlphaCodec(std::optional<AlphaVideoCodec> chosen,
                                                            OutputFormat format);
  // Throws AlphaRecordingError.
  static void validateAlphaResolution(int width, int height, AlphaVideoCodec codec);
  static AlphaOutputSettings alphaOutputSettings(double qualityFactor, int width, int height,
                                                 AlphaVideoCodec codec);
};

}  // namespace tk
