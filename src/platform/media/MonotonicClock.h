#pragma once

#include <cstdint>
#include <functional>

#include "platform/media/MediaTime.h"

namespace tk {

// The one clock every capture source stamps its samples with (CLOCK_MONOTONIC), so screen frames,
// system audio, microphone and camera share a timeline. It never jumps with the wall clock.
class MonotonicClock {
 public:
  static int64_t nowNanoseconds();
  static double nowSeconds() { return static_cast<double>(nowNanoseconds()) / 1e9; }
  static MediaTime now() { return MediaTime::fromNanoseconds(nowNanoseconds()); }
};

// A source of seconds that tests can replace; the default reads MonotonicClock.
using SecondsClock = std::function<double()>;
inline SecondsClock monotonicSecondsClock() { return [] { return MonotonicClock::nowSeconds(); }; }

}  // namespace tk
