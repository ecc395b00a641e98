#include "model/RecordingMode.h"

#include <algorithm>

namespace tk {

namespace {

// Two references name the same thing when both are missing, or both exist and `same` says so.
template <typename T, typename Same>
bool sameTarget(const std::shared_ptr<const T>& a, const std::shared_ptr<const T>& b, Same same) {
  if (!a || !b) return !a && !b;
  return same(*a, *b);
}

bool sameDisplay(const CaptureDisplayRef& a, const CaptureDisplayRef& b) {
  return sameTarget(a, b, [](const auto& x, const auto& y) { return x.displayID == y.displayID; });
}
bool sameWindow(const CaptureWindowRef& a, const CaptureWindowRef& b) {
  return sameTarget(a, b, [](const auto& x, const auto& y) { return x.windowID == y.windowID; });
}
bool sameApplication(const CaptureApplicationRef& a, const CaptureApplicationRef& b) {
  return sameTarget(a, b,
                    [](const auto& x, const auto& y) { return x.bundleIdentifier == y.bundleIdentifier; });
}
bool sameDevice(const CaptureDeviceRef& a, const CaptureDeviceRef& b) {
  return sameTarget(a, b, [](const auto& x, const auto& y) { return x.uniqueID == y.uniqueID; });
}

// Exact, unlike QRectF's fuzzy operator==: an area that moved by a fraction is another area.
bool sameRect(const QRectF& a, const QRectF& b) {
  return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

template <typename T, typename Same>
bool sameList(const std::vector<T>& a, const std::vector<T>& b, Same same) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

}  // namespace

bool RecordingMode::operator==(const RecordingMode& other) const {
  return sameCase(other, [](const auto& mine, const auto& theirs) {
    using T = std::decay_t<decltype(mine)>;
    if constexpr (std::is_same_v<T, Screen>) {
      return sameDisplay(mine.display, theirs.display);
    } else if constexpr (std::is_same_v<T, ScreenArea>) {
      return sameDisplay(mine.display, theirs.display) && sameRect(mine.rect, theirs.rect);
    } else if constexpr (std::is_same_v<T, Window>) {
      return sameWindow(mine.window, theirs.window);
    } else if constexpr (std::is_same_v<T, Windows>) {
      return sameList(mine.windows, theirs.windows, sameWindow);
    } else if constexpr (std::is_same_v<T, Application>) {
      return sameList(mine.apps, theirs.apps, sameApplication);
    } else if constexpr (std::is_same_v<T, IOSDevice>) {
      return sameDevice(mine.device, theirs.device);
    } else {
      return true;
    }
  });
}

}  // namespace tk
