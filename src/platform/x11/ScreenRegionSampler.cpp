#include "platform/x11/ScreenRegionSampler.h"

#include <unistd.h>

#include <QPainter>
#include <algorithm>

#include "platform/x11/DesktopScene.h"
#include "platform/x11/ShmImage.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

// The view's 32-bit words are BGRX or BGRA; the picture is opaque whatever the pad byte holds.
void paintOpaque(QPainter& painter, QPoint at, const ShmImage::View& view) {
  QImage piece(view.width, view.height, QImage::Format_RGB32);
  for (int y = 0; y < view.height; ++y) {
    const auto* source = reinterpret_cast<const uint32_t*>(view.data + size_t(y) * view.bytesPerRow);
    auto* target = reinterpret_cast<uint32_t*>(piece.scanLine(y));
    for (int x = 0; x < view.width; ++x) target[x] = source[x] | 0xff000000u;
  }
  painter.drawImage(at, piece);
}

}  // namespace

ScreenRegionSampler::ScreenRegionSampler() = default;

ScreenRegionSampler::~ScreenRegionSampler() {
  // The scene and the image hold server resources of the connection: release them first.
  image_.reset();
  scene_.reset();
}

std::unique_ptr<ScreenRegionSampler> ScreenRegionSampler::open(std::string* error) {
  std::unique_ptr<ScreenRegionSampler> sampler(new ScreenRegionSampler());
  try {
    sampler->connection_ = XcbConnection::open();
  } catch (const std::exception& failure) {
    if (error) *error = failure.what();
    return nullptr;
  }
  sampler->scene_ = std::make_unique<DesktopScene>(*sampler->connection_);
  if (!sampler->scene_->redirect()) {
    if (error) *error = "the X server has no Composite extension";
    return nullptr;
  }
  sampler->image_ = std::make_unique<ShmImage>(*sampler->connection_);
  return sampler;
}

std::optional<QImage> ScreenRegionSampler::sample(const QRect& region,
                                                  const std::vector<uint32_t>& excluded) {
  const auto& windows = scene_->refresh();
  if (connection_->hasError()) return std::nullopt;
  const pid_t self = getpid();
  auto isExcluded = [&](const SceneWindow& window) {
    const auto listed = [&](uint32_t id) {
      return std::find(excluded.begin(), excluded.end(), id) != excluded.end();
    };
    if (listed(window.topLevel)) return true;
    return window.facts && (window.facts->pid == self || listed(window.facts->client));
  };

  QImage result(region.size(), QImage::Format_RGB32);
  result.fill(Qt::black);
  QPainter painter(&result);
  const QRect screen(QPoint(0, 0), QSize(connection_->screen()->width_in_pixels,
                                         connection_->screen()->height_in_pixels));
  const QRect onScreen = region & screen;
  if (!onScreen.isEmpty()) {
    if (auto view = scene_->readWallpaper(onScreen, *image_)) {
      paintOpaque(painter, onScreen.topLeft() - region.topLeft(), *view);
    }
  }
  for (const SceneWindow& window : windows) {
    const QRect covered = window.outer & region;
    if (covered.isEmpty() || isExcluded(window)) continue;
    // A window that went away between the two requests is simply not drawn.
    if (auto view = scene_->readWindow(window.topLevel, window.outer, covered, *image_)) {
      paintOpaque(painter, covered.topLeft() - region.topLeft(), *view);
    }
  }
  return result;
}

}  // namespace tk
