#pragma once

// Movies written by our own writer with content a test can recognise: every video frame shows its
// own index, Gray-coded, as eight black or white bands (band 0 on the left holds the lowest bit),
// with a white top-left and a black bottom-left corner patch, and the sound is silent up to a known time and
// a known tone after it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/media/PixelBuffer.h"

namespace tk::test {

struct TestMovieSpec {
  int width = 320;
  int height = 180;
  int frameRate = 30;
  double seconds = 2.0;
  bool withVideo = true;
  bool withAudio = true;
  double silentUntil = 0;  // seconds of silence before the tone starts
  double toneHz = 440;
  float toneLevel = 0.5f;
  ContainerFormat format = ContainerFormat::mov;
  VideoCodecKind codec = VideoCodecKind::h264;
  int keyframeInterval = 0;  // 0: the writer's own choice
};

// Writes the movie; throws on failure.
void writeTestMovie(const std::filesystem::path& file, const TestMovieSpec& spec);

// The frame index a decoded frame of a test movie shows, or -1 when its bands cannot be read.
int frameIndexShown(const PixelBuffer& frame);

// The index the band picture of `frame` encodes into a new buffer (for writers of other tests).
void paintFrameIndex(PixelBuffer& frame, int index);

// The options x264 wrote into a movie's stream ("" when there are none), and one of them, as a
// number (-1 when missing).
std::string x264Options(const std::filesystem::path& movie);
int x264Option(const std::string& options, const std::string& name);

}  // namespace tk::test
