#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/RecordingOptions.h"
#include "writing/AlphaVideoCodec.h"

namespace tk {

// Colour property values of a movie's video track.
inline constexpr const char* kColorPropertyITU_R_709_2 = "ITU_R_709_2";

struct ColorSpaceSettings {
  std::string transferFunction = kColorPropertyITU_R_709_2;
  std::string colorPrimaries = kColorPropertyITU_R_709_2;
  std::string yCbCrMatrix = kColorPropertyITU_R_709_2;
};

struct VideoSettings {
  int width = 0;
  int height = 0;
  int frameRate = 60;
  VideoEncoder codec = VideoEncoder::h264;
  VideoQuality quality = VideoQuality::high;
  std::optional<ColorSpaceSettings> colorSpace;
  bool hasAlphaChannel = false;
  std::optional<AlphaVideoCodec> alphaCodec;
};

struct AudioSettings {
  // Only aac is written here; the others are refused when the writer is configured.
  enum class AudioFormat { aac, alac, flac, opus };

  int sampleRate = 48000;
  int channelCount = 2;
  int bitRate = 128000;
  AudioFormat format = AudioFormat::aac;
};

// The movie writer's settings: what file, which tracks, which codecs.
struct WriterConfiguration {
  std::filesystem::path outputURL;
  OutputFormat outputFormat = OutputFormat::mov;
  std::optional<VideoSettings> videoSettings;  // none writes no video track
  AudioSettings audioSettings;
  bool separateAudioTracks = false;  // system audio and microphone on two tracks
};

}  // namespace tk
