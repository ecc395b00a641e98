#include "export/RoundedCameraCompositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "export/BackgroundImage.h"
#include "export/CanvasSpace.h"
#include "export/DiagnosticText.h"
#include "export/PixelCompositing.h"
#include "export/RoundedCameraCompositionInstruction.h"
#include "platform/qt/Diagnostics.h"

namespace tk {
namespace {

using PixelCompositing::Placement;

std::string sizeText(double w, double h) {
  return bracketed({w, h});
}
std::string rectText(const QRectF& r) {
  return bracketed({r.x(), r.y(), r.width(), r.height()});
}

// An image of iw × ih placed so that it covers `band` (output space), centred, then magnified by the
// zoom about its focus, held so that the band stays covered.
QRectF fillRect(const QRectF& band, double iw, double ih, const ZoomState& zoom) {
  iw = std::max(iw, 1.0);
  ih = std::max(ih, 1.0);
  const double k = band.width() / band.height() < iw / ih ? band.height() / ih : band.width() / iw;
  const double L = CompositorZoom::isZoomed(zoom) ? zoom.level : 1;
  const double w = iw * k * L, h = ih * k * L;
  const double fx = CompositorZoom::isZoomed(zoom) ? zoom.centerX : 0.5;
  const double fy = CompositorZoom::isZoomed(zoom) ? zoom.centerY : 0.5;
  double x = band.center().x() - (std::isnan(fx) ? 0.5 : fx) * w;
  double y = band.center().y() - (1 - (std::isnan(fy) ? 0.5 : fy)) * h;
  x = std::clamp(x, band.right() - w, band.left());
  y = std::clamp(y, band.bottom() - h, band.top());
  return {x, y, w, h};
}

// Output-space rectangle under the zoom.
QRectF zoomed(const ZoomState& zoom, const QRectF& r, double W, double H) {
  if (!CompositorZoom::isZoomed(zoom)) return r;
  const QPointF origin = CompositorZoom::mapPoint(zoom, r.topLeft(), W, H);
  return {origin.x(), origin.y(), r.width() * zoom.level, r.height() * zoom.level};
}

// Unpadded, the picture keeps its own size, centred on whole pixels as the preview centres it.
QRectF centred(double W, double H, double sw, double sh) {
  return {std::floor((W - sw) / 2), std::floor((H - sh) / 2), sw, sh};
}

Placement placementFor(const QRectF& raster, const PixelBuffer& image) {
  return {raster.x(), raster.y(), raster.width() / image.width(), raster.height() / image.height()};
}

void copyPixels(PixelBuffer& out, const PixelBuffer& from) {
  if (out.bytesPerRow() == from.bytesPerRow() && out.height() == from.height())
    std::memcpy(out.data(), from.data(), out.byteCount());
  else
    out.copyFrom(from);
}

}  // namespace

RoundedCameraCompositor::RoundedCameraCompositor()
    : fallbackSettings_(std::make_shared<const RoundedCameraCompositorSettings>(
          RoundedCameraCompositorSettings::snapshot())) {}

RoundedCameraCompositor::~RoundedCameraCompositor() {
  // Frames still queued are dropped; each dropped request reports itself as failed.
  renderContextQueue_.stop();
}

VideoCompositorFactory RoundedCameraCompositor::factory() {
  return [] { return std::make_unique<RoundedCameraCompositor>(); };
}

void RoundedCameraCompositor::renderContextChanged(std::shared_ptr<VideoCompositionRenderContext>) {
  renderContextQueue_.post([this] { resetCompositorCaches(); });
}

void RoundedCameraCompositor::startVideoCompositionRequest(std::shared_ptr<VideoCompositionRequest> request) {
  if (!request) return;
  renderContextQueue_.post([this, request = std::move(request)] { renderCompositionRequest(*request); });
}

void RoundedCameraCompositor::resetCompositorCaches() {
  cachedBackground_.reset();
  cachedBackgroundSettings_.reset();
  backgroundBuilt_ = false;
  screen_ = {};
  cachedCameraMask_.clear();
  for (auto& shadow : cameraShadows_) shadow = {};
}

void RoundedCameraCompositor::useSettings(
    const std::shared_ptr<const RoundedCameraCompositorSettings>& settings) {
  if (settings == settings_) return;
  settings_ = settings;
  follow_ = CompositorZoom::FollowPaths(settings_);
  // A new export's settings draw other images and another cursor.
  resetCompositorCaches();
  cursorRenderer_.reset();
}

void RoundedCameraCompositor::renderCompositionRequest(VideoCompositionRequest& request) {
  auto out = request.renderContext().newPixelBuffer();
  if (!out) {
    request.finishWithError(
        PlatformError(kErrorDomain, -1, "No frame buffer was available to compose into."));
    return;
  }
  const auto* own =
      dynamic_cast<const RoundedCameraCompositionInstruction*>(&request.videoCompositionInstruction());
  const auto settings = own ? own->settingsSnapshot() : fallbackSettings_;
  const double t = request.compositionTime().seconds();
  const auto& ids = request.sourceTrackIDs();
  std::shared_ptr<const PixelBuffer> screen, camera;
  const bool talk = t < 0.1;
  if (talk) {
    Diagnostics::linef("🎬 Compositor: %zu tracks at t=%.3fs", ids.size(), t);
    Diagnostics::line("   renderSize=" + sizeText(out->width(), out->height()) + ", camNaturalSize=" +
                      sizeText(settings->cameraNaturalSize.width(), settings->cameraNaturalSize.height()));
    std::string list;
    for (int32_t id : ids) list += (list.empty() ? "" : ", ") + std::to_string(id);
    Diagnostics::line("   trackIDs: [" + list + "]");
    const auto& cam = settings->cameraSettings;
    Diagnostics::line("   cameraSettings: center=(" + formatDouble(cam.centerNormalized.x()) + ", " +
                      formatDouble(cam.centerNormalized.y()) + ") width=" + formatDouble(cam.widthFraction));
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    auto frame = request.sourceFrame(ids[i]);
    if (!frame) {
      if (talk) Diagnostics::linef("   ❌ No frame for trackID=%d", ids[i]);
      continue;
    }
    if (talk)
      Diagnostics::linef("   ✅ %s frame: trackID=%d (index=%zu), size=%dx%d", i == 0 ? "Screen" : "Camera",
                         ids[i], i, frame->width(), frame->height());
    (i == 0 ? screen : camera) = std::move(frame);
  }
  if (talk) {
    Diagnostics::line("   🎨 Background settings:");
    Diagnostics::line("      backgroundEnabled: " + boolText(settings->backgroundEnabled));
    Diagnostics::line("      backgroundSettings: " +
                      std::string(settings->backgroundSettings ? rawValue(settings->backgroundSettings->type)
                                                               : std::string_view("none")));
    Diagnostics::line("      videoPadding: " + formatDouble(settings->videoPadding));
    Diagnostics::line("      videoCornerRadius: " + formatDouble(settings->videoCornerRadius));
    Diagnostics::line("      verticalStack: " + boolText(settings->verticalStack));
    Diagnostics::line(settings->backgroundSettings ? "   ✅ Creating background image with settings"
                                                   : "   ⚠️ No background settings, using black");
  }
  renderFrame(*out, settings, t, screen.get(), camera.get());
  request.finishWithComposedVideoFrame(std::move(out));
}

void RoundedCameraCompositor::ensureBackground(int W, int H) {
  const auto& wanted = settings_->backgroundSettings;
  if (backgroundBuilt_ && cachedBackground_ && cachedBackground_->width() == W &&
      cachedBackground_->height() == H && BackgroundImage::drawsTheSame(cachedBackgroundSettings_, wanted))
    return;
  if (!cachedBackground_ || cachedBackground_->width() != W || cachedBackground_->height() != H)
    cachedBackground_ = PixelBuffer::create(W, H);
  BackgroundImage::render(*cachedBackground_, wanted);
  cachedBackgroundSettings_ = wanted;
  backgroundBuilt_ = true;
  screen_.valid = false;  // its base holds the old background
}

QRectF RoundedCameraCompositor::screenRect(const RoundedCameraCompositorSettings& S, double W, double H,
                                           double sw, double sh, bool* padded) {
  if (padded) *padded = false;
  const QRectF asItComes = centred(W, H, sw, sh);
  if (!S.backgroundEnabled) return asItComes;
  const double s = H / 1080, p = s * S.videoPadding;
  const double aw = W - 2 * p, ah = H - 2 * p;
  if (!(aw > 0) || !(ah > 0) || !(sw > 0) || !(sh > 0)) return asItComes;
  const double k = std::min(aw / sw, ah / sh);
  const double fw = sw * k, fh = sh * k;
  if (padded) *padded = true;
  return {p + (aw - fw) / 2, p + (ah - fh) / 2, fw, fh};
}

void RoundedCameraCompositor::drawScreen(PixelBuffer& out, const PixelBuffer& screen, const ZoomState& zoom,
                                         QRectF& shownRect) {
  const auto& S = *settings_;
  const int W = out.width(), H = out.height();
  const CanvasSpace space{static_cast<double>(W), static_cast<double>(H)};
  bool padded = false;
  const QRectF rect = screenRect(S, W, H, screen.width(), screen.height(), &padded);
  const bool isZoomed = CompositorZoom::isZoomed(zoom);
  shownRect = zoomed(zoom, rect, W, H);
  const QRectF canvas(0, 0, W, H);

  // The backdrop is copied only around the screen: under it, only where the screen is not opaque.
  if (!padded) {
    const QRectF raster = space.toRaster(shownRect);
    frameMask_.build(raster, 0, canvas, W, H);
    PixelCompositing::copyAround(out, *cachedBackground_, frameMask_);
    PixelCompositing::drawImage(out, screen, placementFor(raster, screen), frameMask_,
                                cachedBackground_.get());
    return;
  }
  const double s = H / 1080.0;
  const double radius = s * S.videoCornerRadius;
  if (!screen_.valid || screen_.rect != rect || screen_.radius != radius || screen_.W != W ||
      screen_.H != H) {
    const QRectF raster = space.toRaster(rect);
    screen_.rect = rect;
    screen_.radius = radius;
    screen_.W = W;
    screen_.H = H;
    screen_.mask.build(raster, radius, canvas, W, H);
    screen_.shadow.buildScreenShadow(raster, radius, S.screenShadowOffsetY * s, S.screenShadowRadius * s,
                                     S.screenShadowOpacity, W, H);
    if (!screen_.base || screen_.base->width() != W || screen_.base->height() != H)
      screen_.base = PixelBuffer::create(W, H);
    copyPixels(*screen_.base, *cachedBackground_);
    screen_.shadow.drawOver(*screen_.base);
    screen_.valid = true;
  }
  if (!isZoomed) {
    PixelCompositing::copyAround(out, *screen_.base, screen_.mask);
    PixelCompositing::drawImage(out, screen, placementFor(space.toRaster(rect), screen), screen_.mask,
                                screen_.base.get());
    return;
  }
  // Zoomed: the background stays; the screen and its shadow scale together about the focus. The
  // shadow skips the screen's fully covered runs, which the screen draws over the background itself.
  const QRectF raster = space.toRaster(shownRect);
  frameMask_.build(raster, radius * zoom.level, canvas, W, H);
  PixelCompositing::copyAround(out, *cachedBackground_, frameMask_);
  // The zoom as seen in pixel rows: where the top-left pixel corner goes, then a scale by the level.
  const QPointF origin = space.toRaster(CompositorZoom::mapPoint(zoom, space.toRaster(QPointF(0, 0)), W, H));
  screen_.shadow.drawZoomedOver(out, zoom.level, origin.x(), origin.y(), &frameMask_);
  PixelCompositing::drawImage(out, screen, placementFor(raster, screen), frameMask_, cachedBackground_.get());
}

void RoundedCameraCompositor::renderFrame(
    PixelBuffer& out, const std::shared_ptr<const RoundedCameraCompositorSettings>& settings, double t,
    const PixelBuffer* screen, const PixelBuffer* camera) {
  useSettings(settings ? settings : fallbackSettings_);
  const auto& S = *settings_;
  const int W = out.width(), H = out.height();
  ensureBackground(W, H);
  if (S.verticalStack && screen && camera) return renderVerticalStack(out, *screen, *camera, t);
  if (!screen) return copyPixels(out, *cachedBackground_);
  ZoomState zoom = follow_.zoomState(t);
  if (CompositorZoom::isZoomed(zoom) && (screen->width() != W || screen->height() != H)) {
    // The focus is a point of the picture. On a canvas a ratio widened, the zoom brings that point,
    // held inside the picture, to the middle, as the preview's zoom of the picture does.
    const QRectF area = centred(W, H, screen->width(), screen->height());
    const QPointF c = CompositorZoom::clampedFocus(zoom);
    zoom.centerX = (area.x() + c.x() * area.width()) / W;
    zoom.centerY = 1 - (area.y() + (1 - c.y()) * area.height()) / H;
  }
  QRectF shown;
  drawScreen(out, *screen, zoom, shown);
  if (S.cursorOverlaySettings.enabled) {
    bool padded = false;
    const QRectF picture = screenRect(S, W, H, screen->width(), screen->height(), &padded);
    renderCursorSprite(out, t, picture, zoom);
  }
  if (camera) renderCameraBubble(out, *camera, t);
}

CursorOverlayRenderer& RoundedCameraCompositor::cursorRenderer() {
  if (!cursorRenderer_) {
    const auto& S = *settings_;
    cursorRenderer_ =
        std::make_unique<CursorOverlayRenderer>(S.cursorOverlaySettings, S.cursorPositions, S.clickEvents);
  }
  return *cursorRenderer_;
}

void RoundedCameraCompositor::renderCursorSprite(PixelBuffer& out, double t, const QRectF& picture,
                                                 const ZoomState& zoom) {
  const CursorState state = cursorRenderer().cursorState(t);
  if (!state.isVisible) return;
  const double W = out.width(), H = out.height();
  const CanvasSpace space{W, H};
  const double s = H / 1080;
  const double size = 24 * s * state.scale;
  // The cursor sits where its recorded position lies on the picture as drawn, then moves with the zoom.
  const QPointF onPicture = space.fromTopNormalised(state.position, picture);
  const QPointF tip = space.toRaster(CompositorZoom::mapPoint(zoom, onPicture, W, H));
  CursorSprite::Look look;
  look.arrowSize = size / 0.7;  // the arrow's tip-to-tail height is 0.95 of its unit; size is 0.7 of it
  look.shadowSigma = 2 * s * state.scale;
  look.shadowOffset = s * state.scale;
  if (state.motionBlur > 0.01) {
    look.blurRadius = 30 * s * state.motionBlur;
    look.blurDirection = {state.velocity.x() * picture.width(), state.velocity.y() * picture.height()};
  }
  cursorSprite_.draw(out, tip, look);
}

QRectF RoundedCameraCompositor::cameraBubbleRect(const RoundedCameraCompositorSettings& S, double t, double W,
                                                 double H, double* cornerRadius) {
  return bubbleRectAt(S, CompositorZoom::zoomProgress(S, t), W, H, cornerRadius);
}

QRectF RoundedCameraCompositor::bubbleRectAt(const RoundedCameraCompositorSettings& S, double f, double W,
                                             double H, double* cornerRadius) {
  const auto& cam = S.cameraSettings;
  const bool square = cam.shape == CameraShape::squircle || cam.shape == CameraShape::circle;
  const double aspect =
      square ? 1 : std::max(S.cameraNaturalSize.height(), 1.0) / std::max(S.cameraNaturalSize.width(), 1.0);
  const double bw = cam.widthFraction * W, bh = aspect * bw;
  const double w = f * bw, h = f * bh;
  const QPointF c(cam.centerNormalized.x() * W, (1 - cam.centerNormalized.y()) * H);
  const double left = c.x() - bw / 2, right = c.x() + bw / 2, bottom = c.y() - bh / 2, top = c.y() + bh / 2;
  double x = left < W - right ? left : right - w;
  double y = bottom < H - top ? bottom : top - h;
  x = std::max(std::min(x, W - w), 0.0);
  y = std::max(std::min(y, H - h), 0.0);
  if (cornerRadius) {
    const double m = std::min(w, h);
    switch (cam.shape) {
      case CameraShape::squircle:
        *cornerRadius = 0.22 * m;
        break;
      case CameraShape::circle:
        *cornerRadius = 0.5 * m;
        break;
      case CameraShape::roundedRect:
        *cornerRadius = 0.12 * m;
        break;
      case CameraShape::rectangle:
        *cornerRadius = 0;
        break;
    }
  }
  return {x, y, w, h};
}

const CoverageMask& RoundedCameraCompositor::cachedCameraMask(const QRectF& r, double radius, int W, int H) {
  auto whole = [](double v) { return std::isfinite(v) ? static_cast<long long>(v) : 0LL; };
  const MaskKey key{{whole(r.x()), whole(r.y()), whole(r.width()), whole(r.height()), whole(radius), W, H}};
  if (auto it = cachedCameraMask_.find(key); it != cachedCameraMask_.end()) return it->second;
  if (cachedCameraMask_.size() >= kMaxCameraMasks)
    while (!cachedCameraMask_.empty())
      spareCameraMasks_.push_back(cachedCameraMask_.extract(cachedCameraMask_.begin()));
  std::map<MaskKey, CoverageMask>::node_type node;
  if (spareCameraMasks_.empty()) {
    node = std::map<MaskKey, CoverageMask>{{key, CoverageMask()}}.extract(key);
  } else {
    node = std::move(spareCameraMasks_.back());
    spareCameraMasks_.pop_back();
    node.key() = key;
  }
  node.mapped().build(r, radius, r, W, H);
  return cachedCameraMask_.insert(std::move(node)).position->second;
}

void RoundedCameraCompositor::renderCameraBubble(PixelBuffer& out, const PixelBuffer& camera, double t) {
  const auto& S = *settings_;
  const int W = out.width(), H = out.height();
  const CanvasSpace space{static_cast<double>(W), static_cast<double>(H)};
  double radius = 0;
  const QRectF bubble = cameraBubbleRect(S, t, W, H, &radius);
  const double sw = std::max(camera.width(), 1), sh = std::max(camera.height(), 1);
  const auto shape = S.cameraSettings.shape;
  QRectF placed = bubble;
  if (shape == CameraShape::squircle || shape == CameraShape::circle) {
    const double k = std::max(bubble.width() / sw, bubble.height() / sh);
    placed = {bubble.x() - (sw * k - bubble.width()) / 2, bubble.y() - (sh * k - bubble.height()) / 2, sw * k,
              sh * k};
  }
  const QRectF raster = space.toRaster(bubble);
  const double s = H / 1080.0;
  if (t < 0.1) {
    Diagnostics::line("📷 Camera shape: " + std::string(rawValue(shape)));
    Diagnostics::line("   cameraFrame: " + rectText(bubble));
    Diagnostics::line("   cornerRadius: " + formatDouble(radius));
    Diagnostics::line("   cameraShadowOpacity: " + formatDouble(S.cameraShadowOpacity));
    Diagnostics::line("   cameraShadowRadius: " + formatDouble(S.cameraShadowRadius));
  }
  // The bubble rests at full size or at the zoom's shrink factor; its shadow is blurred once for each
  // rest and, while a zoom ramp resizes the bubble, the nearer one is drawn scaled onto it.
  const double f = follow_.zoomProgress(t);
  const double shrink = S.cameraSettings.shrinkFactor;
  const bool nearFull = std::abs(f - 1) <= std::abs(f - shrink);
  double restRadius = 0;
  const QRectF rest = space.toRaster(bubbleRectAt(S, nearFull ? 1 : shrink, W, H, &restRadius));
  CameraShadow& shadow = cameraShadows_[nearFull ? 0 : 1];
  const std::array<double, 6> shadowKey{rest.x(),      rest.y(),   rest.width(),
                                        rest.height(), restRadius, static_cast<double>(W * 100000 + H)};
  if (shadow.key != shadowKey) {
    if (S.cameraShadowOpacity <= 0) {
      Diagnostics::line("⚠️ Camera shadow skipped: opacity is 0");
    } else {
      Diagnostics::line("🎨 Creating camera shadow: opacity=" + formatDouble(S.cameraShadowOpacity) +
                        ", radius=" + formatDouble(S.cameraShadowRadius));
    }
    shadow.plane.buildCameraShadow(rest, restRadius, 8 * s, s * S.cameraShadowRadius, S.cameraShadowOpacity,
                                   W, H);
    shadow.key = shadowKey;
  }
  const CoverageMask& mask = cachedCameraMask(raster, radius, W, H);
  // The camera covers the bubble's inside, so the shadow skips it.
  if (raster == rest) {
    shadow.plane.drawOver(out, &mask);
  } else if (rest.width() > 0) {
    const double k = raster.width() / rest.width();
    shadow.plane.drawZoomedOver(out, k, raster.x() - k * rest.x(), raster.y() - k * rest.y(), &mask);
  }
  PixelCompositing::drawImage(out, camera, placementFor(space.toRaster(placed), camera), mask);
}

void RoundedCameraCompositor::renderVerticalStack(PixelBuffer& out, const PixelBuffer& screen,
                                                  const PixelBuffer& camera, double t) {
  const auto& S = *settings_;
  const int W = out.width(), H = out.height();
  const CanvasSpace space{static_cast<double>(W), static_cast<double>(H)};
  const double s2 = H / 1920.0, gap = 8 * s2, radius = 16 * s2;
  const QRectF cameraBand(gap / 2, H - (0.35 * H - gap) - gap / 2, W - gap, 0.35 * H - gap);
  const QRectF screenBand(gap / 2, gap / 2, W - gap, 0.65 * H - gap);
  copyPixels(out, *cachedBackground_);

  const QRectF cameraFill = fillRect(cameraBand, camera.width(), camera.height(), ZoomState{});
  PixelCompositing::drawImage(out, camera, placementFor(space.toRaster(cameraFill), camera),
                              cachedCameraMask(space.toRaster(cameraBand), radius, W, H));
  // The screen band zooms like the normal layout, inside its band.
  const ZoomState zoom = follow_.zoomState(t);
  const QRectF screenFill = fillRect(screenBand, screen.width(), screen.height(), zoom);
  PixelCompositing::drawImage(out, screen, placementFor(space.toRaster(screenFill), screen),
                              cachedCameraMask(space.toRaster(screenBand), radius, W, H));
  if (!S.cursorOverlaySettings.enabled) return;
  const CursorState state = cursorRenderer().cursorState(t);
  if (!state.isVisible) return;
  const QPointF tip = space.fromTopNormalised(state.position, screenFill);
  if (!screenBand.contains(tip)) return;
  CursorSprite::Look look;
  look.arrowSize = 24 * s2 * state.scale / 1.3;  // the arrow's square bitmap (1.3 units) is one cursor size
  cursorSprite_.draw(out, space.toRaster(tip), look);
}

}  // namespace tk
