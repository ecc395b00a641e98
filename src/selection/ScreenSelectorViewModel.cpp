#include "selection/ScreenSelectorViewModel.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <algorithm>

#include "capture/ContentQueries.h"
#include "selection/CaptureSnapshot.h"

namespace tk {

ScreenSelectorViewModel::ScreenSelectorViewModel(QObject* parent) : QObject(parent) {}

ScreenSelectorViewModel::~ScreenSelectorViewModel() {
  cancel();
}

void ScreenSelectorViewModel::cancel() {
  for (const auto& snapshot : snapshots_) snapshot->cancel();
  snapshots_.clear();
}

std::shared_ptr<const ScreenThumbnail> ScreenSelectorViewModel::thumbnailFor(
    const CaptureDisplay& display) const {
  for (const auto& thumbnail : screenThumbnails_) {
    if (thumbnail->screen && thumbnail->screen->displayID == display.displayID) return thumbnail;
  }
  return nullptr;
}

QCoro::Task<void> ScreenSelectorViewModel::refreshScreens(std::vector<CaptureDisplayRef> displays) {
  QPointer<ScreenSelectorViewModel> self(this);
  for (const CaptureDisplayRef& display : displays) {
    if (!display || thumbnailFor(*display)) continue;
    CaptureSource source;
    source.kind = CaptureSource::Kind::display;
    source.displayID = display->displayID;
    source.displayFrame = display->frame.toAlignedRect();
    // The picture is of what lies under our windows, never of them.
    source.excluded.applicationIds = {applicationBundleIdentifier()};
    StreamConfiguration configuration;
    configuration.showsCursor = false;
    configuration.minimumFrameInterval = MediaTime(1, 10);
    auto snapshot = std::make_shared<CaptureSnapshot>(std::move(source), configuration);
    snapshots_.push_back(snapshot);
    std::optional<QImage> image = co_await snapshot->take();
    if (!self) co_return;
    std::erase(snapshots_, snapshot);
    if (!image || thumbnailFor(*display)) continue;
    screenThumbnails_.push_back(std::make_shared<const ScreenThumbnail>(
        ScreenThumbnail{std::move(*image), display, screenName(*display)}));
    emit screenThumbnailsChanged();
  }
}

QScreen* ScreenSelectorViewModel::screenOf(const CaptureDisplay& display) {
  const QRect frame = display.frame.toAlignedRect();
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->geometry() == frame) return screen;
  }
  return nullptr;
}

QString ScreenSelectorViewModel::screenName(const CaptureDisplay& display) {
  if (QScreen* screen = screenOf(display)) return screen->name();
  return tr("Display %1").arg(display.displayID);
}

}  // namespace tk
