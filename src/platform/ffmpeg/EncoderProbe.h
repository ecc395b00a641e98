#pragma once

#include <string>

#include "platform/ffmpeg/AssetWriter.h"

namespace tk {

// What the installed FFmpeg can encode. Each call asks FFmpeg anew; nothing is cached.
// Any thread may call these.
class EncoderProbe {
 public:
  static bool hasEncoder(const std::string& name);
  // HEVC with an alpha layer needs an HEVC encoder that takes a pixel format with alpha;
  // FFmpeg 5.1's libx265 does not, so this is false there.
  static bool supportsHevcWithAlpha();
  // Opens (and closes) the codec's encoder at this size. Stands in for asking the system whether its
  // encoder takes the size.
  static bool canEncode(VideoCodecKind codec, int width, int height);
};

}  // namespace tk
