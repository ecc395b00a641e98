#pragma once

#include <QCoroTask>
#include <vector>

#include "platform/ffmpeg/MediaAsset.h"

namespace tk {

// The loudness of a movie's sound in buckets from 0 to 1, for the editor's timeline: 50 buckets a
// second of movie, at least 200 and at most 2000. The first audio track is decoded to 16-bit mono
// at 44.1 kHz; a bucket is the mean magnitude of its samples, and the loudest bucket is 1.
class WaveformGenerator {
 public:
  // Runs on a worker thread and resumes on the caller's (main) thread. Never fails: a movie
  // without sound, or one whose sound cannot be read, gives the bucket count of zeros; a duration
  // of zero or less, not finite, or too large to count samples of, gives no buckets.
  static QCoro::Task<std::vector<float>> generateWaveform(MediaAsset asset, double duration);

  // The same, blocking; any thread.
  static std::vector<float> generate(const MediaAsset& asset, double duration);
  // The number of buckets for a duration (0 for the durations that give no buckets).
  static size_t bucketCount(double duration);
};

}  // namespace tk
