#pragma once

#include <functional>
#include <memory>

#include "platform/composition/VideoCompositionRenderContext.h"
#include "platform/composition/VideoCompositionRequest.h"

namespace tk {

// A custom compositor: the export makes one or more per session through the video composition's
// factory, tells each the render context, and deals the output frames out among them, one request
// per frame; a frame must therefore depend only on its request, not on the frames rendered before.
// The export may call these from any thread; the compositor finishes each request on a thread of
// its own.
class VideoCompositing {
 public:
  virtual ~VideoCompositing() = default;

  // The context that output frames come from from now on; cached canvases made for the old one
  // are dropped before the next frame renders.
  virtual void renderContextChanged(std::shared_ptr<VideoCompositionRenderContext> context) = 0;
  virtual void startVideoCompositionRequest(std::shared_ptr<VideoCompositionRequest> request) = 0;
  virtual void cancelAllPendingVideoCompositionRequests() = 0;
};

using VideoCompositorFactory = std::function<std::unique_ptr<VideoCompositing>()>;

}  // namespace tk
