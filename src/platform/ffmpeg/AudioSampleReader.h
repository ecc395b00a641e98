#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"

namespace tk {

// Decodes one audio track of a file, whatever its codec, sample format, rate and channel layout,
// to 32-bit float PCM in the requested format (for example 48 kHz stereo, interleaved).
//
// Blocks come in time order, each stamped with its time on the file's timeline (0 = the file's
// first sample). seek(t) makes the next block start exactly at t: samples before it are cut off.
// Block payloads are reused once the caller has let go of them, so a steady reader allocates
// nothing per block.
//
// Threads: one thread at a time calls every function. Errors are FfmpegError.
class AudioSampleReader {
 public:
  // `trackID` as in MediaAsset (1-based, file order); 0 = the first audio track.
  AudioSampleReader(const std::filesystem::path& file, AudioFormat output, int trackID = 0);
  ~AudioSampleReader();
  AudioSampleReader(const AudioSampleReader&) = delete;
  AudioSampleReader& operator=(const AudioSampleReader&) = delete;

  const AudioFormat& outputFormat() const;
  void seek(MediaTime time);
  // The next block of audio, or none at the end of the track.
  std::optional<SampleBuffer> nextBlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tk
