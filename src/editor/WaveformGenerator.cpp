#include "editor/WaveformGenerator.h"

#include <algorithm>
#include <cmath>

#include "platform/ffmpeg/AudioSampleReader.h"
#include "platform/media/Error.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

constexpr int kSampleRate = 44100;
constexpr double kBucketsPerSecond = 50;
constexpr int64_t kFewestBuckets = 200;
constexpr int64_t kMostBuckets = 2000;

// Whether duration x 44100 samples can be counted in 64 bits.
bool countable(double duration) {
  return std::isfinite(duration) && duration > 0 && duration * kSampleRate < 9.2e18;
}

// What a conversion of float samples to 16 bits gives (libswresample's rule).
int16_t toInt16(float value) {
  return static_cast<int16_t>(std::clamp(std::lrintf(value * 32768.0f), -32768L, 32767L));
}

}  // namespace

size_t WaveformGenerator::bucketCount(double duration) {
  if (!countable(duration)) return 0;
  const auto n = static_cast<int64_t>(duration * kBucketsPerSecond);
  return static_cast<size_t>(n <= kFewestBuckets - 1 ? kFewestBuckets : std::min(n, kMostBuckets));
}

std::vector<float> WaveformGenerator::generate(const MediaAsset& asset, double duration) {
  const size_t buckets = bucketCount(duration);
  if (buckets == 0) return {};
  std::vector<float> result(buckets, 0.0f);
  const MediaTrack* track = asset.firstTrack(MediaKind::audio);
  if (!track) return result;
  std::unique_ptr<AudioSampleReader> reader;
  try {
    reader =
        std::make_unique<AudioSampleReader>(asset.url(), AudioFormat{kSampleRate, 1, true}, track->trackID);
  } catch (const Error& error) {
    Diagnostics::line("Error generating waveform: " + error.localizedDescription());
    return result;
  }
  const auto total = std::max<int64_t>(1, static_cast<int64_t>(duration * kSampleRate));
  const int64_t perBucket =
      static_cast<int64_t>(buckets) <= total ? total / static_cast<int64_t>(buckets) : 1;
  std::vector<double> sums(buckets, 0.0);
  std::vector<int64_t> counts(buckets, 0);
  int64_t k = 0;
  try {
    while (auto block = reader->nextBlock()) {
      const AudioBlock& samples = *block->audioBlock();
      for (int i = 0; i < samples.frameCount; ++i, ++k) {
        const size_t b =
            static_cast<size_t>(std::min<int64_t>(k / perBucket, static_cast<int64_t>(buckets) - 1));
        sums[b] += std::abs(static_cast<int>(toInt16(samples.samples[i]))) / 32767.0;
        ++counts[b];
      }
    }
  } catch (const Error& error) {
    // What was read so far still draws.
    Diagnostics::line("Error generating waveform: " + error.localizedDescription());
  }
  double loudest = 0;
  for (size_t i = 0; i < buckets; ++i) {
    if (counts[i] < 1) continue;
    const double mean = sums[i] / static_cast<double>(counts[i]);
    result[i] = static_cast<float>(mean);
    loudest = std::max(loudest, mean);
  }
  if (!(loudest > 0)) return result;
  const auto scale = static_cast<float>(loudest);
  for (float& value : result) value = std::min(value / scale, 1.0f);
  return result;
}

QCoro::Task<std::vector<float>> WaveformGenerator::generateWaveform(MediaAsset asset, double duration) {
  // Named before it is awaited (see onWorker).
  auto work = [asset = std::move(asset), duration] { return generate(asset, duration); };
  co_return co_await onWorker(std::move(work));
}

}  // namespace tk
