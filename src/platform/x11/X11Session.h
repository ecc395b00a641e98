#pragma once

#include <optional>
#include <string>

namespace tk {

// Whether this process can record: an X11 display must be reachable. Returns the text to show the
// user when it is not (no display at all, a Wayland-only session, or a display that refuses us).
std::optional<std::string> x11SessionProblem();

}  // namespace tk
