#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "export/RoundedCameraCompositionInstruction.h"
#include "export/RoundedCameraCompositor.h"

namespace tk::test {

// Synthetic frames whose pixels say where they came from: red grows left to right, green grows top
// to bottom, blue is fixed; so a probe can tell which source pixel it shows.
std::shared_ptr<PixelBuffer> positionFrame(int width, int height, uint8_t blue = 0);
// A frame whose top half is one colour and bottom half another.
std::shared_ptr<PixelBuffer> splitFrame(int width, int height, uint32_t top, uint32_t bottom);

struct Channels {
  int r, g, b, a;
};
Channels channels(uint32_t argb);

// A zoom segment with equal ease-in and ease-out.
ZoomSegment zoomSegment(double start, double end, double level, double ease);

// Settings as an export would leave them, with nothing drawn but what a test turns on.
RoundedCameraCompositorSettings plainSettings();

// Sends one frame through the compositor's request path and waits for it.
struct Composed {
  std::shared_ptr<PixelBuffer> frame;
  std::optional<PlatformError> error;
};
Composed compose(RoundedCameraCompositor& compositor, const RoundedCameraCompositorSettings& settings,
                 double t, QSize canvas, std::shared_ptr<const PixelBuffer> screen,
                 std::shared_ptr<const PixelBuffer> camera = nullptr,
                 std::shared_ptr<VideoCompositionRenderContext> context = nullptr);

}  // namespace tk::test
