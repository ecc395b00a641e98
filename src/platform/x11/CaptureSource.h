#pragma once

#include <QRect>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/media/ShareableContent.h"
#include "platform/x11/X11Windows.h"

namespace tk {

// Which windows a rule takes: by application id (X11WindowFacts::applicationId), by client window id, or by
// EWMH type. Rules are matched against the live window list on every frame, so a hidden
// application's window that opens during a recording is left out too.
struct WindowMatch {
  std::vector<std::string> applicationIds;
  std::vector<uint32_t> windowIds;
  std::vector<CaptureWindowType> types;

  bool empty() const { return applicationIds.empty() && windowIds.empty() && types.empty(); }
  bool matches(const X11WindowFacts& facts) const;
};

// What an X11 capture stream draws. Windows that carry the never-capture marker are never drawn,
// whatever the rules say.
struct CaptureSource {
  enum class Kind {
    display,       // the display minus `excluded` windows (those also in `kept` stay)
    windows,       // only `included` windows (minus `excluded`) over the wallpaper or background
    singleWindow,  // one window's own content, whatever covers it
  };

  Kind kind = Kind::display;
  uint32_t displayID = 0;  // followed: the stream ends when this monitor goes away
  QRect displayFrame;      // root coordinates
  WindowMatch excluded;
  WindowMatch kept;
  WindowMatch included;
  // The root background (the wallpaper) shows where no drawn window is; otherwise the configured
  // background colour does.
  bool drawsWallpaper = true;
  uint32_t window = 0;  // singleWindow: the client window id
  // The picked windows (client ids) whose leaving the screen the stream reports (windows and
  // singleWindow kinds).
  std::vector<uint32_t> followed;
};

}  // namespace tk
