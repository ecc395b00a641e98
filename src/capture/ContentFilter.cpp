#include "capture/ContentFilter.h"

#include <algorithm>

namespace tk {

namespace {

std::vector<uint32_t> idsOf(const std::vector<CaptureWindowRef>& windows) {
  std::vector<uint32_t> ids;
  for (const auto& window : windows) {
    if (window) ids.push_back(window->windowID);
  }
  return ids;
}

std::vector<std::string> idsOf(const std::vector<CaptureApplicationRef>& applications) {
  std::vector<std::string> ids;
  for (const auto& application : applications) {
    if (application && !application->bundleIdentifier.empty()) ids.push_back(application->bundleIdentifier);
  }
  return ids;
}

}  // namespace

ContentFilter ContentFilter::displayExcluding(CaptureDisplayRef display,
                                              std::vector<CaptureApplicationRef> excluded,
                                              std::vector<CaptureWindowRef> excepted) {
  ContentFilter filter;
  filter.kind = Kind::displayExcludingApplications;
  filter.display = std::move(display);
  filter.applications = std::move(excluded);
  filter.windows = std::move(excepted);
  return filter;
}

ContentFilter ContentFilter::displayIncluding(CaptureDisplayRef display,
                                              std::vector<CaptureApplicationRef> included,
                                              std::vector<CaptureWindowRef> excepted) {
  ContentFilter filter;
  filter.kind = Kind::displayIncludingApplications;
  filter.display = std::move(display);
  filter.applications = std::move(included);
  filter.windows = std::move(excepted);
  return filter;
}

ContentFilter ContentFilter::displayIncludingWindows(CaptureDisplayRef display,
                                                     std::vector<CaptureWindowRef> windows) {
  ContentFilter filter;
  filter.kind = Kind::displayIncludingWindows;
  filter.display = std::move(display);
  filter.windows = std::move(windows);
  return filter;
}

ContentFilter ContentFilter::desktopIndependentWindow(CaptureWindowRef window) {
  ContentFilter filter;
  filter.kind = Kind::desktopIndependentWindow;
  filter.windows = {std::move(window)};
  return filter;
}

QRectF ContentFilter::contentRect() const {
  if (kind == Kind::desktopIndependentWindow) {
    if (windows.empty() || !windows.front()) return {};
    const QRectF frame = windows.front()->frame;
    return display ? frame.translated(-display->frame.topLeft()) : QRectF(QPointF(0, 0), frame.size());
  }
  if (!display) return {};
  return QRectF(0, 0, display->frame.width(), display->frame.height());
}

double ContentFilter::pointPixelScale() const {
  return display ? display->scaleFactor : 1.0;
}

CaptureSource ContentFilter::captureSource() const {
  CaptureSource source;
  if (display) {
    source.displayID = display->displayID;
    source.displayFrame = display->frame.toAlignedRect();
  }
  source.drawsWallpaper = showsWallpaper;
  source.excluded.types = excludedWindowTypes;
  switch (kind) {
    case Kind::displayExcludingApplications:
      source.kind = CaptureSource::Kind::display;
      source.excluded.applicationIds = idsOf(applications);
      source.kept.windowIds = idsOf(windows);
      break;
    case Kind::displayIncludingApplications:
      source.kind = CaptureSource::Kind::windows;
      source.included.applicationIds = idsOf(applications);
      source.excluded.windowIds = idsOf(windows);
      break;
    case Kind::displayIncludingWindows:
      source.kind = CaptureSource::Kind::windows;
      source.included.windowIds = idsOf(windows);
      break;
    case Kind::desktopIndependentWindow:
      source.kind = CaptureSource::Kind::singleWindow;
      source.window = windows.empty() || !windows.front() ? 0 : windows.front()->windowID;
      break;
  }
  return source;
}

}  // namespace tk
