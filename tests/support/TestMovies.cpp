#include "support/TestMovies.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace tk::test {

namespace {

constexpr int kBands = 8;

template <typename Ready>
void waitFor(Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline)
      throw std::runtime_error("the writer never took a sample");
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace

void paintFrameIndex(PixelBuffer& frame, int index) {
  // Gray code: one band changes from a frame to the next, so the encoder sees small changes and
  // uses bidirectional frames as it would for a screen recording.
  index ^= index >> 1;
  const int bandWidth = frame.width() / kBands;
  for (int y = 0; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x) {
      const int band = std::min(x / bandWidth, kBands - 1);
      const bool white = (index >> band) & 1;
      frame.setPixel(x, y, white ? 0xFFFFFFFF : 0xFF000000);
    }
  // A white patch in the top-left corner only: a flipped picture loses it.
  for (int y = 0; y < frame.height() / 6; ++y)
    for (int x = 0; x < bandWidth / 2; ++x) frame.setPixel(x, y, 0xFFFFFFFF);
  for (int y = frame.height() - frame.height() / 6; y < frame.height(); ++y)
    for (int x = 0; x < bandWidth / 2; ++x) frame.setPixel(x, y, 0xFF000000);
}

int frameIndexShown(const PixelBuffer& frame) {
  const int bandWidth = frame.width() / kBands;
  const int y = frame.height() / 2;
  // The corner patches say which way up the picture is.
  const auto grey = [&](int x, int row) { return frame.pixel(x, row) & 0xFF; };
  if (grey(bandWidth / 4, frame.height() / 12) < 160 ||
      grey(bandWidth / 4, frame.height() - frame.height() / 12) > 96)
    return -1;
  int index = 0;
  for (int band = 0; band < kBands; ++band) {
    const int value = static_cast<int>(grey(band * bandWidth + bandWidth / 2, y));
    if (value > 160)
      index |= 1 << band;
    else if (value > 96)
      return -1;
  }
  for (int shift = index >> 1; shift; shift >>= 1) index ^= shift;
  return index;
}

void writeTestMovie(const std::filesystem::path& file, const TestMovieSpec& spec) {
  AssetWriter writer(file, spec.format);
  if (spec.withVideo) {
    VideoInputSettings video;
    video.width = spec.width;
    video.height = spec.height;
    video.frameRate = spec.frameRate;
    video.codec = spec.codec;
    video.bitRate = static_cast<int64_t>(spec.width) * spec.height * spec.frameRate / 4;
    video.preset = "superfast";
    video.keyframeInterval = spec.keyframeInterval;
    writer.addVideoInput(video);
  }
  if (spec.withAudio) writer.addAudioInput(AudioInputSettings{});
  writer.start();
  PixelBufferPool pool(spec.width, spec.height, 4);
  const int frames = static_cast<int>(std::lround(spec.seconds * spec.frameRate));
  const int blockFrames = 1024;
  int64_t audioFrame = 0;
  const int64_t audioEnd = static_cast<int64_t>(spec.seconds * 48000);
  const int64_t toneStart = static_cast<int64_t>(spec.silentUntil * 48000);
  for (int i = 0; i <= frames; ++i) {
    const double frameTime = static_cast<double>(i) / spec.frameRate;
    // Audio up to this frame's time first, so both inputs move together.
    while (spec.withAudio && audioFrame < audioEnd &&
           audioFrame < static_cast<int64_t>(frameTime * 48000) + blockFrames) {
      auto block = std::make_shared<AudioBlock>();
      block->format = AudioFormat{48000, 2, true};
      block->frameCount = static_cast<int>(std::min<int64_t>(blockFrames, audioEnd - audioFrame));
      block->samples.resize(static_cast<size_t>(block->frameCount) * 2);
      for (int f = 0; f < block->frameCount; ++f) {
        const int64_t n = audioFrame + f;
        const float value =
            n < toneStart
                ? 0.0f
                : spec.toneLevel * static_cast<float>(std::sin(2 * M_PI * spec.toneHz * n / 48000.0));
        block->samples[static_cast<size_t>(f) * 2] = value;
        block->samples[static_cast<size_t>(f) * 2 + 1] = value;
      }
      waitFor([&] { return writer.isReadyForAudio(0); });
      if (!writer.appendAudio(0, block, MediaTime(audioFrame, 48000)))
        throw std::runtime_error("audio refused");
      audioFrame += block->frameCount;
    }
    if (spec.withVideo && i < frames) {
      auto frame = pool.acquire();
      paintFrameIndex(*frame, i);
      waitFor([&] { return writer.isReadyForVideo(); });
      if (!writer.appendVideo(frame, MediaTime(i, spec.frameRate))) throw std::runtime_error("frame refused");
    }
  }
  writer.finish(MediaTime::fromSeconds(spec.seconds, 48000));
}

std::string x264Options(const std::filesystem::path& movie) {
  std::ifstream in(movie, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t at = bytes.find("x264 - core");
  return at == std::string::npos ? std::string() : std::string(bytes.c_str() + at);
}

int x264Option(const std::string& options, const std::string& name) {
  const size_t at = options.find(" " + name + "=");
  return at == std::string::npos ? -1 : std::atoi(options.c_str() + at + name.size() + 2);
}

}  // namespace tk::test
