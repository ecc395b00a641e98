#include "selection/WindowSelectorViewModel.h"

#include <QPainter>
#include <QPointer>
#include <algorithm>

#include "capture/ContentQueries.h"
#include "model/RecordingError.h"
#include "platform/qt/Diagnostics.h"
#include "recording/RecordingServices.h"
#include "selection/CaptureSnapshot.h"
#include "ui/Symbols.h"

namespace tk {

namespace {

QImage placeholderImage() {
  QImage image(160, 90, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintSymbol(painter, Symbol::window, QRectF(50, 15, 60, 60), QColor(200, 200, 200));
  return image;
}

std::vector<CaptureDisplayRef> displaysTouching(const std::vector<CaptureDisplayRef>& displays,
                                                const QRectF& frame) {
  std::vector<CaptureDisplayRef> touching;
  for (const CaptureDisplayRef& display : displays) {
    if (display && display->frame.intersects(frame)) touching.push_back(display);
  }
  return touching;
}

}  // namespace

WindowSelectorViewModel::WindowSelectorViewModel(ShareableContentSource* content, QObject* parent)
    : QObject(parent), content_(content) {}

WindowSelectorViewModel::~WindowSelectorViewModel() {
  cancelSnapshots();
}

void WindowSelectorViewModel::cancelSnapshots() {
  queue_.clear();
  for (const auto& snapshot : snapshots_) snapshot->cancel();
  snapshots_.clear();
}

void WindowSelectorViewModel::prioritize(const std::vector<uint32_t>& windowIDs) {
  // Walked backwards so the first asked for ends up first.
  for (auto id = windowIDs.rbegin(); id != windowIDs.rend(); ++id) {
    const auto found = std::find_if(queue_.begin(), queue_.end(),
                                    [&](const CaptureWindowRef& window) { return window->windowID == *id; });
    if (found == queue_.end() || found == queue_.begin()) continue;
    CaptureWindowRef window = *found;
    queue_.erase(found);
    queue_.push_front(std::move(window));
  }
}

std::vector<std::shared_ptr<const WindowThumbnail>> WindowSelectorViewModel::windowsOf(
    const CaptureDisplay& display) const {
  for (const auto& [candidate, thumbnails] : windowsByDisplay_) {
    if (candidate && candidate->displayID == display.displayID) return thumbnails;
  }
  return {};
}

std::vector<CaptureWindowRef> WindowSelectorViewModel::selectableWindows(
    const ShareableContent& content, const std::string& ownApplicationId) {
  std::vector<CaptureWindowRef> kept;
  for (const CaptureWindowRef& window : content.windows) {
    if (!window || !window->owningApplication) continue;
    if (!ownApplicationId.empty() && window->owningApplication->bundleIdentifier == ownApplicationId)
      continue;
    if (window->neverCapture) continue;
    if (window->frame.width() > 50 && window->frame.height() > 50) kept.push_back(window);
  }
  return kept;
}

QSize WindowSelectorViewModel::thumbnailSize(QSizeF windowSize) {
  const double scale = windowSize.width() < 200 && windowSize.height() < 200 ? 1.0 : 0.5;
  return {std::max(1, int(windowSize.width() * scale)), std::max(1, int(windowSize.height() * scale))};
}

QCoro::Task<void> WindowSelectorViewModel::refreshWindows(bool placeholder) {
  if (!content_) co_return;
  QPointer<WindowSelectorViewModel> self(this);
  ShareableContent content;
  try {
    content = co_await content_->content();
  } catch (...) {
    Diagnostics::line("Error refreshing windows: " + describeException(std::current_exception()));
    co_return;
  }
  if (!self) co_return;
  // Pictures of the last refresh are of a list that is gone.
  cancelSnapshots();
  ++generation_;
  windowsByDisplay_.clear();
  setReady(false);
  allWindows_ = selectableWindows(content, applicationBundleIdentifier());

  const QImage image = placeholderImage();
  for (const CaptureWindowRef& window : allWindows_) {
    file(std::make_shared<const WindowThumbnail>(WindowThumbnail{image, window, true}),
         displaysTouching(content.displays, window->frame));
  }
  emit windowsByDisplayChanged();
  if (!placeholder) {
    queue_.assign(allWindows_.begin(), allWindows_.end());
    startQueuedSnapshots();
  }
  setReady(true);
}

void WindowSelectorViewModel::startQueuedSnapshots() {
  const uint64_t generation = generation_;
  while (int(snapshots_.size()) < kConcurrentSnapshots && !queue_.empty()) {
    CaptureWindowRef window = std::move(queue_.front());
    queue_.pop_front();
    snapshotWindow(std::move(window), generation);
  }
}

QCoro::Task<void> WindowSelectorViewModel::snapshotWindow(CaptureWindowRef window, uint64_t generation) {
  CaptureSource source;
  source.kind = CaptureSource::Kind::singleWindow;
  source.window = window->windowID;
  StreamConfiguration configuration;
  const QSize size = thumbnailSize(window->frame.size());
  configuration.width = size.width();
  configuration.height = size.height();
  configuration.scalesToFit = true;
  configuration.showsCursor = false;
  // The stream's first frame comes one interval after its start, and the stream stops at its first
  // frame: a short interval makes a picture take a fraction of a second instead of one, and costs
  // no more frames.
  configuration.minimumFrameInterval = kSnapshotFrameInterval;
  configuration.queueDepth = 3;
  auto snapshot = std::make_shared<CaptureSnapshot>(std::move(source), configuration);
  snapshots_.push_back(snapshot);

  QPointer<WindowSelectorViewModel> self(this);
  // Resumes once the picture's stream has stopped, so the next one never adds a connection.
  std::optional<QImage> image = co_await snapshot->take();
  if (!self || generation != generation_) co_return;
  std::erase(snapshots_, snapshot);
  if (image) {
    replace(std::make_shared<const WindowThumbnail>(WindowThumbnail{std::move(*image), window}));
  } else {
    Diagnostics::line("Error capturing window thumbnail: no picture of window " +
                      std::to_string(window->windowID));
    // A window that gives no picture cannot be recorded either.
    unlist(window->windowID);
  }
  startQueuedSnapshots();
  if (snapshots_.empty() && queue_.empty()) emit snapshotsFinished();
}

void WindowSelectorViewModel::file(const std::shared_ptr<const WindowThumbnail>& thumbnail,
                                   const std::vector<CaptureDisplayRef>& displays) {
  for (const CaptureDisplayRef& display : displays) {
    auto entry =
        std::find_if(windowsByDisplay_.begin(), windowsByDisplay_.end(),
                     [&](const DisplayWindows& e) { return e.first->displayID == display->displayID; });
    if (entry == windowsByDisplay_.end()) {
      windowsByDisplay_.push_back({display, {thumbnail}});
    } else {
      entry->second.push_back(thumbnail);
    }
  }
}

void WindowSelectorViewModel::replace(const std::shared_ptr<const WindowThumbnail>& thumbnail) {
  const uint32_t id = thumbnail->window->windowID;
  bool listed = false;
  for (auto& [display, list] : windowsByDisplay_) {
    for (auto& existing : list) {
      if (existing->window->windowID != id) continue;
      existing = thumbnail;
      listed = true;
    }
  }
  if (listed) emit thumbnailChanged(thumbnail);
}

void WindowSelectorViewModel::unlist(uint32_t windowID) {
  for (auto& [display, list] : windowsByDisplay_) {
    std::erase_if(list, [windowID](const auto& existing) { return existing->window->windowID == windowID; });
  }
  std::erase_if(windowsByDisplay_, [](const DisplayWindows& entry) { return entry.second.empty(); });
  std::erase_if(allWindows_,
                [windowID](const CaptureWindowRef& window) { return window->windowID == windowID; });
  emit windowsByDisplayChanged();
}

void WindowSelectorViewModel::setReady(bool ready) {
  isReady_ = ready;
  emit isReadyChanged(ready);
}

}  // namespace tk
