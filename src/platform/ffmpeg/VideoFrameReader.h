#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"

namespace tk {

// Decodes one video track of a file into BGRA pixel buffers (premultiplied, full range; the
// source's BT.709 limited-range YUV is converted with those coefficients set explicitly).
//
// Two ways to read, sharing one decoder:
// - exact: frameAt(t) returns the frame shown at t (the last frame whose time is <= t; the first
//   frame for a time before it, the last for a time after the end). It seeks to the keyframe before
//   t and decodes forward, or just decodes forward when t lies ahead in the current keyframe run.
// - sequential: nextFrame() returns the frames one after another in presentation order, from the
//   start, or from the frame shown at the time given to seek().
//
// Frames come from a pool; a frame a caller keeps is never written again. Frame times are on the
// file's timeline (0 = its first sample).
//
// Threads: one thread at a time calls every function (the player's video thread, an export thread).
// Errors are FfmpegError.
class VideoFrameReader {
 public:
  // `trackID` as in MediaAsset (1-based, file order); 0 = the first video track. `decoderThreads`:
  // 0 decodes on every core (the quickest seek); a reader that goes forward only needs few, and each
  // thread holds frames of its own.
  explicit VideoFrameReader(const std::filesystem::path& file, int trackID = 0, int decoderThreads = 0);
  ~VideoFrameReader();
  VideoFrameReader(const VideoFrameReader&) = delete;
  VideoFrameReader& operator=(const VideoFrameReader&) = delete;

  int naturalWidth() const;
  int naturalHeight() const;
  // One frame's time at the track's nominal rate (1/60 s for a 60 fps movie).
  MediaTime nominalFrameDuration() const;

  // Size of the delivered frames; 0 x 0 (the default) delivers the natural size. Scaling happens in
  // the same pass as the colour conversion.
  void setOutputSize(int width, int height);
  int outputWidth() const;
  int outputHeight() const;

  // Exact: the frame shown at `time`. Throws when the track yields no frame at all.
  SampleBuffer frameAt(MediaTime time);

  // Sequential. seek(t) makes the next advance() return the frame shown at t.
  void seek(MediaTime time);
  // Decodes the next frame without converting it; its time, or none at the end of the track.
  std::optional<MediaTime> advance();
  // The frame advance() last stepped to, converted. Invalid before the first advance().
  SampleBuffer currentFrame();
  // advance() then currentFrame().
  std::optional<SampleBuffer> nextFrame();

  // How many frames the decoder produced (counting those a seek passed over), for measurements.
  uint64_t decodedFrameCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tk
