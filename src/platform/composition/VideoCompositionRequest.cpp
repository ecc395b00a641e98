#include "platform/composition/VideoCompositionRequest.h"

namespace tk {

VideoCompositionRequest::VideoCompositionRequest(
    MediaTime compositionTime, std::shared_ptr<const VideoCompositionInstruction> instruction,
    std::shared_ptr<VideoCompositionRenderContext> renderContext, std::vector<SourceFrame> sourceFrames,
    Completion completion)
    : compositionTime_(compositionTime),
      instruction_(std::move(instruction)),
      renderContext_(std::move(renderContext)),
      sourceFrames_(std::move(sourceFrames)),
      completion_(std::move(completion)) {
  if (!instruction_) instruction_ = std::make_shared<VideoCompositionInstruction>();
}

VideoCompositionRequest::~VideoCompositionRequest() {
  if (!finished_.load())
    finish(nullptr, PlatformError("VideoComposition", -2,
                                  "The frame at " + compositionTime_.description() +
                                      " was dropped before it was composed."));
}

const std::vector<int32_t>& VideoCompositionRequest::sourceTrackIDs() const {
  static const std::vector<int32_t> none;
  return instruction_->requiredSourceTrackIDs ? *instruction_->requiredSourceTrackIDs : none;
}

std::shared_ptr<const PixelBuffer> VideoCompositionRequest::sourceFrame(int32_t trackID) const {
  for (const auto& source : sourceFrames_)
    if (source.trackID == trackID && source.frame && source.trackRange.containsTime(compositionTime_))
      return source.frame;
  return nullptr;
}

void VideoCompositionRequest::finishWithComposedVideoFrame(std::shared_ptr<PixelBuffer> frame) {
  finish(std::move(frame), std::nullopt);
}

void VideoCompositionRequest::finishWithError(PlatformError error) {
  finish(nullptr, std::move(error));
}

void VideoCompositionRequest::finish(std::shared_ptr<PixelBuffer> frame, std::optional<PlatformError> error) {
  if (finished_.exchange(true)) return;  // the first finish wins
  if (completion_) {
    auto completion = std::move(completion_);
    completion(std::move(frame), std::move(error));
  }
}

}  // namespace tk
