#include "editor_ui/CursorOverlayView.h"

#include "export/CursorSprite.h"

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
};

RendererCache& cache() {
  static RendererCache instance;
  return instance;
}

// Blurs a premultiplied image along one axis pair by a box of `radius` pixels, twice (close to a
// Gaussian); small images only.
void boxBlur(QImage& image, int radius) {
  if (radius < 1) return;
  const int w = image.width(), h = image.height();
  std::vector<uint32_t> line(static_cast<size_t>(std::max(w, h)));
  auto pass = [&](bool horizontal) {
    const int n = horizontal ? w : h, lines = horizontal ? h : w;
    for (int l = 0; l < lines; ++l) {
      auto at = [&](int i) -> uint32_t& {
        return horizontal ? reinterpret_cast<uint32_t*>(image.scanLine(l))[i]
                          : reinterpret_cast<uint32_t*>(image.scanLine(i))[l];
      };
      for (int i = 0; i < n; ++i) line[static_cast<size_t>(i)] = at(i);
      for (int i = 0; i < n; ++i) {
        uint32_t sum[4] = {0, 0, 0, 0};
        int count = 0;
        for (int k = std::max(0, i - radius); k <= std::min(n - 1, i + radius); ++k, ++count)
          for (int c = 0; c < 4; ++c) sum[c] += (line[static_cast<size_t>(k)] >> (8 * c)) & 0xff;
        uint32_t v = 0;
        for (int c = 0; c < 4; ++c) v |= (sum[c] / static_cast<uint32_t>(count)) << (8 * c);
        at(i) = v;
      }
    }
  };
  for (int k = 0; k < 2; ++k) {
    pass(true);
    pass(false);
  }
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

  // The export's own arrow (so both draw the same cursor), with its shadow, in a small premultiplied
  // image so that the shadow and the blur stay local.
  const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const QImage arrow = CursorSprite::makeCursorArrowImage(side * dpr);
  const int margin = static_cast<int>(std::ceil((4 + blur) * dpr));
  QImage glyph(arrow.width() + 2 * margin, arrow.height() + 2 * margin, QImage::Format_ARGB32_Premultiplied);
  glyph.fill(Qt::transparent);
  {
    QImage shadow = arrow;
    QPainter tint(&shadow);
    tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
    tint.fillRect(shadow.rect(), QColor(0, 0, 0, 128));
    tint.end();
    QPainter g(&glyph);
    g.drawImage(QPointF(margin + dpr, margin + dpr), shadow);  // one point down and right
    g.drawImage(QPointF(margin, margin), arrow);
  }
  double opacity = 1;
  double sx = 1, sy = 1;
  if (blur > 0.5) {
    boxBlur(glyph, static_cast<int>(std::lround(0.25 * blur * dpr)));
    sx = 1 + 0.02 * blur * std::abs(std::cos(angle));
    sy = 1 + 0.02 * blur * std::abs(std::sin(angle));
    opacity = std::max(0.0, 1 - 0.1 * blur);
  }
  painter.save();
  painter.setOpacity(painter.opacity() * opacity);
  painter.translate(state.position.x() * W, state.position.y() * H);
  painter.scale(sx, sy);
  // The glyph's frame is centred on the cursor point: the tip lies half a glyph up and left of it.
  const double tipInGlyph = (margin + 0.15 * side * dpr) / dpr;
  const QPointF origin(-side / 2 - tipInGlyph, -side / 2 - tipInGlyph);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(origin, QSizeF(glyph.width() / dpr, glyph.height() / dpr)), glyph);
  painter.restore();
}

}  // namespace tk
