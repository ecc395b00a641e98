#include "platform/x11/XcbConnection.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/media/Error.h"

namespace tk {

std::unique_ptr<XcbConnection> XcbConnection::open(const char* display) {
  int screenNumber = 0;
  xcb_connection_t* connection = nullptr;
  {
    // Connecting reads the authority file through libXau, whose file-name helper keeps one static
    // buffer: two threads connecting at once free each other's name.
    static std::mutex connecting;
    std::lock_guard lock(connecting);
    connection = xcb_connect(display, &screenNumber);
  }
  if (const int error = xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    throw PlatformError(
        "X11", error,
        std::string("Cannot connect to the X display ") +
            (display ? display : (std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(unset)")));
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
  if (!it.rem) {
    xcb_disconnect(connection);
    throw PlatformError("X11", -1, "The X display has no screen " + std::to_string(screenNumber));
  }
  return std::unique_ptr<XcbConnection>(new XcbConnection(connection, it.data));
}

namespace {
std::atomic<int> openCount{0};
std::atomic<int> peakCount{0};
}  // namespace

XcbConnection::XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen)
    : connection_(connection), screen_(screen) {
  const int now = ++openCount;
  int peak = peakCount.load();
  while (now > peak && !peakCount.compare_exchange_weak(peak, now)) {
  }
}

XcbConnection::~XcbConnection() {
  xcb_disconnect(connection_);
  --openCount;
}

int XcbConnection::openConnections() {
  return openCount.load();
}

int XcbConnection::peakOpenConnections() {
  return peakCount.load();
}

void XcbConnection::resetPeak() {
  peakCount = openCount.load();
}

xcb_atom_t XcbConnection::atom(std::string_view name) {
  std::string key(name);
  {
    std::lock_guard lock(atomMutex_);
    if (auto found = atoms_.find(key); found != atoms_.end()) return found->second;
  }
  auto reply = xcbReply(xcb_intern_atom_reply, connection_,
                        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(key.size()), key.data()));
  const xcb_atom_t value = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::lock_guard lock(atomMutex_);
  atoms_.emplace(std::move(key), value);
  return value;
}

bool XcbConnection::hasExtension(xcb_extension_t* extension) const {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, extension);
  return data && data->present;
}

namespace {

std::optional<std::string> stringOf(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE) return std::nullopt;
  const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply));
  return std::string(bytes, static_cast<size_t>(xcb_get_property_value_length(reply)));
}

std::vector<uint32_t> cardinalsOf(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 32 || reply->type == XCB_ATOM_NONE) return {};
  const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply));
  return {values, values + xcb_get_property_value_length(reply) / 4};
}

}  // namespace

std::optional<std::string> readStringProperty(XcbConnection& connection, xcb_window_t window,
                                              xcb_atom_t property, xcb_atom_t type) {
  auto reply = xcbReply(xcb_get_property_reply, connection.get(),
                        xcb_get_property(connection.get(), 0, window, property, type, 0, 1024));
  return stringOf(reply.get());
}

std::vector<uint32_t> readCardinals(XcbConnection& connection, xcb_window_t window, xcb_atom_t property,
                                    xcb_atom_t type) {
  auto reply = xcbReply(xcb_get_property_reply, connection.get(),
                        xcb_get_property(connection.get(), 0, window, property, type, 0, 1 << 16));
  return cardinalsOf(reply.get());
}

size_t PropertyBatch::request(xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t maxLength) {
  cookies_.push_back(xcb_get_property(connection_.get(), 0, window, property, type, 0, maxLength));
  return cookies_.size() - 1;
}

void PropertyBatch::wait() {
  replies_.clear();
  replies_.reserve(cookies_.size());
  for (const auto& cookie : cookies_) {
    replies_.push_back(xcbReply(xcb_get_property_reply, connection_.get(), cookie));
  }
  cookies_.clear();
}

std::optional<std::string> PropertyBatch::string(size_t slot) const {
  return slot < replies_.size() ? stringOf(replies_[slot].get()) : std::nullopt;
}

xcb_atom_t PropertyBatch::type(size_t slot) const {
  return slot < replies_.size() && replies_[slot] ? replies_[slot]->type : xcb_atom_t{XCB_ATOM_NONE};
}

std::vector<uint32_t> PropertyBatch::cardinals(size_t slot) const {
  return slot < replies_.size() ? cardinalsOf(replies_[slot].get()) : std::vector<uint32_t>{};
}

}  // namespace tk
