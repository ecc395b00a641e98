#pragma once

#include <xcb/xcb.h>

#include <QRect>
#include <chrono>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/x11/ShmImage.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

// A viewable top-level window of the root (a window manager's frame, or an unmanaged window).
struct SceneWindow {
  xcb_window_t topLevel = XCB_WINDOW_NONE;
  QRect outer;  // root coordinates, border included: the extent of its Composite pixmap
  const X11WindowFacts* facts = nullptr;  // of its client; valid until the next refresh()
};

// The capture thread's view of the desktop: the stacking of top-level windows with the facts of
// their clients, and their contents through XComposite. Facts are read once for each new window
// and again every second, so titles, types and markers set later are seen without reading every
// window on every frame. One thread uses an instance.
class DesktopScene {
 public:
  explicit DesktopScene(XcbConnection& connection);
  ~DesktopScene();
  DesktopScene(const DesktopScene&) = delete;
  DesktopScene& operator=(const DesktopScene&) = delete;

  // The viewable top-levels, bottom first, kept from the server's notices about the root's
  // children: no round trip in steady state (one for a new window's facts, two for a resync).
  const std::vector<SceneWindow>& refresh();
  const std::vector<SceneWindow>& windows() const { return windows_; }

  // Asks the server to keep every top-level's content off screen as well (automatic Composite
  // redirection), so covered parts of windows can be read. Done once; false when the server has no
  // Composite extension.
  bool redirect();
  bool isRedirected() const { return redirected_; }

  // Reads `rect` (root coordinates, within the window's outer rectangle) of a window's own
  // content, whatever covers it. Nothing when the window is gone, unmapped, or not redirected.
  std::optional<ShmImage::View> readWindow(xcb_window_t topLevel, const QRect& outer, const QRect& rect,
                                           ShmImage& image);
  // Reads `rect` (root coordinates) of the root's background pixmap, when the desktop set one
  // (_XROOTPMAP_ID); nothing otherwise.
  std::optional<ShmImage::View> readWallpaper(const QRect& rect, ShmImage& image);

  // Drops the pixmap of a window whose size or mapping changed.
  void forgetPixmap(xcb_window_t topLevel);

 private:
  struct Cached {
    xcb_window_t client = XCB_WINDOW_NONE;
    X11WindowFacts facts;
    bool seen = false;
  };
  struct Pixmap {
    xcb_pixmap_t pixmap = XCB_PIXMAP_NONE;
    QSize size;
  };

  // The root's children as the server last told us, bottom first.
  struct Node {
    xcb_window_t window = XCB_WINDOW_NONE;
    QRect outer;
    bool mapped = false;
    bool inputOutput = true;
  };

  void refreshFacts(const std::vector<xcb_window_t>& topLevels);
  void resync();
  void applyEvents();
  Node* node(xcb_window_t window);
  // Puts `window` right above `above` (XCB_WINDOW_NONE: at the bottom; none: on top).
  void restack(xcb_window_t window, std::optional<xcb_window_t> above);

  XcbConnection& connection_;
  bool compositeAvailable_ = false;
  bool redirected_ = false;
  std::unordered_map<xcb_window_t, Cached> cache_;
  std::unordered_map<xcb_window_t, Pixmap> pixmaps_;
  std::vector<SceneWindow> windows_;
  std::vector<Node> stack_;
  std::vector<xcb_window_t> viewable_;
  std::vector<QRect> outers_;
  std::vector<xcb_window_t> fresh_;
  bool listening_ = false;
  bool needsResync_ = true;
  std::chrono::steady_clock::time_point nextResync_{};
  xcb_pixmap_t wallpaper_ = XCB_PIXMAP_NONE;
  QSize wallpaperSize_;
  std::chrono::steady_clock::time_point nextFactsRefresh_{};
  uint64_t seenMarks_ = 0;
};

}  // namespace tk
