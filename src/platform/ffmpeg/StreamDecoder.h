#pragma once

// One decoded stream of a media file. Internal to src/platform/ffmpeg: the readers build on it.

#include <filesystem>

#include "platform/ffmpeg/FfmpegHandles.h"
#include "platform/media/MediaTime.h"

namespace tk::ff {

// Opens a file, picks one stream and decodes it. Packets of every other stream are discarded by
// the demuxer. One thread at a time.
class StreamDecoder {
 public:
  // `trackID` is 1-based in file order; 0 takes the first stream of `type`. Throws FfmpegError.
  StreamDecoder(const std::filesystem::path& file, AVMediaType type, int trackID, int threads);

  AVFormatContext* format() const { return format_.get(); }
  AVStream* stream() const { return stream_; }
  AVCodecContext* codec() const { return codec_.get(); }

  // Decodes the next frame into `frame`. False at the end of the stream. Corrupt packets are
  // skipped; a read error other than the end throws FfmpegError.
  bool decodeNext(AVFrame* frame);
  // Packets whose whole display interval ends at or before `pts` are not decoded when nothing
  // refers to them (a seek's run-up to its target). INT64_MIN decodes everything. A packet without
  // a duration of its own is taken to last `frameDuration`.
  void setSkipNonReferenceBefore(int64_t pts, int64_t frameDuration = 0) {
    skipBefore_ = pts;
    skipDuration_ = frameDuration;
  }

  // Seeks to the keyframe at or before `timestamp` (stream time base) and flushes the decoder.
  void seekBackward(int64_t timestamp);
  // Decode timestamp of the last packet sent to the decoder; INT64_MIN before the first.
  int64_t lastPacketDts() const { return lastDts_; }
  // The timestamp (stream time base) of the keyframe a seek to `timestamp` would land on, or
  // INT64_MIN when the index does not tell.
  int64_t keyframeBefore(int64_t timestamp) const;

  // The file's origin (its first sample) in the stream's time base, and conversions to our times.
  int64_t origin() const { return origin_; }
  MediaTime toMediaTime(int64_t timestamp) const;
  int64_t toStreamTime(MediaTime time) const;

 private:
  InputContextPtr format_;
  AVStream* stream_ = nullptr;
  CodecContextPtr codec_;
  PacketPtr packet_;
  bool draining_ = false;
  bool ended_ = false;
  int64_t lastDts_ = INT64_MIN;
  int64_t skipBefore_ = INT64_MIN;
  int64_t skipDuration_ = 0;
  int64_t origin_ = 0;
};

// Opens a file for reading its header; throws FfmpegError naming the file.
InputContextPtr openInput(const std::filesystem::path& file);

}  // namespace tk::ff
