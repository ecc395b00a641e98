#include "platform/media/SampleBuffer.h"

namespace tk {

SampleBuffer SampleBuffer::video(std::shared_ptr<PixelBuffer> pixels, MediaTime presentationTime,
                                 MediaTime duration) {
  SampleBuffer sample;
  sample.kind_ = Kind::video;
  sample.pixels_ = std::move(pixels);
  sample.presentationTime_ = presentationTime;
  sample.duration_ = duration;
  return sample;
}

SampleBuffer SampleBuffer::audio(std::shared_ptr<const AudioBlock> block, MediaTime presentationTime) {
  SampleBuffer sample;
  sample.kind_ = Kind::audio;
  sample.audio_ = std::move(block);
  sample.presentationTime_ = presentationTime;
  return sample;
}

bool SampleBuffer::isValid() const {
  if (!presentationTime_.isValid()) return false;
  if (kind_ == Kind::video) return pixels_ != nullptr;
  return audio_ != nullptr && audio_->frameCount > 0 && audio_->format.sampleRate > 0;
}

MediaTime SampleBuffer::duration() const {
  if (duration_.isValid() || kind_ == Kind::video || !audio_) return duration_;
  return MediaTime(audio_->frameCount, audio_->format.sampleRate);
}

SampleBuffer SampleBuffer::retimed(MediaTime presentationTime) const {
  SampleBuffer copy = *this;
  copy.presentationTime_ = presentationTime;
  return copy;
}

}  // namespace tk
