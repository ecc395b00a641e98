#include "export/CursorSprite.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "export/PixelCompositing.h"

namespace tk {
namespace {

void paintArrow(QPainter& painter, double size) {
  QPainterPath path;
  path.moveTo(0, 0);
  path.lineTo(0, 0.85 * size);
  path.lineTo(0.2 * size, 0.65 * size);
  path.lineTo(0.35 * size, 0.95 * size);
  path.lineTo(0.5 * size, 0.85 * size);
  path.lineTo(0.35 * size, 0.55 * size);
  path.lineTo(0.55 * size, 0.55 * size);
  path.closeSubpath();
  const double u = size / 24;
  painter.setRenderHint(QPainter::Antialiasing);
  painter.strokePath(path, QPen(Qt::white, 3 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.strokePath(path, QPen(Qt::black, 1.5 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.fillPath(path, Qt::white);
}

}  // namespace

void CursorSprite::draw(PixelBuffer& frame, QPointF tip, const Look& look) {
  if (!(look.arrowSize > 0) || !std::isfinite(tip.x()) || !std::isfinite(tip.y())) return;
  const double u = look.arrowSize / 24;
  const double blur = std::max(look.blurRadius, 0.0);
  const int margin = static_cast<int>(
      std::ceil(3 * std::max(look.shadowSigma, 0.0) + std::abs(look.shadowOffset) + blur + 2 * u + 2));
  const int width = static_cast<int>(std::ceil(0.55 * look.arrowSize)) + 2 * margin + 1;
  const int height = static_cast<int>(std::ceil(0.95 * look.arrowSize)) + 2 * margin + 1;
  const int originX = static_cast<int>(std::floor(tip.x())) - margin;
  const int originY = static_cast<int>(std::floor(tip.y())) - margin;
  if (originX >= frame.width() || originY >= frame.height() || originX + width <= 0 || originY + height <= 0)
    return;

  if (canvas_.width() < width || canvas_.height() < height)
    canvas_ = QImage(std::max(width, canvas_.width()), std::max(height, canvas_.height()),
                     QImage::Format_ARGB32_Premultiplied);
  canvas_.fill(Qt::transparent);
  {
    QPainter painter(&canvas_);
    painter.translate(margin + (tip.x() - std::floor(tip.x())), margin + (tip.y() - std::floor(tip.y())));
    paintArrow(painter, look.arrowSize);
  }
  // Our buffer's rows are width long; the scratch image's rows are its own width.
  const size_t count = static_cast<size_t>(width) * height;
  std::vector<uint32_t>& arrow = scratch_;
  arrow.resize(count);
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const uint32_t*>(canvas_.constScanLine(y));
    std::copy(in, in + width, arrow.begin() + static_cast<size_t>(y) * width);
  }

  if (look.shadowSigma > 0) {
    // Black silhouette at half the arrow's opacity, moved right and down, then softened.
    shadow_.assign(count, 0);
    const int shift = static_cast<int>(std::lround(look.shadowOffset));
    std::vector<float>& plane = planeScratch_;
    plane.assign(count, 0.0f);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int sx = x - shift, sy = y - shift;
        if (sx >= 0 && sy >= 0 && sx < width && sy < height)
          plane[static_cast<size_t>(y) * width + x] =
              static_cast<float>(arrow[static_cast<size_t>(sy) * width + sx] >> 24) * 0.5f;
      }
    PixelCompositing::gaussianBlur(plane.data(), width, height, look.shadowSigma, blurScratch_);
    for (size_t i = 0; i < count; ++i)
      shadow_[i] = static_cast<uint32_t>(std::clamp(plane[i] + 0.5f, 0.0f, 255.0f)) << 24;
    if (blur > 0.01) motionBlur(shadow_.data(), width, height, blur * 0.5, look.blurDirection);
    PixelCompositing::drawSprite(frame, shadow_.data(), width, height, originX, originY);
  }
  if (blur > 0.01) motionBlur(arrow.data(), width, height, blur, look.blurDirection);
  PixelCompositing::drawSprite(frame, arrow.data(), width, height, originX, originY);
}

void CursorSprite::motionBlur(uint32_t* pixels, int width, int height, double radius, QPointF direction) {
  const double length = std::hypot(direction.x(), direction.y());
  if (!(radius > 0.01) || !(length > 0)) return;
  const double dx = direction.x() / length, dy = direction.y() / length;
  const int taps = std::max(1, static_cast<int>(std::ceil(radius)));
  const size_t count = static_cast<size_t>(width) * height;
  blurSource_.assign(pixels, pixels + count);
  const float norm = 1.0f / static_cast<float>(2 * taps + 1);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (int k = -taps; k <= taps; ++k) {
        const double step = radius * k / taps;
        const int sx = static_cast<int>(std::lround(x + dx * step));
        const int sy = static_cast<int>(std::lround(y + dy * step));
        if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
        const uint32_t p = blurSource_[static_cast<size_t>(sy) * width + sx];
        acc[0] += static_cast<float>(p & 0xff);
        acc[1] += static_cast<float>((p >> 8) & 0xff);
        acc[2] += static_cast<float>((p >> 16) & 0xff);
        acc[3] += static_cast<float>(p >> 24);
      }
      uint32_t out = 0;
      for (int c = 0; c < 4; ++c) out |= static_cast<uint32_t>(acc[c] * norm + 0.5f) << (8 * c);
      pixels[static_cast<size_t>(y) * width + x] = out;
    }
}

}  // namespace tk
