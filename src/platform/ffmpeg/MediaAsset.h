#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/media/MediaTime.h"

namespace tk {

enum class MediaKind { video, audio, other };

// One track of a media file, as the file describes it.
struct MediaTrack {
  int trackID = 0;  // 1-based, in file order
  MediaKind kind = MediaKind::other;
  std::string codec;
  MediaTime start = MediaTime::zero();  // time range on the file's timeline (0 = first sample)
  MediaTime duration = MediaTime::zero();
  int width = 0;  // natural size of a video track
  int height = 0;
  double nominalFrameRate = 0;
  int sampleRate = 0;  // audio tracks
  int channels = 0;
};

// What a media file holds: its tracks in file order and its duration. A plain value read once by
// load(); the readers open the file themselves. Any thread.
class MediaAsset {
 public:
  // Reads the file's header. Throws FfmpegError ("Opening <file>: ...") when the file is missing,
  // unreadable or not a media file.
  static MediaAsset load(const std::filesystem::path& file);

  const std::filesystem::path& url() const { return url_; }
  MediaTime duration() const { return duration_; }
  const std::vector<MediaTrack>& tracks() const { return tracks_; }
  std::vector<MediaTrack> tracks(MediaKind kind) const;
  // The first track of a kind, or null.
  const MediaTrack* firstTrack(MediaKind kind) const;

 private:
  std::filesystem::path url_;
  MediaTime duration_ = MediaTime::zero();
  std::vector<MediaTrack> tracks_;
};

}  // namespace tk
