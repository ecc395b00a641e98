#include "editor/LegacyZoomConversion.h"

#include <algorithm>
#include <optional>

namespace tk {

namespace {

constexpr double kWindow = 1.5;
constexpr double kMinimumLength = 0.5;

struct ZoomItem {
  double time;
  double level;
  double easeIn;
  double easeOut;
  EasingFunction easing;
};

std::vector<ZoomSegment> segmentsFrom(std::vector<ZoomItem> items, double duration) {
  std::vector<ZoomSegment> segments;
  if (items.empty()) return segments;
  std::stable_sort(items.begin(), items.end(),
                   [](const ZoomItem& a, const ZoomItem& b) { return a.time < b.time; });
  for (size_t i = 0; i < items.size(); ++i) {
    const ZoomItem& item = items[i];
    double start = std::max(item.time - kWindow, 0.0);
    double end = std::min(item.time + kWindow, duration);
    if (end - start < kMinimumLength) end = std::min(start + kMinimumLength, duration);
    if (!segments.empty() && start < segments.back().endTime) {
      const double previousEnd = segments.back().endTime;
      start = previousEnd;
      end = std::max(end, previousEnd + kMinimumLength);
    }
    const double limit =
        i + 1 < items.size() ? std::min(std::max(items[i + 1].time - kWindow, 0.0), end) : end;
    if (limit - start < kMinimumLength) continue;
    ZoomSegment segment;
    segment.startTime = start;
    segment.endTime = std::max(limit, start + kMinimumLength);
    segment.zoomLevel = std::clamp(item.level, 1.0, 3.0);
    segment.easeIn = std::clamp(item.easeIn, 0.05, 2.0);
    segment.easeOut = std::clamp(item.easeOut, 0.05, 2.0);
    segment.easing = item.easing;
    segment.panSmoothing = 0.75;
    segment.deadZone = 0.06;
    segments.push_back(segment);
  }
  return segments;
}

}  // namespace

std::vector<ZoomSegment> zoomSegmentsFromKeyframes(const std::vector<ZoomKeyframe>& keyframes,
                                                   double duration) {
  std::vector<ZoomItem> items;
  items.reserve(keyframes.size());
  for (const auto& keyframe : keyframes)
    items.push_back({keyframe.time, keyframe.level, keyframe.easeIn, keyframe.easeOut, keyframe.easing});
  return segmentsFrom(std::move(items), duration);
}

std::vector<ZoomSegment> zoomSegmentsFromEvents(const std::vector<ZoomEvent>& events, double duration) {
  std::vector<ZoomItem> items;
  items.reserve(events.size());
  for (const auto& event : events)
    items.push_back({event.timestamp, event.level, event.duration, event.duration, event.easing});
  return segmentsFrom(std::move(items), duration);
}

ZoomKeyframe keyframeFromEvent(const ZoomEvent& event) {
  ZoomKeyframe keyframe;
  keyframe.time = event.timestamp;
  keyframe.center = QPointF(event.position.x(), 1 - event.position.y());
  keyframe.level = event.level;
  keyframe.easeIn = event.duration;
  keyframe.easeOut = event.duration;
  keyframe.easing = event.easing;
  return keyframe;
}

RecordingMetadata convertLegacyZoom(RecordingMetadata metadata) {
  const double duration = metadata.duration;
  if (metadata.zoomKeyframes.empty() && !metadata.zoomEvents.empty()) {
    for (const auto& event : metadata.zoomEvents) metadata.zoomKeyframes.push_back(keyframeFromEvent(event));
  }
  if (metadata.zoomSegments.empty()) {
    if (!metadata.zoomKeyframes.empty()) {
      metadata.zoomSegments = zoomSegmentsFromKeyframes(metadata.zoomKeyframes, duration);
      if (!metadata.zoomSegments.empty()) return metadata;
    }
    if (!metadata.zoomEvents.empty())
      metadata.zoomSegments = zoomSegmentsFromEvents(metadata.zoomEvents, duration);
  }
  return metadata;
}

}  // namespace tk
