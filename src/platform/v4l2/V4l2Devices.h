#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/ShareableContent.h"

namespace tk {

// One way a camera can deliver frames: a pixel format at a size, with the highest frame rate the
// driver offers for it.
struct V4l2FormatOption {
  uint32_t pixelFormat = 0;  // V4L2 fourcc
  int width = 0;
  int height = 0;
  double maxFrameRate = 0;

  bool operator==(const V4l2FormatOption&) const = default;
};

// The video-capture devices of the kernel's video nodes.
class V4l2Devices {
 public:
  static const uint32_t kMjpeg;
  static const uint32_t kYuyv;

  // The nodes under `devDir` that capture video, in node order. Metadata nodes (the second node
  // of most USB cameras) are left out. A node we may not open is still listed, named from sysfs,
  // so that choosing it reports the missing rights rather than an absent camera. `uniqueID` is the
  // /dev/v4l/by-id name where udev made one, else the bus and card; `isExternal` is true for a
  // device on a removable USB port (a built-in camera sits on a fixed port, PCI or the platform).
  static std::vector<CaptureDevice> list(const std::string& devDir = "/dev");

  // The formats a node offers, as the driver lists them.
  static std::vector<V4l2FormatOption> formats(int fd);

  // The format for the "high" preset: the largest size up to 1920x1080 that runs at 24 frames a
  // second or more, MJPEG before YUYV at equal size; other pixel formats are not used. Falls back
  // to the fastest usable format when none reaches 24.
  static std::optional<V4l2FormatOption> chooseHighFormat(const std::vector<V4l2FormatOption>& options) {
    return chooseFormat(options, 1920, 1080);
  }
  // The same rule under another size ceiling (the lower quality presets).
  static std::optional<V4l2FormatOption> chooseFormat(const std::vector<V4l2FormatOption>& options,
                                                      int maxWidth, int maxHeight);
};

}  // namespace tk
