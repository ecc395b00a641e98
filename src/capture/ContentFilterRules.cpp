// The rules that turn a recording mode into a content filter, and the display a mode records.
#include <algorithm>

#include "capture/ContentQueries.h"
#include "capture/ScreenCaptureEngine.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

namespace {

bool isWallpaper(const RecordingConfiguration& configuration) {
  return configuration.backgroundColor == BackgroundType::wallpaper;
}

template <typename T>
void append(std::vector<T>& to, const std::vector<T>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

// The first on-screen window of the chosen applications, front first.
CaptureWindowRef firstWindowOf(const ShareableContent& content,
                               const std::vector<CaptureApplicationRef>& apps) {
  for (const auto& window : content.windows) {
    if (!window->owningApplication) continue;
    for (const auto& app : apps) {
      if (app && window->owningApplication->bundleIdentifier == app->bundleIdentifier &&
          window->owningApplication->processID == app->processID) {
        return window;
      }
    }
  }
  return nullptr;
}

CaptureDisplayRef requireDisplay(CaptureDisplayRef display) {
  if (!display) throw RecordingError::captureDeviceUnavailable();
  return display;
}

CaptureDisplayRef displayOf(const ShareableContent& content, const CaptureWindowRef& window) {
  return window ? displayHolding(content, window->frame)
                : (content.displays.empty() ? nullptr : content.displays.front());
}

// The picked windows as the desktop shows them now, in the order picked. Ones that have closed (or
// were minimised) since they were picked are left out; when none is left the start fails naming
// them, instead of recording the background alone.
std::vector<CaptureWindowRef> windowsStillOpen(const ShareableContent& content,
                                               const std::vector<CaptureWindowRef>& picked) {
  std::vector<CaptureWindowRef> open;
  std::vector<std::string> gone;
  for (const auto& window : picked) {
    if (!window) continue;
    const auto found =
        std::find_if(content.windows.begin(), content.windows.end(),
                     [&](const CaptureWindowRef& shown) { return shown->windowID == window->windowID; });
    if (found != content.windows.end()) {
      open.push_back(*found);
    } else {
      gone.push_back(windowNameInWords(*window));
    }
  }
  if (open.empty() && !gone.empty()) {
    std::string names = gone.front();
    for (size_t i = 1; i < gone.size(); ++i) names += (i + 1 == gone.size() ? " and " : ", ") + gone[i];
    throw RecordingError::invalidConfiguration(
        (gone.size() == 1 ? "The window " + names + " was" : "The windows " + names + " were") +
        " closed or minimised. Choose a window that is open.");
  }
  return open;
}

ContentFilter createDisplayFilter(const ShareableContent& content, CaptureDisplayRef display, bool wallpaper,
                                  const SettingsStore& store) {
  std::vector<CaptureWindowRef> excepted;
  if (wallpaper) {
    append(excepted, wallpaperWindows(content));
    append(excepted, desktopWindows(content));
  }
  ContentFilter filter = ContentFilter::displayExcluding(
      std::move(display), hiddenApplications(content, store), std::move(excepted));
  filter.excludedWindowTypes = {CaptureWindowType::dock, CaptureWindowType::notification};
  if (!wallpaper) filter.excludedWindowTypes.push_back(CaptureWindowType::desktop);
  filter.showsWallpaper = wallpaper;
  return filter;
}

ContentFilter createWindowFilterWithWallpaper(const ShareableContent& content,
                                              const CaptureWindowRef& window) {
  std::vector<CaptureWindowRef> windows{window};
  append(windows, wallpaperWindows(content));
  ContentFilter filter =
      ContentFilter::displayIncludingWindows(requireDisplay(displayOf(content, window)), std::move(windows));
  filter.showsWallpaper = true;
  return filter;
}

ContentFilter createApplicationFilter(const ShareableContent& content,
                                      const std::vector<CaptureApplicationRef>& apps, bool wallpaper) {
  std::vector<CaptureApplicationRef> included = apps;
  std::vector<CaptureWindowRef> excepted;
  if (auto own = ownRunningApplication(content)) {
    included.push_back(own);
    append(excepted, ownInterfaceWindows(content));
  }
  if (wallpaper) {
    if (auto drawer = wallpaperApplication(content)) {
      included.push_back(drawer);
      append(excepted, dockBarWindows(content));
    }
  }
  CaptureDisplayRef display = requireDisplay(displayOf(content, firstWindowOf(content, apps)));
  ContentFilter filter =
      ContentFilter::displayIncluding(std::move(display), std::move(included), std::move(excepted));
  filter.showsWallpaper = wallpaper;
  return filter;
}

}  // namespace

ContentFilter ScreenCaptureEngine::createFilter(const RecordingMode& mode,
                                                const RecordingConfiguration& configuration) {
  return createFilter(mode, configuration, SettingsStore::standard());
}

ContentFilter ScreenCaptureEngine::createFilter(const RecordingMode& mode,
                                                const RecordingConfiguration& configuration,
                                                const SettingsStore& store) {
  if (!availableContent_) throw RecordingError::invalidConfiguration("Available content not loaded");
  mode_ = mode;
  const ShareableContent& content = *availableContent_;
  const bool wallpaper = isWallpaper(configuration);
  const CaptureDisplayRef first = content.displays.empty() ? nullptr : content.displays.front();

  if (const auto* screen = mode.get<RecordingMode::Screen>()) {
    return createDisplayFilter(content, requireDisplay(screen->display), wallpaper, store);
  }
  if (const auto* area = mode.get<RecordingMode::ScreenArea>()) {
    return createDisplayFilter(content, requireDisplay(area->display), wallpaper, store);
  }
  if (const auto* window = mode.get<RecordingMode::Window>()) {
    if (!window->window) throw RecordingError::invalidConfiguration("No window to record");
    const CaptureWindowRef open = windowsStillOpen(content, {window->window}).front();
    if (wallpaper) return createWindowFilterWithWallpaper(content, open);
    ContentFilter filter = ContentFilter::desktopIndependentWindow(open);
    filter.display = displayOf(content, open);
    return filter;
  }
  if (const auto* windows = mode.get<RecordingMode::Windows>()) {
    std::vector<CaptureWindowRef> chosen = windowsStillOpen(content, windows->windows);
    CaptureDisplayRef display = requireDisplay(displayOf(content, chosen.empty() ? nullptr : chosen.front()));
    if (wallpaper) append(chosen, wallpaperWindows(content));
    ContentFilter filter = ContentFilter::displayIncludingWindows(std::move(display), std::move(chosen));
    filter.showsWallpaper = wallpaper;
    return filter;
  }
  if (const auto* application = mode.get<RecordingMode::Application>()) {
    return createApplicationFilter(content, application->apps, wallpaper);
  }
  if (mode.get<RecordingMode::IOSDevice>()) {
    throw RecordingError::invalidConfiguration(
        "iOS device recording uses the device capture path, not screen capture");
  }
  ContentFilter filter = ContentFilter::displayExcluding(requireDisplay(first), {}, {});
  filter.showsWallpaper = true;
  return filter;
}

CaptureDisplayRef ScreenCaptureEngine::currentDisplay() const {
  if (mode_) {
    if (const auto* screen = mode_->get<RecordingMode::Screen>()) return screen->display;
    if (const auto* area = mode_->get<RecordingMode::ScreenArea>()) return area->display;
  }
  if (!availableContent_ || availableContent_->displays.empty()) return nullptr;
  const ShareableContent& content = *availableContent_;
  if (mode_) {
    if (const auto* window = mode_->get<RecordingMode::Window>()) return displayOf(content, window->window);
    if (const auto* windows = mode_->get<RecordingMode::Windows>()) {
      return displayOf(content, windows->windows.empty() ? nullptr : windows->windows.front());
    }
    if (const auto* application = mode_->get<RecordingMode::Application>()) {
      return displayOf(content, firstWindowOf(content, application->apps));
    }
  }
  return content.displays.front();
}

}  // namespace tk
