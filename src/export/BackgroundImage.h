#pragma once

#include <optional>

#include "model/BackgroundSettings.h"
#include "platform/media/PixelBuffer.h"

namespace tk {

// The canvas behind an export's picture: a linear gradient (in the editor's direction, from
// GradientEndpoints), a solid colour, or black (no settings, a missing gradient or colour, no
// colours, or the image kind). Built once per canvas and settings; any thread.
namespace BackgroundImage {

void render(PixelBuffer& canvas, const std::optional<BackgroundSettings>& settings);
// Whether two settings draw the same background (every colour and the angle compared).
bool drawsTheSame(const std::optional<BackgroundSettings>& a, const std::optional<BackgroundSettings>& b);
// A colour as a premultiplied 0xAARRGGBB word; components clamped to 0...1.
uint32_t premultiplied(const CodableColor& color);

}  // namespace BackgroundImage
}  // namespace tk
