#pragma once

#include <QUuid>

#include "platform/media/MediaTime.h"

namespace tk {

// A span of the edited movie. Marked for deletion ("Inactive"), it is left out of a merged
// export; otherwise ("Active") it is kept.
struct VideoSegment {
  QUuid id = QUuid::createUuid();
  MediaTime startTime = MediaTime::zero();
  MediaTime endTime = MediaTime::zero();  // exclusive: a cut at this time belongs to the next span
  bool isMarkedForDeletion = false;

  // Same id, equal times as media times, same flag.
  bool operator==(const VideoSegment& other) const = default;
};

}  // namespace tk
