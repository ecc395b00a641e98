#pragma once

// Reads written files back with libavformat/libavcodec, for the writers' tests.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tk::test {

struct StreamInfo {
  std::string type;  // "video" or "audio"
  std::string codec;
  std::string codecTag;  // four characters
  int width = 0;
  int height = 0;
  std::string pixelFormat;
  bool hasAlpha = false;
  std::string colorPrimaries, colorTransfer, colorSpace, colorRange;
  int sampleRate = 0;
  int channels = 0;
  int64_t packetCount = 0;
  double firstTime = 0;  // seconds: earliest packet time
  double endTime = 0;    // seconds: latest packet time plus its duration
  double duration = 0;   // seconds: the track's own duration
  int64_t bitRate = 0;
};

struct MediaFileInfo {
  std::string formatName;
  std::vector<StreamInfo> streams;
  const StreamInfo* video() const;
  std::vector<const StreamInfo*> audio() const;
};

// Throws std::runtime_error when the file cannot be opened or read.
MediaFileInfo readMediaFile(const std::filesystem::path& path);

struct DecodedPixel {
  int y = 0, u = 0, v = 0, a = -1;  // a is -1 without alpha; 10-bit formats give 10-bit values
};
// Decodes video frame number `frameIndex` (presentation order) and samples one pixel.
DecodedPixel decodeVideoPixel(const std::filesystem::path& path, int frameIndex, int x, int y);
// Presentation times (seconds) of every video frame, in order.
std::vector<double> videoFrameTimes(const std::filesystem::path& path);

// Presentation times (seconds) of the video packets marked as keyframes, in file order.
std::vector<double> videoKeyframeTimes(const std::filesystem::path& path);

// Decodes audio track `audioIndex` into its first channel, placed by timestamps from time 0.
std::vector<float> decodeAudioChannel(const std::filesystem::path& path, int audioIndex,
                                      int* sampleRate = nullptr);

}  // namespace tk::test
