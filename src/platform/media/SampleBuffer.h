#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/media/MediaTime.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// How a capture source describes one delivered frame.
enum class FrameStatus : int {
  complete = 0,
  idle = 1,
  blank = 2,
  suspended = 3,
  started = 4,
  stopped = 5,
};

struct FrameRect {
  double x = 0, y = 0, width = 0, height = 0;
};

// Per-frame facts a capture stream attaches to a video sample.
struct FrameAttachments {
  std::optional<FrameStatus> status;
  std::optional<double> contentScale;
  std::optional<double> scaleFactor;
  std::optional<FrameRect> contentRect;
};

// PCM audio: 32-bit float, interleaved when `interleaved`, else one plane per channel after the
// other (channel c's frames start at c * frameCount).
struct AudioFormat {
  int sampleRate = 48000;
  int channels = 2;
  bool interleaved = true;

  bool operator==(const AudioFormat&) const = default;
};

struct AudioBlock {
  AudioFormat format;
  int frameCount = 0;
  std::vector<float> samples;  // frameCount * channels values

  float sample(int frame, int channel) const {
    return format.interleaved ? samples[static_cast<size_t>(frame) * format.channels + channel]
                              : samples[static_cast<size_t>(channel) * frameCount + frame];
  }
};

// One timed unit of media: a video frame or a block of audio. Cheap to copy: the payload is shared.
class SampleBuffer {
 public:
  enum class Kind { video, audio };

  SampleBuffer() = default;

  static SampleBuffer video(std::shared_ptr<PixelBuffer> pixels, MediaTime presentationTime,
                            MediaTime duration = MediaTime::invalid());
  static SampleBuffer audio(std::shared_ptr<const AudioBlock> block, MediaTime presentationTime);

  // A sample is valid when it carries a payload and a valid presentation time.
  bool isValid() const;
  Kind kind() const { return kind_; }
  bool isVideo() const { return kind_ == Kind::video; }
  bool isAudio() const { return kind_ == Kind::audio; }

  MediaTime presentationTime() const { return presentationTime_; }
  // Audio duration follows from the frame count and rate when none was set.
  MediaTime duration() const;
  void setPresentationTime(MediaTime time) { presentationTime_ = time; }
  void setDuration(MediaTime duration) { duration_ = duration; }

  const std::shared_ptr<PixelBuffer>& pixelBuffer() const { return pixels_; }
  const std::shared_ptr<const AudioBlock>& audioBlock() const { return audio_; }

  const std::optional<FrameAttachments>& attachments() const { return attachments_; }
  void setAttachments(FrameAttachments attachments) { attachments_ = attachments; }

  // A copy of this sample on another timeline; the payload is shared, not copied.
  SampleBuffer retimed(MediaTime presentationTime) const;

 private:
  Kind kind_ = Kind::video;
  MediaTime presentationTime_;
  MediaTime duration_;
  std::shared_ptr<PixelBuffer> pixels_;
  std::shared_ptr<const AudioBlock> audio_;
  std::optional<FrameAttachments> attachments_;
};

}  // namespace tk
