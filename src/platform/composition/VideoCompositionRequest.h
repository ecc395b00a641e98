#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/composition/MediaTimeRange.h"
#include "platform/composition/VideoCompositionInstruction.h"
#include "platform/composition/VideoCompositionRenderContext.h"
#include "platform/media/Error.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// One output frame to compose: its time, its instruction, the render context to draw into and the
// decoded source frames by track id. The exporter builds it and hands it to the compositor; the
// compositor finishes it exactly once, with a frame or with an error, from its own render thread.
// A request dropped unfinished (its compositor gone before it ran) finishes itself with an error,
// so no export waits forever. Any thread may call any function.
class VideoCompositionRequest {
 public:
  // A decoded frame of one source track, with the time range the track covers in the composition:
  // a frame handed in for a time outside that range is never given to the compositor.
  struct SourceFrame {
    int32_t trackID = kInvalidTrackID;
    MediaTimeRange trackRange;
    std::shared_ptr<const PixelBuffer> frame;
  };
  // Receives the composed frame, or null and the error. Runs on the thread that finishes.
  using Completion =
      std::function<void(std::shared_ptr<PixelBuffer> frame, std::optional<PlatformError> error)>;

  VideoCompositionRequest(MediaTime compositionTime,
                          std::shared_ptr<const VideoCompositionInstruction> instruction,
                          std::shared_ptr<VideoCompositionRenderContext> renderContext,
                          std::vector<SourceFrame> sourceFrames, Completion completion);
  ~VideoCompositionRequest();
  VideoCompositionRequest(const VideoCompositionRequest&) = delete;
  VideoCompositionRequest& operator=(const VideoCompositionRequest&) = delete;

  MediaTime compositionTime() const { return compositionTime_; }
  const VideoCompositionInstruction& videoCompositionInstruction() const { return *instruction_; }
  VideoCompositionRenderContext& renderContext() const { return *renderContext_; }

  // The instruction's required track ids, in order (empty when it names none).
  const std::vector<int32_t>& sourceTrackIDs() const;
  // The track's frame at the composition time; null when the track has none or does not cover it.
  std::shared_ptr<const PixelBuffer> sourceFrame(int32_t trackID) const;

  void finishWithComposedVideoFrame(std::shared_ptr<PixelBuffer> frame);
  void finishWithError(PlatformError error);
  bool isFinished() const { return finished_.load(); }

 private:
  void finish(std::shared_ptr<PixelBuffer> frame, std::optional<PlatformError> error);

  MediaTime compositionTime_;
  std::shared_ptr<const VideoCompositionInstruction> instruction_;
  std::shared_ptr<VideoCompositionRenderContext> renderContext_;
  std::vector<SourceFrame> sourceFrames_;
  Completion completion_;
  std::atomic<bool> finished_{false};
};

}  // namespace tk
