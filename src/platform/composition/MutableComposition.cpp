#include "platform/composition/MutableComposition.h"

#include <algorithm>

#include "platform/media/Error.h"

namespace tk {

MediaTimeRange CompositionTrack::timeRange() const {
  if (segments_.empty()) return {};
  return {MediaTime::zero(), segments_.back().targetRange().end()};
}

const CompositionTrackSegment* CompositionTrack::segmentAt(const MediaTime& t) const {
  auto it = std::upper_bound(segments_.begin(), segments_.end(), t,
                             [](const MediaTime& time, const CompositionTrackSegment& segment) {
                               return time < segment.targetStart;
                             });
  if (it == segments_.begin()) return nullptr;
  --it;
  return it->targetRange().containsTime(t) ? &*it : nullptr;
}

void CompositionTrack::insertTimeRange(const MediaTimeRange& range, const std::filesystem::path& sourceFile,
                                       const MediaTrack& sourceTrack, const MediaTime& at) {
  const auto refuse = [](const std::string& why) {
    throw PlatformError(MutableComposition::kErrorDomain, -1, "Inserting a time range: " + why);
  };
  if (sourceTrack.kind != kind_) refuse("the source track holds another kind of media");
  if (!range.start.isValid() || !range.duration.isValid() || !at.isValid()) refuse("the time is not valid");
  const MediaTime sourceEnd = sourceTrack.start + sourceTrack.duration;
  if (range.start > sourceEnd) refuse("the range starts after the source track");
  if (!segments_.empty() && at < segments_.back().targetRange().end())
    refuse("the place lies inside the track's edits");
  MediaTimeRange kept = range;
  // Before its first sample a track holds nothing: that part of the range stays empty, and what the
  // track holds lands where it belongs.
  MediaTime place = at;
  if (kept.start < sourceTrack.start) {
    const MediaTime lead = sourceTrack.start - kept.start;
    kept = {sourceTrack.start, kept.duration - lead};
    place = at + lead;
  }
  if (kept.end() > sourceEnd) kept.duration = sourceEnd - kept.start;
  if (kept.duration <= MediaTime::zero()) return;
  if (segments_.empty() && kind_ == MediaKind::video)
    naturalSize_ = QSize(sourceTrack.width, sourceTrack.height);
  segments_.push_back({sourceFile, sourceTrack.trackID, kept, place});
}

CompositionTrack* MutableComposition::addMutableTrack(MediaKind kind, int32_t preferredTrackID) {
  if (kind == MediaKind::other) return nullptr;
  int32_t id = preferredTrackID > 0 && !track(preferredTrackID) ? preferredTrackID : 1;
  while (track(id)) ++id;
  tracks_.push_back(std::make_unique<CompositionTrack>(id, kind));
  return tracks_.back().get();
}

std::vector<const CompositionTrack*> MutableComposition::tracks(MediaKind kind) const {
  std::vector<const CompositionTrack*> result;
  for (const auto& t : tracks_)
    if (t->mediaKind() == kind) result.push_back(t.get());
  return result;
}

const CompositionTrack* MutableComposition::track(int32_t trackID) const {
  for (const auto& t : tracks_)
    if (t->trackID() == trackID) return t.get();
  return nullptr;
}

MediaTime MutableComposition::duration() const {
  MediaTime longest = MediaTime::zero();
  for (const auto& t : tracks_) longest = std::max(longest, t->timeRange().end());
  return longest;
}

}  // namespace tk
