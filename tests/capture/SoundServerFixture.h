#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/SampleBuffer.h"

namespace tk::test {

// Runs pactl against the private sound server; returns its standard output, trimmed.
inline std::string pactl(const std::string& arguments) {
  std::string output;
  if (FILE* pipe = ::popen(("pactl " + arguments + " 2>/dev/null").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    ::pclose(pipe);
  }
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
  return output;
}

// A sine source loaded for one test and unloaded with it.
class SineSource {
 public:
  SineSource(const std::string& name, int frequency, int rate = 48000)
      : name_(name),
        module_(pactl("load-module module-sine-source source_name=" + name +
                      " frequency=" + std::to_string(frequency) + " rate=" + std::to_string(rate))) {}
  ~SineSource() {
    if (!module_.empty()) pactl("unload-module " + module_);
  }
  SineSource(const SineSource&) = delete;
  SineSource& operator=(const SineSource&) = delete;

  bool loaded() const { return !module_.empty(); }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string module_;
};

// Samples gathered from a capture thread.
class CollectedSamples {
 public:
  void add(const SampleBuffer& sample) {
    std::lock_guard lock(mutex_);
    samples_.push_back(sample);
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return samples_.size();
  }
  std::vector<SampleBuffer> all() const {
    std::lock_guard lock(mutex_);
    return samples_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<SampleBuffer> samples_;
};

// One channel of a run of audio blocks, in order.
inline std::vector<float> channelOf(const std::vector<SampleBuffer>& samples, int channel) {
  std::vector<float> values;
  for (const auto& sample : samples) {
    const auto& block = *sample.audioBlock();
    for (int frame = 0; frame < block.frameCount; ++frame) values.push_back(block.sample(frame, channel));
  }
  return values;
}

// The frequency (to `step` Hz) with the most energy between `low` and `high`.
inline double spectrumPeak(const std::vector<float>& values, int rate, double low = 100, double high = 4000,
                           double step = 10) {
  double bestFrequency = 0, bestPower = -1;
  for (double frequency = low; frequency <= high; frequency += step) {
    // Goertzel: the power of one frequency without a whole transform.
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0;
    for (float value : values) {
      const double s0 = value + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    if (power > bestPower) {
      bestPower = power;
      bestFrequency = frequency;
    }
  }
  return bestFrequency;
}

inline double peakLevel(const std::vector<float>& values) {
  double peak = 0;
  for (float value : values) peak = std::max(peak, static_cast<double>(std::fabs(value)));
  return peak;
}

// Index of the first value louder than `threshold`; the size when none is.
inline size_t firstAbove(const std::vector<float>& values, float threshold) {
  for (size_t i = 0; i < values.size(); ++i)
    if (std::fabs(values[i]) > threshold) return i;
  return values.size();
}

}  // namespace tk::test
