#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tk {

// xcb hands out replies and errors allocated with malloc; the caller frees them.
struct XcbFree {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFree>;
using XcbError = XcbReply<xcb_generic_error_t>;

// Waits for a reply: `XcbReply<xcb_get_geometry_reply_t> g = xcbReply(xcb_get_geometry_reply, c, cookie)`.
// A null result means the request failed; the error, when wanted, lands in `error`.
template <typename ReplyFunction, typename Cookie>
auto xcbReply(ReplyFunction function, xcb_connection_t* connection, Cookie cookie,
              XcbError* error = nullptr) {
  xcb_generic_error_t* raw = nullptr;
  using Reply = std::remove_pointer_t<decltype(function(connection, cookie, &raw))>;
  XcbReply<Reply> reply(function(connection, cookie, &raw));
  if (error) {
    error->reset(raw);
  } else {
    std::free(raw);
  }
  return reply;
}

// One connection to the X server, closed on destruction. The screen and root are the default
// screen's. `atom` interns names once and may be called from any thread; everything else follows
// xcb's own rule: requests from several threads are safe, but a reply is read by its requester.
class XcbConnection {
 public:
  // Connects to `display` (null: $DISPLAY). Throws tk::PlatformError (domain "X11") on failure.
  static std::unique_ptr<XcbConnection> open(const char* display = nullptr);

  ~XcbConnection();
  XcbConnection(const XcbConnection&) = delete;
  XcbConnection& operator=(const XcbConnection&) = delete;

  xcb_connection_t* get() const { return connection_; }
  xcb_screen_t* screen() const { return screen_; }
  xcb_window_t root() const { return screen_->root; }
  // The connection broke (server gone, protocol error that closed it).
  bool hasError() const { return xcb_connection_has_error(connection_) != 0; }
  void flush() const { xcb_flush(connection_); }

  xcb_atom_t atom(std::string_view name);
  // Whether the server offers the extension (queried once per connection).
  bool hasExtension(xcb_extension_t* extension) const;

  // How many connections this process holds open now, and the most it held at once since the
  // last resetPeak(); the X server serves a limited number of clients. Any thread.
  static int openConnections();
  static int peakOpenConnections();
  static void resetPeak();

 private:
  XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen);

  xcb_connection_t* connection_;
  xcb_screen_t* screen_;
  std::mutex atomMutex_;
  std::unordered_map<std::string, xcb_atom_t> atoms_;
};

// Property readers; each returns nothing when the property is missing or of another format.
std::optional<std::string> readStringProperty(XcbConnection& connection, xcb_window_t window,
                                              xcb_atom_t property, xcb_atom_t type);
std::vector<uint32_t> readCardinals(XcbConnection& connection, xcb_window_t window, xcb_atom_t property,
                                    xcb_atom_t type);

// Pipelined property reads: send every request first, then read the replies, so a list of windows
// costs one round trip instead of one per window.
class PropertyBatch {
 public:
  PropertyBatch(XcbConnection& connection) : connection_(connection) {}
  // Returns the slot to read after `wait()`.
  size_t request(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t maxLength = 1024);
  void wait();
  std::optional<std::string> string(size_t slot) const;
  std::vector<uint32_t> cardinals(size_t slot) const;
  // The type the property has (XCB_ATOM_NONE when it is missing).
  xcb_atom_t type(size_t slot) const;

 private:
  XcbConnection& connection_;
  std::vector<xcb_get_property_cookie_t> cookies_;
  std::vector<XcbReply<xcb_get_property_reply_t>> replies_;
};

}  // namespace tk
