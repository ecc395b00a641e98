#pragma once

// Synthetic capture input for the writers' tests.

#include <QCoroTask>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <optional>
#include <thread>

#include "support/TestSupport.h"

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "writing/WriterConfiguration.h"

namespace tk::test {

inline MediaTime seconds(double value) {
  return MediaTime::fromSeconds(value, 1'000'000'000);
}

// Left half `left`, right half `right`: an asymmetric picture, so a mirrored axis shows.
inline std::shared_ptr<PixelBuffer> splitFrame(int width, int height, uint32_t left, uint32_t right) {
  auto pixels = PixelBuffer::create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels->setPixel(x, y, x < width / 2 ? left : right);
  return pixels;
}

// `frames` frames of a constant value (a tone when `frequency` > 0), 48 kHz stereo.
inline std::shared_ptr<AudioBlock> audioBlock(int frames, bool interleaved, float value = 0.0f,
                                              double frequency = 0, int64_t firstFrame = 0) {
  auto block = std::make_shared<AudioBlock>();
  block->format = AudioFormat{48000, 2, interleaved};
  block->frameCount = frames;
  block->samples.resize(static_cast<size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    float sample = value;
    if (frequency > 0)
      sample = value * static_cast<float>(std::sin(2 * M_PI * frequency * (firstFrame + i) / 48000.0));
    for (int c = 0; c < 2; ++c) {
      if (interleaved)
        block->samples[static_cast<size_t>(i) * 2 + c] = sample;
      else
        block->samples[static_cast<size_t>(c) * frames + i] = sample;
    }
  }
  return block;
}

inline WriterConfiguration writerConfiguration(const std::filesystem::path& path, OutputFormat format,
                                               int width, int height, int frameRate,
                                               VideoEncoder codec = VideoEncoder::h264) {
  WriterConfiguration configuration;
  configuration.outputURL = path;
  configuration.outputFormat = format;
  VideoSettings video;
  video.width = width;
  video.height = height;
  video.frameRate = frameRate;
  video.codec = codec;
  video.quality = VideoQuality::medium;
  video.colorSpace = ColorSpaceSettings{};
  configuration.videoSettings = video;
  return configuration;
}

// Tests produce far faster than real time, and a busy machine can hold an encoder up for a long
// while: before each append they wait until the input has room (`ready`), as a capture source never
// needs to. Any thread; false when there was still no room after `timeout`.
template <typename Ready>
bool waitForRoom(Ready ready, std::chrono::milliseconds timeout = std::chrono::minutes(2)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return ready();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Runs a task to its end on the event loop and returns its value or rethrows its error. Unlike
// QCoro::waitFor it also copes with a task that completes before its first suspension.
template <typename T>
T await(QCoro::Task<T> task) {
  std::optional<T> value;
  std::exception_ptr error;
  bool done = false;
  auto runner = [&]() -> QCoro::Task<void> {
    try {
      value = co_await std::move(task);
    } catch (...) {
      error = std::current_exception();
    }
    done = true;
  };
  auto running = runner();
  if (!waitUntil([&] { return done; }, std::chrono::minutes(2)))
    throw std::runtime_error("the task never ended");
  if (error) std::rethrow_exception(error);
  return std::move(*value);
}

}  // namespace tk::test
