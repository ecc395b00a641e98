#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace tk {

enum class AudioCodecKind { aac, alac, flac, opus };

struct AudioFileSettings {
  AudioCodecKind codec = AudioCodecKind::aac;
  int sampleRate = 48000;
  int channels = 2;
  std::optional<int64_t> bitRate = 128000;  // none for the lossless codecs
};

// Encodes interleaved 32-bit float PCM into one MPEG-4 audio file (".m4a"): AAC and ALAC in the
// iPod flavour of the container, FLAC and Opus in plain MPEG-4, which alone carries them.
//
// The file is written under a hidden name beside the destination and takes the destination's name
// only when finish() succeeds, so a failed or abandoned export never leaves a partial file and
// never damages a file already at the destination.
//
// Threads: one thread at a time calls every function. Errors are FfmpegError.
class AudioFileWriter {
 public:
  // Opens the encoder and the muxer and writes the header.
  AudioFileWriter(std::filesystem::path destination, const AudioFileSettings& settings);
  // Without a successful finish the hidden file is removed.
  ~AudioFileWriter();
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  // `frames` frames of `channels` interleaved floats at the file's rate.
  void write(const float* interleaved, int frames);
  // Flushes the encoder, writes the trailer and moves the file to its destination.
  void finish();

  int64_t framesWritten() const { return framesWritten_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int64_t framesWritten_ = 0;
};

}  // namespace tk
