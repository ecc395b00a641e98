#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "platform/json/EnumTable.h"

// The option enumerations a recording configuration carries. Each has a raw value that is also its
// stored form in the settings store: rawValue(x), fromRawValue<E>(raw) and allCases<E>() come from
// platform/json/EnumTable.h.

namespace tk {

// The frame rates a recording may ask for, lowest first.
inline constexpr std::array<double, 9> kRecordingFrameRates{10, 15, 24, 30, 60, 90, 120, 144, 240};

// Bit-rate tier of the movie writer.
enum class VideoQuality { low, medium, high };
// Scale of the captured size: low half the content size, normal the content size, high the content
// size times the display's pixel scale.
enum class ResolutionMode { low, normal, high };
enum class VideoEncoder { h264, h265 };
// Container and file extension of the movie.
enum class OutputFormat { mov, mp4 };
// Background of the captured frame, and the wallpaper choice of the content filters.
enum class BackgroundType { wallpaper, clear, black, white, gray, yellow, orange, green, blue, red, custom };

template <>
struct EnumTable<VideoQuality> {
  static constexpr std::array<std::pair<VideoQuality, double>, 3> entries{
      {{VideoQuality::low, 0.3}, {VideoQuality::medium, 0.7}, {VideoQuality::high, 1.0}}};
};
template <>
struct EnumTable<ResolutionMode> {
  static constexpr std::array<std::pair<ResolutionMode, int>, 3> entries{
      {{ResolutionMode::low, 0}, {ResolutionMode::normal, 1}, {ResolutionMode::high, 2}}};
};
template <>
struct EnumTable<VideoEncoder> {
  static constexpr std::array<std::pair<VideoEncoder, std::string_view>, 2> entries{
      {{VideoEncoder::h264, "h264"}, {VideoEncoder::h265, "h265"}}};
};
template <>
struct EnumTable<OutputFormat> {
  static constexpr std::array<std::pair<OutputFormat, std::string_view>, 2> entries{
      {{OutputFormat::mov, "mov"}, {OutputFormat::mp4, "mp4"}}};
};
template <>
struct EnumTable<BackgroundType> {
  static constexpr std::array<std::pair<BackgroundType, std::string_view>, 11> entries{{
      {BackgroundType::wallpaper, "wallpaper"},
      {BackgroundType::clear, "clear"},
      {BackgroundType::black, "black"},
      {BackgroundType::white, "white"},
      {BackgroundType::gray, "gray"},
      {BackgroundType::yellow, "yellow"},
      {BackgroundType::orange, "orange"},
      {BackgroundType::green, "green"},
      {BackgroundType::blue, "blue"},
      {BackgroundType::red, "red"},
      {BackgroundType::custom, "custom"},
  }};
};

// How the configuration builders turn a value read from the settings store into an option. These
// are deliberately narrower than fromRawValue: a stored value that names no option (or, for the
// background, one the builders never offer) falls back to the option given in each comment.

// "resolution": 2 high, 1 normal, anything else low.
ResolutionMode resolutionModeFromStoredValue(long long stored);
// "videoQuality": exactly 1.0 high, exactly 0.7 medium, anything else low.
VideoQuality videoQualityFromStoredValue(double stored);
// "videoEncoder": exactly "h265" h265, anything else (also no value) h264.
VideoEncoder videoEncoderFromStoredValue(std::optional<std::string_view> stored);
// "outputFormat": exactly "mov" mov, anything else mp4.
OutputFormat outputFormatFromStoredValue(std::optional<std::string_view> stored);
// "backgroundColor": "black", "white", "gray" give their cases, anything else wallpaper.
BackgroundType backgroundTypeFromStoredValue(std::optional<std::string_view> stored);

}  // namespace tk
