#include "platform/media/MonotonicClock.h"

#include <time.h>

namespace tk {

int64_t MonotonicClock::nowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace tk
