#pragma once

#include <QRectF>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/media/MediaTime.h"

namespace tk {

// How a capture stream shapes its frames and audio. The coordinator fills one per recording; the
// stream copies it, and a resize replaces it whole.
struct StreamConfiguration {
  static constexpr uint32_t kPixelFormatBGRA = 0x42475241;  // 'BGRA'

  int width = 0;  // pixels of each delivered frame; 0 takes the content's size
  int height = 0;
  bool scalesToFit = false;  // keep the content's aspect inside width x height, bands in the background
  bool showsCursor = true;
  std::optional<uint32_t> backgroundColor;  // premultiplied ARGB; none is opaque black
  uint32_t pixelFormat = kPixelFormatBGRA;
  std::string colorSpaceName = "sRGB";
  MediaTime minimumFrameInterval = MediaTime(1, 60);
  bool capturesAudio = false;
  int sampleRate = 48000;
  int channelCount = 2;
  QRectF sourceRect;  // in the content's pixels, origin top left; empty captures all of it
  int queueDepth = 3;

  uint32_t background() const { return backgroundColor.value_or(0xff000000u); }
};

}  // namespace tk
