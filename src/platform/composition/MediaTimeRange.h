#pragma once

#include "platform/media/MediaTime.h"

namespace tk {

// A span of a media timeline: [start, start + duration). A plain value; any thread.
struct MediaTimeRange {
  MediaTime start = MediaTime::zero();
  MediaTime duration = MediaTime::zero();

  MediaTime end() const { return start + duration; }
  bool containsTime(const MediaTime& t) const { return t.isValid() && start <= t && t < end(); }
  bool operator==(const MediaTimeRange&) const = default;
};

}  // namespace tk
