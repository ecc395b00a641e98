#include "platform/x11/X11Session.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace tk {

std::optional<std::string> x11SessionProblem() {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!display || !*display) {
    if (wayland && *wayland) {
      return "tavelkombrix records X11 desktops, and this is a Wayland session without an X11 "
             "display. Log in to an X11 session (\"GNOME on Xorg\" or similar) to record.";
    }
    return "No X11 display: DISPLAY is not set. tavelkombrix needs an X11 desktop session.";
  }
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(display, &screen);
  const int error = xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  if (error) {
    return std::string("Cannot connect to the X11 display \"") + display +
           "\". Check that the X server runs and that this user may use it.";
  }
  return std::nullopt;
}

}  // namespace tk
