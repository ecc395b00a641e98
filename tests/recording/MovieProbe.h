#pragma once

#include <QRect>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tk::test {

// What ffprobe reads back from a movie file.
struct MovieFacts {
  double duration = 0;  // container duration, seconds
  std::string videoCodec;
  int width = 0;
  int height = 0;
  std::string pixelFormat;  // of the video track, e.g. "yuva444p10le"
  std::string videoProfile;
  std::string audioCodec;               // empty without an audio track
  std::vector<double> videoFrameTimes;  // presentation times of the video packets, in order
  double videoDuration = 0;             // of the video track, seconds
  std::vector<double> audioDurations;   // of each audio track, seconds
  double audioStartTime = 0;            // of the first audio track, seconds
};

std::optional<MovieFacts> probeMovie(const std::filesystem::path& file);

// Decodes one video frame at `seconds` as packed BGRA (width * height * 4 bytes).
std::vector<uint8_t> frameAt(const std::filesystem::path& file, double seconds, int width, int height);

// The first audio track as mono float samples at `rate`, from its first sample.
std::vector<float> audioSamples(const std::filesystem::path& file, int rate);
// The mean brightness (0-255) of every video frame, in presentation order: of `area` of the frame
// (in its pixels) when one is given, else of the whole frame.
std::vector<double> frameBrightness(const std::filesystem::path& file, const QRect& area = {});

// The dominant frequency of the first audio channel between `from` and `to` seconds, in Hz.
double dominantAudioFrequency(const std::filesystem::path& file, double from, double to);

}  // namespace tk::test
