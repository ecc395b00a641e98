#pragma once

#include <QSize>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/composition/MediaTimeRange.h"
#include "platform/ffmpeg/MediaAsset.h"

namespace tk {

// One edit of a composition track: a span of a source file's track placed at a time of the
// composition. Source times are on the file's timeline (0 = its first sample).
struct CompositionTrackSegment {
  std::filesystem::path sourceFile;
  int sourceTrackID = 0;  // as in MediaAsset (1-based, file order)
  MediaTimeRange sourceRange;
  MediaTime targetStart = MediaTime::zero();

  MediaTimeRange targetRange() const { return {targetStart, sourceRange.duration}; }
  // The source time shown at composition time t (t inside targetRange()).
  MediaTime sourceTime(const MediaTime& t) const { return sourceRange.start + (t - targetStart); }
};

// A track of a composition: its edits in time order, without overlap (gaps show nothing).
class CompositionTrack {
 public:
  CompositionTrack(int32_t trackID, MediaKind kind) : trackID_(trackID), kind_(kind) {}

  int32_t trackID() const { return trackID_; }
  MediaKind mediaKind() const { return kind_; }
  // The natural size of the video it holds (that of its first edit's source); empty for audio.
  QSize naturalSize() const { return naturalSize_; }
  const std::vector<CompositionTrackSegment>& segments() const { return segments_; }
  // [0, end of the last edit).
  MediaTimeRange timeRange() const;
  // The edit that covers t, or null.
  const CompositionTrackSegment* segmentAt(const MediaTime& t) const;

  // Places `range` of the source track at `at`. A range that runs past the end of the source track
  // is cut at its end; the part before the track's first sample stays empty (the rest lands where it
  // would have); an empty range adds nothing. Throws PlatformError for a track of another kind, a
  // range that starts after the source track, or a place before the end of the track's last edit
  // (edits are appended in time order).
  void insertTimeRange(const MediaTimeRange& range, const std::filesystem::path& sourceFile,
                       const MediaTrack& sourceTrack, const MediaTime& at);

 private:
  int32_t trackID_;
  MediaKind kind_;
  QSize naturalSize_;
  std::vector<CompositionTrackSegment> segments_;
};

// Tracks of edits from any number of source files, the input of an export. Built on one thread,
// then only read (any thread).
class MutableComposition {
 public:
  static constexpr const char* kErrorDomain = "MutableComposition";

  // A new empty track; the id is `preferredTrackID` when that is free and valid, else the next
  // free one. Null for MediaKind::other.
  CompositionTrack* addMutableTrack(MediaKind kind, int32_t preferredTrackID = 0);

  const std::vector<std::unique_ptr<CompositionTrack>>& tracks() const { return tracks_; }
  std::vector<const CompositionTrack*> tracks(MediaKind kind) const;
  const CompositionTrack* track(int32_t trackID) const;
  // The end of the longest track.
  MediaTime duration() const;

 private:
  std::vector<std::unique_ptr<CompositionTrack>> tracks_;
};

}  // namespace tk
