#pragma once

#include <vector>

#include "model/MetadataEvents.h"
#include "model/RecordingMetadata.h"

namespace tk {

// Zoom segments for recordings that only stored click-to-zoom events or zoom keyframes. Each item
// becomes a span of 1.5 s either side of its time, within 0...duration, at least 0.5 s long,
// starting after the previous span and ending before the next item's own span begins; items
// that leave no such room yield nothing. Level clamped to 1...3, eases to 0.05...2.
std::vector<ZoomSegment> zoomSegmentsFromKeyframes(const std::vector<ZoomKeyframe>& keyframes,
                                                   double duration);
std::vector<ZoomSegment> zoomSegmentsFromEvents(const std::vector<ZoomEvent>& events, double duration);

// The metadata with keyframes made from its events (y flipped: events measure from the bottom)
// when it has none, and segments made from the keyframes, else from the events, when it has none.
// Stored segments are never touched.
RecordingMetadata convertLegacyZoom(RecordingMetadata metadata);

// The keyframe a recorded zoom event stands for: same time, level and easing, y flipped to measure
// from the top, ease-in and ease-out both the event's duration.
ZoomKeyframe keyframeFromEvent(const ZoomEvent& event);

}  // namespace tk
