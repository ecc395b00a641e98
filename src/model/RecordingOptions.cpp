#include "model/RecordingOptions.h"

namespace tk {

ResolutionMode resolutionModeFromStoredValue(long long stored) {
  if (stored == 2) return ResolutionMode::high;
  if (stored == 1) return ResolutionMode::normal;
  return ResolutionMode::low;
}

VideoQuality videoQualityFromStoredValue(double stored) {
  if (stored == 1.0) return VideoQuality::high;
  if (stored == 0.7) return VideoQuality::medium;
  return VideoQuality::low;
}

VideoEncoder videoEncoderFromStoredValue(std::optional<std::string_view> stored) {
  return stored == "h265" ? VideoEncoder::h265 : VideoEncoder::h264;
}

OutputFormat outputFormatFromStoredValue(std::optional<std::string_view> stored) {
  return stored == "mov" ? OutputFormat::mov : OutputFormat::mp4;
}

BackgroundType backgroundTypeFromStoredValue(std::optional<std::string_view> stored) {
  if (stored == "black") return BackgroundType::black;
  if (stored == "white") return BackgroundType::white;
  if (stored == "gray") return BackgroundType::gray;
  return BackgroundType::wallpaper;
}

}  // namespace tk
