#pragma once

#include <string>
#include <vector>

#include "capture/AppInfo.h"
#include "platform/x11/X11ShareableContent.h"

namespace tk {

class SettingsStore;

// The look-ups the content-filter rules make in a shareable-content snapshot. Each returns its
// matches in the snapshot's own order. The desktop's own pieces map to window types: the system
// interface is the dock and notification windows, the wallpaper the desktop-type windows of an
// application that draws it, the "Desktop" the desktop-type windows nobody claims.

// This application's id (what its own windows carry as their application's id).
std::string applicationBundleIdentifier();

// The three windows of this application that belong in an application recording.
inline constexpr const char* kOverlayWindowTitles[] = {"Mouse Pointer", "Screen Magnifier",
                                                       "Camera Overlayer"};

CaptureApplicationRef ownRunningApplication(const ShareableContent& content);
// This application's windows other than its overlays; an untitled window of ours is one of them.
std::vector<CaptureWindowRef> ownInterfaceWindows(const ShareableContent& content);
// The desktop's own interface: dock (panels, trays) and notification windows.
std::vector<CaptureWindowRef> systemInterfaceWindows(const ShareableContent& content);
// The running applications whose id a hidden record names, case not counted.
std::vector<CaptureApplicationRef> hiddenApplications(const ShareableContent& content,
                                                      const std::vector<AppInfo>& hidden);
// Reads "hiddenApps" from `store`; a value that cannot be read hides nothing (with a warning line).
std::vector<CaptureApplicationRef> hiddenApplications(const ShareableContent& content,
                                                      const SettingsStore& store);
std::vector<CaptureWindowRef> wallpaperWindows(const ShareableContent& content);
std::vector<CaptureWindowRef> desktopWindows(const ShareableContent& content);
// Only real dock windows: an untitled window is not a dock for lack of a title.
std::vector<CaptureWindowRef> dockBarWindows(const ShareableContent& content);
// The application that draws the wallpaper (owner of the first wallpaper window), if any.
CaptureApplicationRef wallpaperApplication(const ShareableContent& content);

// The display that shows the largest part of `frame` (root coordinates); the first display when
// none does; none without displays.
CaptureDisplayRef displayHolding(const ShareableContent& content, const QRectF& frame);

// A window as a sentence names it after "The window": its title in quotes, else "of" its
// application, else "without a title".
std::string windowNameInWords(const CaptureWindow& window);

}  // namespace tk
