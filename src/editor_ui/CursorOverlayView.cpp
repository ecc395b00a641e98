#include "editor_ui/CursorOverlayView.h"

#include "export/CursorSprite.h"
#include "platform/media/PixelBuffer.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <optional>

namespace tk {

namespace {

// The one renderer cache of the process, keyed by the settings, the counts and the first and last
// timestamps (an edit in the middle of the samples keeps the old renderer).
struct RendererCache {
  std::unique_ptr<CursorOverlayRenderer> renderer;
  std::optional<CursorOverlaySettings> cachedSettings;
  size_t positionsCount = 0;
  size_t clicksCount = 0;
  double firstPositionTimestamp = 0;
  double lastPositionTimestamp = 0;
  double firstClickTimestamp = 0;
  int builds = 0;
  // The export's arrow drawing and the glyph's buffer, kept between frames.
  CursorSprite sprite;
  std::shared_ptr<PixelBuffer> glyph;
};

RendererCache& cache() {
  static RendererCache instance;
  return instance;
}

}  // namespace

CursorOverlayView::CursorOverlayView(double currentTime, QSizeF videoSize, CursorOverlaySettings settings,
                                     const std::vector<CursorPosition>& cursorPositions,
                                     const std::vector<CursorClick>& clickEvents)
    : currentTime_(currentTime),
      videoSize_(videoSize),
      settings_(std::move(settings)),
      cursorPositions_(cursorPositions),
      clickEvents_(clickEvents) {}

int CursorOverlayView::rendererBuildCount() {
  return cache().builds;
}

const CursorOverlayRenderer& CursorOverlayView::cachedRenderer() const {
  auto& c = cache();
  const size_t n = cursorPositions_.size(), k = clickEvents_.size();
  const double first = n ? cursorPositions_.front().timestamp : 0;
  const double last = n ? cursorPositions_.back().timestamp : 0;
  const double firstClick = k ? clickEvents_.front().timestamp : 0;
  const bool reuse = c.renderer && c.cachedSettings && *c.cachedSettings == settings_ &&
                     c.positionsCount == n && c.clicksCount == k && c.firstPositionTimestamp == first &&
                     c.lastPositionTimestamp == last && c.firstClickTimestamp == firstClick;
  if (!reuse) {
    c.renderer = std::make_unique<CursorOverlayRenderer>(settings_, cursorPositions_, clickEvents_);
    c.cachedSettings = settings_;
    c.positionsCount = n;
    c.clicksCount = k;
    c.firstPositionTimestamp = first;
    c.lastPositionTimestamp = last;
    c.firstClickTimestamp = firstClick;
    ++c.builds;
  }
  return *c.renderer;
}

void CursorOverlayView::draw(QPainter& painter, QSizeF size) const {
  if (!settings_.enabled) return;
  const CursorState state = cachedRenderer().cursorState(currentTime_);
  if (!state.isVisible) return;
  const double W = size.width(), H = size.height();
  const double side = state.scale * (H / 1080 * 24);
  if (!(side > 0.5)) return;
  const double angle = std::atan2(state.velocity.y(), state.velocity.x());
  const double blur = state.motionBlur * 20 * (H / 1080);

  // The export's own arrow drawing (so both draw the same cursor), with its soft shadow one point
  // down and right and its blur along the motion, into a small buffer kept between frames.
  const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const int margin = static_cast<int>(std::ceil((4 + blur) * dpr));
  const int extent = static_cast<int>(std::ceil(side * dpr)) + 2 * margin;
  auto& c = cache();
  if (!c.glyph || c.glyph->width() < extent || c.glyph->height() < extent)
    c.glyph = PixelBuffer::create(extent, extent);
  c.glyph->fill(0);
  CursorSprite::Look look;
  look.arrowSize = side * dpr;
  look.shadowSigma = 1 * dpr;  // a shadow radius of 2 points
  look.shadowOffset = 1 * dpr;
  if (blur > 0.5) {
    look.blurRadius = 0.5 * blur * dpr;
    look.blurDirection = state.velocity;
  }
  c.sprite.draw(*c.glyph, QPointF(margin, margin), look);
  const QImage glyph(c.glyph->data(), extent, extent, c.glyph->bytesPerRow(),
                     QImage::Format_ARGB32_Premultiplied);

  double opacity = 1, sx = 1, sy = 1;
  if (blur > 0.5) {
    sx = 1 + 0.02 * blur * std::abs(std::cos(angle));
    sy = 1 + 0.02 * blur * std::abs(std::sin(angle));
    opacity = std::max(0.0, 1 - 0.1 * blur);
  }
  painter.save();
  painter.setOpacity(painter.opacity() * opacity);
  painter.translate(state.position.x() * W, state.position.y() * H);
  painter.scale(sx, sy);
  // The glyph's frame is centred on the cursor point: the tip lies half a glyph up and left of it.
  const double m = margin / dpr;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(-side / 2 - m, -side / 2 - m, extent / dpr, extent / dpr), glyph);
  painter.restore();
}

}  // namespace tk
