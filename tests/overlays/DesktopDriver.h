#pragma once

// Drives the private test desktop: XTest input through xdotool, windows of another client with
// known colours, and reads of the screen's pixels.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QColor>
#include <QProcess>
#include <QRect>
#include <QStringList>
#include <memory>

namespace tk::test {

// Runs xdotool with the arguments; true when it succeeded.
inline bool xdotool(const QStringList& arguments) {
  return QProcess::execute("xdotool", arguments) == 0;
}

// An X connection of the test's own: windows made on it belong to "another application".
class ForeignClient {
 public:
  ForeignClient() {
    connection_ = xcb_connect(nullptr, nullptr);
    // Without a display the fixture is skipped before any use.
    if (!xcb_connection_has_error(connection_)) {
      screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    }
  }
  ~ForeignClient() { xcb_disconnect(connection_); }

  // A mapped, unmanaged window filled with `colour` at `frame` (root coordinates), optionally
  // inside `parent`.
  uint32_t window(const QRect& frame, const QColor& colour, uint32_t parent = 0) {
    const uint32_t id = xcb_generate_id(connection_);
    const uint32_t values[] = {colour.rgb() & 0xffffffu, 1, XCB_EVENT_MASK_BUTTON_PRESS};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id, parent ? parent : screen_->root,
                      int16_t(frame.x()), int16_t(frame.y()), uint16_t(frame.width()),
                      uint16_t(frame.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen_->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(connection_, id);
    sync();
    return id;
  }
  // Moves the pointer through XTest, as a mouse would: xdotool's own move is a warp, which the
  // device's raw events never report.
  void movePointer(int x, int y) {
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen_->root,
                        int16_t(x), int16_t(y), 0);
    sync();
  }
  // Presses the windows of this client received so far (read without blocking).
  int presses() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if ((event->response_type & 0x7f) == XCB_BUTTON_PRESS) ++presses_;
      free(event);
    }
    return presses_;
  }
  void destroy(uint32_t window) {
    xcb_destroy_window(connection_, window);
    sync();
  }
  void sync() { free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

  // One pixel of the screen as shown.
  QColor screenPixel(QPoint root) {
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, int16_t(root.x()),
                      int16_t(root.y()), 1, 1, ~0u),
        nullptr);
    if (!image) return {};
    const uint8_t* data = xcb_get_image_data(image);
    const QColor colour(data[2], data[1], data[0]);
    free(image);
    return colour;
  }

 private:
  xcb_connection_t* connection_;
  xcb_screen_t* screen_ = nullptr;
  int presses_ = 0;
};

}  // namespace tk::test
