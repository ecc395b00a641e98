#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <QRect>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/X11Windows.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestSupport.h"

namespace tk::test {

struct WindowOptions {
  std::string title = "Test window";
  std::string windowType;  // e.g. "_NET_WM_WINDOW_TYPE_DOCK"
};

// Real windows of known colours and classes on the private test display, destroyed with the
// fixture. Windows are undecorated so the client sits exactly where it was asked to.
class DesktopFixture {
 public:
  DesktopFixture() : connection_(XcbConnection::open()) {}
  ~DesktopFixture() {
    for (xcb_window_t window : std::vector<xcb_window_t>(windows_)) destroyWindow(window);
    if (wallpaper_) {
      xcb_delete_property(connection_->get(), connection_->root(), connection_->atom("_XROOTPMAP_ID"));
      const uint32_t none = XCB_BACK_PIXMAP_NONE;
      xcb_change_window_attributes(connection_->get(), connection_->root(), XCB_CW_BACK_PIXMAP, &none);
      xcb_clear_area(connection_->get(), 0, connection_->root(), 0, 0, 0, 0);
      xcb_free_pixmap(connection_->get(), wallpaper_);
    }
    xcb_flush(connection_->get());
    // Window ids come back with the next connection: let the window manager forget these first,
    // or it mistakes a new window for an old one.
    waitUntil([&] {
      const auto clients = readCardinals(*connection_, connection_->root(),
                                         connection_->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
      return std::none_of(clients.begin(), clients.end(), [&](uint32_t client) {
        return std::find(destroyed_.begin(), destroyed_.end(), client) != destroyed_.end();
      });
    });
  }

  XcbConnection& connection() { return *connection_; }

  // Creates, maps and waits until the window is shown at `rect`. `rgb` is 0xRRGGBB.
  xcb_window_t createWindow(QRect rect, uint32_t rgb, const std::string& wmClass,
                            WindowOptions options = {}) {
    xcb_connection_t* c = connection_->get();
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {rgb, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection_->root(), static_cast<int16_t>(rect.x()),
                      static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
                      static_cast<uint16_t>(rect.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    const std::string classValue = wmClass + std::string(1, '\0') + wmClass + std::string(1, '\0');
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(classValue.size()), classValue.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, connection_->atom("_NET_WM_NAME"),
                        connection_->atom("UTF8_STRING"), 8, static_cast<uint32_t>(options.title.size()),
                        options.title.data());
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, rect.x(), rect.y());
    xcb_icccm_size_hints_set_size(&hints, 1, rect.width(), rect.height());
    xcb_icccm_set_wm_normal_hints(c, window, &hints);
    const uint32_t motif[5] = {2, 0, 0, 0, 0};  // decorations: none
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, connection_->atom("_MOTIF_WM_HINTS"),
                        connection_->atom("_MOTIF_WM_HINTS"), 32, 5, motif);
    if (!options.windowType.empty()) {
      const xcb_atom_t type = connection_->atom(options.windowType);
      xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, connection_->atom("_NET_WM_WINDOW_TYPE"),
                          XCB_ATOM_ATOM, 32, 1, &type);
    }
    xcb_map_window(c, window);
    xcb_flush(c);
    windows_.push_back(window);
    EXPECT_TRUE(waitUntil([&] { return isShownAt(window, rect); }))
        << "window " << wmClass << " not shown at its place: " << describe(window);
    return window;
  }

  void destroyWindow(xcb_window_t window) {
    xcb_destroy_window(connection_->get(), window);
    xcb_flush(connection_->get());
    destroyed_.push_back(window);
    std::erase(windows_, window);
  }

  void moveWindow(xcb_window_t window, QPoint to) {
    const uint32_t values[] = {static_cast<uint32_t>(to.x()), static_cast<uint32_t>(to.y())};
    xcb_configure_window(connection_->get(), window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(connection_->get());
  }

  void raise(xcb_window_t window) {
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_->get(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(connection_->get());
  }

  // Sets the root background to a pixmap of one colour and announces it as the wallpaper.
  void setWallpaper(uint32_t rgb) {
    xcb_connection_t* c = connection_->get();
    xcb_screen_t* screen = connection_->screen();
    wallpaper_ = xcb_generate_id(c);
    xcb_create_pixmap(c, screen->root_depth, wallpaper_, screen->root, screen->width_in_pixels,
                      screen->height_in_pixels);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, wallpaper_, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t all{0, 0, screen->width_in_pixels, screen->height_in_pixels};
    xcb_poly_fill_rectangle(c, wallpaper_, gc, 1, &all);
    xcb_free_gc(c, gc);
    xcb_change_window_attributes(c, screen->root, XCB_CW_BACK_PIXMAP, &wallpaper_);
    xcb_clear_area(c, 0, screen->root, 0, 0, 0, 0);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen->root, connection_->atom("_XROOTPMAP_ID"),
                        XCB_ATOM_PIXMAP, 32, 1, &wallpaper_);
    sync();
  }

  // Waits until the server has handled every request sent so far.
  void sync() {
    xcbReply(xcb_get_input_focus_reply, connection_->get(), xcb_get_input_focus(connection_->get()));
  }

  std::string describe(xcb_window_t window) {
    xcb_connection_t* c = connection_->get();
    auto attributes = xcbReply(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, window));
    auto origin = xcbReply(xcb_translate_coordinates_reply, c,
                           xcb_translate_coordinates(c, window, connection_->root(), 0, 0));
    if (!attributes || !origin) return "gone";
    return "map state " + std::to_string(attributes->map_state) + " at " + std::to_string(origin->dst_x) +
           "," + std::to_string(origin->dst_y);
  }

  // The window a click at a root point reaches: the deepest mapped window there, above its siblings.
  xcb_window_t windowAt(QPoint root) {
    xcb_connection_t* c = connection_->get();
    xcb_window_t shown = connection_->root();
    for (;;) {
      auto step = xcbReply(
          xcb_translate_coordinates_reply, c,
          xcb_translate_coordinates(c, connection_->root(), shown, int16_t(root.x()), int16_t(root.y())));
      if (!step || step->child == XCB_WINDOW_NONE) return shown;
      shown = step->child;
    }
  }

  bool isShownAt(xcb_window_t window, QRect rect) {
    xcb_connection_t* c = connection_->get();
    auto attributes = xcbReply(xcb_get_window_attributes_reply, c, xcb_get_window_attributes(c, window));
    auto origin = xcbReply(xcb_translate_coordinates_reply, c,
                           xcb_translate_coordinates(c, window, connection_->root(), 0, 0));
    return attributes && origin && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
           origin->dst_x == rect.x() && origin->dst_y == rect.y();
  }

 private:
  std::unique_ptr<XcbConnection> connection_;
  std::vector<xcb_window_t> windows_;
  std::vector<xcb_window_t> destroyed_;
  xcb_pixmap_t wallpaper_ = 0;
};

}  // namespace tk::test
