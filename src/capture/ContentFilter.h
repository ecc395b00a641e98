#pragma once

#include <QRectF>
#include <vector>

#include "platform/media/ShareableContent.h"
#include "platform/x11/CaptureSource.h"

namespace tk {

// What a capture stream records, in the four forms the filter rules build:
//   displayExcludingApplications: everything on the display except the listed applications'
//     windows; the excepted windows are captured although their application is left out;
//   displayIncludingApplications: only the listed applications' windows; the excepted windows are
//     left out although their application is included;
//   displayIncludingWindows: only the listed windows, on that display;
//   desktopIndependentWindow: only the one window, apart from the desktop.
// On X11 the system interface (dock and notification windows) is left out by window type, and the
// wallpaper is the root background with the desktop-type windows; `showsWallpaper` says whether
// the root background is drawn (else the stream's background colour fills its place).
struct ContentFilter {
  enum class Kind {
    displayExcludingApplications,
    displayIncludingApplications,
    displayIncludingWindows,
    desktopIndependentWindow,
  };

  Kind kind = Kind::displayExcludingApplications;
  CaptureDisplayRef display;                        // none for a desktop-independent window
  std::vector<CaptureApplicationRef> applications;  // excluded or included
  std::vector<CaptureWindowRef> windows;            // excepted, included, or the one window
  std::vector<CaptureWindowType> excludedWindowTypes;
  bool showsWallpaper = false;

  static ContentFilter displayExcluding(CaptureDisplayRef display,
                                        std::vector<CaptureApplicationRef> excluded,
                                        std::vector<CaptureWindowRef> excepted);
  static ContentFilter displayIncluding(CaptureDisplayRef display,
                                        std::vector<CaptureApplicationRef> included,
                                        std::vector<CaptureWindowRef> excepted);
  static ContentFilter displayIncludingWindows(CaptureDisplayRef display,
                                               std::vector<CaptureWindowRef> windows);
  static ContentFilter desktopIndependentWindow(CaptureWindowRef window);

  // The captured content in points, relative to the display (a window: where it lies on its
  // display, or at the origin without one).
  QRectF contentRect() const;
  // Pixels per point of the content.
  double pointPixelScale() const;

  // The X11 stream's description of the same content.
  CaptureSource captureSource() const;
};

}  // namespace tk
