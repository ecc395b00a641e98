#include "capture/ContentQueries.h"

#include <QString>

#include <algorithm>

#include "platform/qt/SettingsStore.h"
#include "platform/x11/X11Windows.h"

namespace tk {

namespace {

template <typename Predicate>
std::vector<CaptureWindowRef> windowsWhere(const ShareableContent& content, Predicate predicate) {
  std::vector<CaptureWindowRef> result;
  for (const auto& window : content.windows) {
    if (window && predicate(*window)) result.push_back(window);
  }
  return result;
}

bool ownedByUs(const CaptureWindow& window) {
  return window.owningApplication &&
         window.owningApplication->bundleIdentifier == applicationBundleIdentifier();
}

}  // namespace

std::string applicationBundleIdentifier() {
  return ownApplicationId();
}

CaptureApplicationRef ownRunningApplication(const ShareableContent& content) {
  const std::string own = applicationBundleIdentifier();
  for (const auto& application : content.applications) {
    if (application && application->bundleIdentifier == own) return application;
  }
  return nullptr;
}

std::vector<CaptureWindowRef> ownInterfaceWindows(const ShareableContent& content) {
  return windowsWhere(content, [](const CaptureWindow& window) {
    if (!ownedByUs(window)) return false;
    return std::none_of(std::begin(kOverlayWindowTitles), std::end(kOverlayWindowTitles),
                        [&](const char* title) { return window.title == title; });
  });
}

std::vector<CaptureWindowRef> systemInterfaceWindows(const ShareableContent& content) {
  return windowsWhere(content, [](const CaptureWindow& window) {
    return window.type == CaptureWindowType::dock || window.type == CaptureWindowType::notification;
  });
}

std::vector<CaptureApplicationRef> hiddenApplications(const ShareableContent& content,
                                                      const std::vector<AppInfo>& hidden) {
  std::vector<CaptureApplicationRef> result;
  for (const auto& application : content.applications) {
    if (!application) continue;
    const bool listed = std::any_of(hidden.begin(), hidden.end(), [&](const AppInfo& app) {
      return app.matches(application->bundleIdentifier);
    });
    if (listed) result.push_back(application);
  }
  return result;
}

std::vector<CaptureApplicationRef> hiddenApplications(const ShareableContent& content,
                                                      const SettingsStore& store) {
  return hiddenApplications(content, loadHiddenApps(store));
}

std::vector<CaptureWindowRef> wallpaperWindows(const ShareableContent& content) {
  return windowsWhere(content, [](const CaptureWindow& window) {
    return window.type == CaptureWindowType::desktop && window.owningApplication.has_value();
  });
}

std::vector<CaptureWindowRef> desktopWindows(const ShareableContent& content) {
  return windowsWhere(content, [](const CaptureWindow& window) {
    return window.type == CaptureWindowType::desktop && !window.owningApplication.has_value();
  });
}

std::vector<CaptureWindowRef> dockBarWindows(const ShareableContent& content) {
  return windowsWhere(content,
                      [](const CaptureWindow& window) { return window.type == CaptureWindowType::dock; });
}

CaptureApplicationRef wallpaperApplication(const ShareableContent& content) {
  const auto wallpaper = wallpaperWindows(content);
  if (wallpaper.empty()) return nullptr;
  const auto& owner = *wallpaper.front()->owningApplication;
  for (const auto& application : content.applications) {
    if (application && application->bundleIdentifier == owner.bundleIdentifier &&
        application->processID == owner.processID) {
      return application;
    }
  }
  return nullptr;
}

CaptureDisplayRef displayHolding(const ShareableContent& content, const QRectF& frame) {
  CaptureDisplayRef best;
  double bestArea = 0;
  for (const auto& display : content.displays) {
    const QRectF shared = display->frame & frame;
    const double area = shared.width() * shared.height();
    if (area > bestArea) {
      bestArea = area;
      best = display;
    }
  }
  if (best) return best;
  return content.displays.empty() ? nullptr : content.displays.front();
}

std::string windowNameInWords(const CaptureWindow& window) {
  if (!window.title.empty()) return "\"" + window.title + "\"";
  if (window.owningApplication && !window.owningApplication->applicationName.empty())
    return "of " + window.owningApplication->applicationName;
  return "without a title";
}

}  // namespace tk
