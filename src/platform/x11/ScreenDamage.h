#pragma once

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QRegion>
#include <optional>

#include "platform/x11/XcbConnection.h"

namespace tk {

// What was drawn on the screen since the last look, through the X DAMAGE extension, so a capture
// re-reads only what changed. The requests are sent by hand (the protocol is four small requests)
// rather than through another client library. Its notify events are left on the connection for
// whoever reads the events there (DesktopScene drops them). One thread uses an instance.
class ScreenDamage {
 public:
  explicit ScreenDamage(XcbConnection& connection);
  ~ScreenDamage();
  ScreenDamage(const ScreenDamage&) = delete;
  ScreenDamage& operator=(const ScreenDamage&) = delete;

  bool available() const { return damage_ != 0; }

  // The root-window region drawn since the previous call (empty on the first); nothing when the
  // server cannot tell, and then the caller must read everything. `request` sends the question so
  // its round trip overlaps other work; `take` then reads the answer (and asks itself if needed).
  void request();
  std::optional<QRegion> take();

 private:
  XcbConnection& connection_;
  uint32_t damage_ = 0;
  uint32_t parts_ = 0;
  std::optional<xcb_xfixes_fetch_region_cookie_t> pending_;
};

}  // namespace tk
