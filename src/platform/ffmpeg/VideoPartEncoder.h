#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ffmpeg/AssetWriter.h"

struct AVPacket;

namespace tk {

// Encodes a later stretch of a movie's video track apart from the writer that holds the file, so
// that stretches of one export encode side by side; AssetWriter::finish joins its packets after the
// track's own. Made by AssetWriter::makeVideoPart with the track's settings: its first frame is a
// keyframe, and its packets wait in a hidden file beside the movie until they are joined.
//
// Threads: start, finish and cancel from one thread; append from any (as AssetWriter). replay is the
// writer's, after finish.
class VideoPartEncoder {
 public:
  // Creates `spillPath` exclusively (FfmpegError when it exists or cannot be made) and opens the
  // encoder.
  VideoPartEncoder(const VideoInputSettings& settings, ContainerFormat format,
                   std::filesystem::path spillPath);
  // Removes the hidden file.
  ~VideoPartEncoder();
  VideoPartEncoder(const VideoPartEncoder&) = delete;
  VideoPartEncoder& operator=(const VideoPartEncoder&) = delete;

  // The parameter sets the encoder put in its header: a part joins only a track with the same.
  std::vector<uint8_t> parameterSets() const;
  const std::filesystem::path& spillPath() const { return spillPath_; }

  void start();
  bool isReadyForVideo() const;
  // Times on the file's clock, as AssetWriter::appendVideo.
  bool appendVideo(std::shared_ptr<PixelBuffer> pixels, MediaTime time);
  // Drains the queue and flushes the encoder; every packet is then in the hidden file.
  void finish();
  // Stops at once and discards what is queued.
  void cancel();
  bool failed() const;
  std::string failure() const;

  // After finish: each packet in encoding order, its times in 1 / AssetWriterVideoInput::kTimescale
  // seconds. False (with failure() set) when the hidden file could not be read back whole.
  bool replay(const std::function<void(AVPacket*)>& each);

 private:
  void spill(const AVPacket& packet);

  std::filesystem::path spillPath_;
  std::FILE* spill_ = nullptr;
  std::unique_ptr<AssetWriterMuxer> muxer_;
  std::unique_ptr<AssetWriterVideoInput> input_;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace tk
