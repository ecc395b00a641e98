#include "export/BackgroundImage.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "editor/GradientEndpoints.h"

namespace tk::BackgroundImage {
namespace {

constexpr uint32_t kBlack = 0xff000000u;

double unit(double v) {
  return v >= 0 ? std::min(v, 1.0) : 0;
}

bool sameColor(const CodableColor& a, const CodableColor& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

void renderGradient(PixelBuffer& canvas, const GradientSettings& gradient) {
  const auto& colors = gradient.colors;
  if (colors.empty()) {
    canvas.fill(kBlack);
    return;
  }
  const int W = canvas.width(), H = canvas.height();
  const auto ends = GradientEndpoints::forAngle(gradient.angle, QSizeF(W, H));
  const double dx = ends.end.x() - ends.start.x(), dy = ends.end.y() - ends.start.y();
  const double length2 = dx * dx + dy * dy;
  // Colours evenly spaced along the line; a table of the ramp keeps the per-pixel work to a lookup.
  constexpr int kSteps = 4096;
  static thread_local std::array<uint32_t, kSteps + 1> ramp;
  for (int i = 0; i <= kSteps; ++i) {
    const double t = static_cast<double>(i) / kSteps * static_cast<double>(colors.size() - 1);
    const size_t k = std::min(static_cast<size_t>(t), colors.size() - 1);
    const size_t k1 = std::min(k + 1, colors.size() - 1);
    const double f = t - static_cast<double>(k);
    const CodableColor& a = colors[k];
    const CodableColor& b = colors[k1];
    ramp[i] = premultiplied({a.red + (b.red - a.red) * f, a.green + (b.green - a.green) * f,
                             a.blue + (b.blue - a.blue) * f, a.alpha + (b.alpha - a.alpha) * f});
  }
  for (int y = 0; y < H; ++y) {
    auto* out = reinterpret_cast<uint32_t*>(canvas.row(y));
    const double py = y + 0.5 - ends.start.y();
    for (int x = 0; x < W; ++x) {
      double t = length2 > 0 ? ((x + 0.5 - ends.start.x()) * dx + py * dy) / length2 : 0;
      t = std::clamp(t, 0.0, 1.0);  // extended beyond both ends
      out[x] = ramp[static_cast<size_t>(t * kSteps + 0.5)];
    }
  }
}

}  // namespace

uint32_t premultiplied(const CodableColor& c) {
  const double a = unit(c.alpha);
  auto channel = [&](double v) { return static_cast<uint32_t>(std::lround(unit(v) * a * 255)); };
  return static_cast<uint32_t>(std::lround(a * 255)) << 24 | channel(c.red) << 16 | channel(c.green) << 8 |
         channel(c.blue);
}

void render(PixelBuffer& canvas, const std::optional<BackgroundSettings>& settings) {
  if (!settings) return canvas.fill(kBlack);
  switch (settings->type) {
    case StudioBackgroundType::gradient:
      if (settings->gradient) return renderGradient(canvas, *settings->gradient);
      break;
    case StudioBackgroundType::solidColor:
      if (settings->color) return canvas.fill(premultiplied(*settings->color));
      break;
    case StudioBackgroundType::image:
      break;
  }
  canvas.fill(kBlack);
}

bool drawsTheSame(const std::optional<BackgroundSettings>& a, const std::optional<BackgroundSettings>& b) {
  if (!a || !b) return !a && !b;
  if (a->type != b->type) return false;
  switch (a->type) {
    case StudioBackgroundType::gradient: {
      if (!a->gradient || !b->gradient) return !a->gradient && !b->gradient;
      const auto& ca = a->gradient->colors;
      const auto& cb = b->gradient->colors;
      return a->gradient->angle == b->gradient->angle &&
             std::equal(ca.begin(), ca.end(), cb.begin(), cb.end(), sameColor);
    }
    case StudioBackgroundType::solidColor:
      if (!a->color || !b->color) return !a->color && !b->color;
      return sameColor(*a->color, *b->color);
    case StudioBackgroundType::image:
      return true;  // drawn black either way
  }
  return false;
}

}  // namespace tk::BackgroundImage
