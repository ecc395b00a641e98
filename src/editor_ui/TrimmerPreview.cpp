#include "editor_ui/TrimmerPreview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>

#include "editor_ui/CursorOverlayView.h"
#include "editor_ui/DraggableCameraView.h"
#include "editor_ui/TrimmerPreviewGeometry.h"
#include "editor_ui/VideoTrimmerView.h"
#include "export/ShadowPlane.h"
#include "platform/media/PixelBuffer.h"
#include "platform/player/PlayerView.h"

namespace tk {

namespace {

QTransform qtransform(const AffineTransform& t) {
  return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
}

QPainterPath roundedPath(const QRectF& rect, double radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

}  // namespace

TrimmerPreview::TrimmerPreview(VideoTrimmerView& trimmer, QWidget* parent)
    : QWidget(parent), trimmer_(trimmer) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  cameraView_ = new DraggableCameraView(this);
  cameraView_->setCameraPlayer(&trimmer_.cameraPlayer());
  // The write-back waits for the next turn of the event loop, never inside an update of the view.
  cameraView_->onPositionChanged = [this](QPointF centre) {
    QMetaObject::invokeMethod(
        this, [this, centre] { trimmer_.setPipCenterNormalized(centre); }, Qt::QueuedConnection);
  };
  cameraView_->hide();
}

void TrimmerPreview::setLayout(QSizeF screenArea, bool verticalStack) {
  screenArea_ = screenArea;
  verticalStack_ = verticalStack;
  refresh();
}

RoundedCameraCompositorSettings TrimmerPreview::compositorSettings() const {
  const auto& model = trimmer_.viewModel();
  RoundedCameraCompositorSettings s = layoutSettings();
  s.zoomSegments = model.zoomSegments();
  if (model.metadata()) {
    s.cursorPositions = model.metadata()->cursorPositions;
    s.clickEvents = model.metadata()->cursorClicks;
  }
  return s;
}

RoundedCameraCompositorSettings TrimmerPreview::layoutSettings() const {
  const auto& model = trimmer_.viewModel();
  const auto& look = trimmer_.appearance();
  RoundedCameraCompositorSettings s;
  s.cameraSettings = {look.pipCenterNormalized, look.pipWidthFraction, look.shrinkFactor, look.easeDuration,
                      look.cameraShape};
  s.cursorOverlaySettings = model.cursorOverlaySettings();
  s.backgroundSettings = model.backgroundSettings();
  s.backgroundEnabled = model.backgroundEnabled();
  s.videoPadding = look.paddingPixels;
  s.videoCornerRadius = look.backgroundCornerRadius;
  s.outputAspectRatio = trimmer_.selectedAspect();
  s.originalVideoSize = trimmer_.videoNaturalSize();
  s.verticalStack = trimmer_.verticalStack();
  s.screenShadowOpacity = look.screenShadowOpacity;
  s.screenShadowRadius = look.screenShadowRadius;
  s.cameraShadowOpacity = look.cameraShadowOpacity;
  s.cameraShadowRadius = look.cameraShadowRadius;
  return s;
}

QRectF TrimmerPreview::screenAreaRect() const {
  return QRectF(QPointF((width() - screenArea_.width()) / 2, (height() - screenArea_.height()) / 2),
                screenArea_);
}

QRectF TrimmerPreview::screenLayerRect() const {
  return TrimmerPreviewGeometry::screenLayerRect(layoutSettings(), size(), screenArea_,
                                                 trimmer_.videoNaturalSize());
}

void TrimmerPreview::refresh() {
  const bool showBubble = !verticalStack_ && trimmer_.includeCameraInExport() && trimmer_.cameraLayerExists();
  cameraView_->setGeometry(rect());
  cameraView_->setVisible(showBubble);
  if (showBubble) {
    const auto& look = trimmer_.appearance();
    cameraView_->update(look.pipCenterNormalized, look.pipWidthFraction, trimmer_.overlayScale(),
                        look.cameraShape);
  }
  requestFrameSize();
  update();
}

void TrimmerPreview::requestFrameSize() {
  // Frames come at the size they are painted, so painting is a copy rather than a resample.
  MediaPlayer* player = trimmer_.viewModel().player();
  if (!player) return;
  const QSize natural = player->naturalSize();
  if (natural.isEmpty()) return;
  const QRectF layer =
      verticalStack_ ? TrimmerPreviewGeometry::verticalStackBands(size()).screen : screenLayerRect();
  const double ratio = devicePixelRatioF();
  const QRectF target = PlayerView::targetRect(natural, QRectF(QPointF(), layer.size() * ratio),
                                               PlayerView::VideoGravity::resizeAspect);
  const int w = std::min(natural.width(), static_cast<int>(target.width() + 0.5)) & ~1;
  const int h = std::min(natural.height(), static_cast<int>(target.height() + 0.5)) & ~1;
  if (w >= 2 && h >= 2) player->setVideoOutputSize(QSize(w, h));
}

void TrimmerPreview::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  refresh();
}

AffineTransform TrimmerPreview::zoomNow(QSizeF size) const {
  return trimmer_.previewZoomTransform(trimmer_.currentTime(), size);
}

void TrimmerPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), Qt::black);
  painter.setClipPath(roundedPath(rect(), 8));
  if (verticalStack_)
    paintVerticalStack(painter);
  else
    paintStandard(painter);
}

const QImage& TrimmerPreview::shadowImage(const QRectF& layer, double radius) {
  const auto& look = trimmer_.appearance();
  const double s = pixelScale(), dpr = devicePixelRatioF();
  const std::array<double, 9> key{layer.x(),
                                  layer.y(),
                                  layer.width(),
                                  layer.height(),
                                  radius,
                                  dpr,
                                  look.screenShadowOpacity,
                                  look.screenShadowRadius * s,
                                  static_cast<double>(width() * 10000 + height())};
  if (shadowKey_ == key) return shadow_;
  shadowKey_ = key;
  // The export's own shadow plane (pre-blurred once per layout), laid over white and read back as
  // black with the darkening as its alpha.
  const int W = static_cast<int>(std::ceil(width() * dpr)), H = static_cast<int>(std::ceil(height() * dpr));
  ShadowPlane plane;
  const QRectF raster(layer.x() * dpr, layer.y() * dpr, layer.width() * dpr, layer.height() * dpr);
  plane.buildScreenShadow(raster, radius * dpr, 10 * s * dpr, look.screenShadowRadius * s * dpr,
                          look.screenShadowOpacity, W, H);
  auto white = PixelBuffer::create(W, H);
  if (!white) {
    shadow_ = QImage();
    return shadow_;
  }
  white->fill(0xFFFFFFFF);
  plane.drawOver(*white);
  shadow_ = QImage(W, H, QImage::Format_ARGB32_Premultiplied);
  shadow_.setDevicePixelRatio(dpr);
  for (int y = 0; y < H; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(shadow_.scanLine(y));
    for (int x = 0; x < W; ++x) row[x] = (255 - (white->pixel(x, y) & 0xff)) << 24;
  }
  return shadow_;
}

void TrimmerPreview::paintStandard(QPainter& painter) {
  const auto& model = trimmer_.viewModel();
  const bool backgroundOn = model.backgroundEnabled();
  if (!backgroundOn && trimmer_.selectedAspect() == OutputAspectRatio::original)
    painter.fillRect(rect(), Qt::black);
  else
    background_.paint(painter, rect(), model.backgroundSettings());

  const QRectF area = screenAreaRect();
  const QRectF layer = screenLayerRect();
  const double s = pixelScale();
  const bool padded = backgroundOn && layer != area;
  const double radius = padded ? s * trimmer_.appearance().backgroundCornerRadius : 0;

  painter.save();
  // The zoom acts on the whole screen area, so the corners and the shadow zoom with the picture.
  painter.translate(area.topLeft());
  painter.setTransform(qtransform(zoomNow(area.size())), true);
  painter.translate(-area.topLeft());
  if (padded && trimmer_.appearance().screenShadowOpacity > 0)
    painter.drawImage(QPointF(0, 0), shadowImage(layer, radius));
  paintScreen(painter, layer, radius);
  painter.restore();
}

void TrimmerPreview::paintScreen(QPainter& painter, const QRectF& layer, double radius) {
  painter.save();
  if (radius > 0)
    painter.setClipPath(roundedPath(layer, radius), Qt::IntersectClip);
  else
    painter.setClipRect(layer, Qt::IntersectClip);
  painter.fillRect(layer, Qt::black);
  if (MediaPlayer* player = trimmer_.viewModel().player()) {
    if (auto frame = player->currentFrame()) {
      const QImage image(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(),
                         QImage::Format_ARGB32_Premultiplied);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(PlayerView::targetRect(image.size(), layer, PlayerView::VideoGravity::resizeAspect),
                        image);
    }
  }
  paintCursor(painter, layer);
  painter.restore();
}

void TrimmerPreview::paintCursor(QPainter& painter, const QRectF& layer) {
  const auto& model = trimmer_.viewModel();
  const auto& metadata = model.metadata();
  if (!model.cursorOverlaySettings().enabled || !metadata || metadata->cursorPositions.empty()) return;
  CursorOverlayView cursor(trimmer_.currentTime(), layer.size(), model.cursorOverlaySettings(),
                           metadata->cursorPositions, metadata->cursorClicks);
  painter.save();
  painter.translate(layer.topLeft());
  cursor.draw(painter, layer.size());
  painter.restore();
}

void TrimmerPreview::paintVerticalStack(QPainter& painter) {
  background_.paint(painter, rect(), trimmer_.viewModel().backgroundSettings());
  const auto bands = TrimmerPreviewGeometry::verticalStackBands(size());
  const double radius = height() / 1920.0 * 12;
  // Camera band: the camera's picture filling its band, not zoomed.
  const QRectF cameraLayer = bands.camera.adjusted(8, 4, -8, -4);
  painter.save();
  painter.setClipPath(roundedPath(cameraLayer, radius), Qt::IntersectClip);
  painter.fillRect(cameraLayer, Qt::black);
  if (auto frame = trimmer_.cameraPlayer().currentFrame()) {
    const QImage image(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(),
                       QImage::Format_ARGB32_Premultiplied);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(
        PlayerView::targetRect(image.size(), cameraLayer, PlayerView::VideoGravity::resizeAspectFill), image);
  }
  painter.restore();
  // Screen band: the movie zoomed within its band.
  painter.save();
  painter.setClipRect(bands.screen, Qt::IntersectClip);
  painter.translate(bands.screen.topLeft());
  painter.setTransform(qtransform(zoomNow(bands.screen.size())), true);
  paintScreen(painter, QRectF(QPointF(), bands.screen.size()).adjusted(8, 4, -8, -4), radius);
  painter.restore();
}

void TrimmerPreview::mousePressEvent(QMouseEvent* event) {
  // The drag starts anywhere on the (zoomed) screen layer; the camera bubble above takes its own.
  if (verticalStack_ || event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  const QRectF area = screenAreaRect();
  QPainterPath layer;
  layer.addRect(screenLayerRect().translated(-area.topLeft()));
  const QPainterPath shown = qtransform(zoomNow(area.size())).map(layer).translated(area.topLeft());
  if (!shown.contains(event->position())) return QWidget::mousePressEvent(event);
  dragging_ = true;
  event->accept();
}

void TrimmerPreview::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  // The end location in the screen layer's own (unzoomed) coordinates.
  const QRectF area = screenAreaRect();
  const QRectF layer = screenLayerRect();
  const QTransform zoom = qtransform(zoomNow(area.size()));
  bool invertible = false;
  const QTransform inverse = zoom.inverted(&invertible);
  QPointF local = event->position() - area.topLeft();
  if (invertible) local = inverse.map(local);
  local += area.topLeft() - layer.topLeft();
  trimmer_.zoomKeyframeCenterDrag(local, layer.size());
}

}  // namespace tk
