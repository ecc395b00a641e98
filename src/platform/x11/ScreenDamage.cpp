#include "platform/x11/ScreenDamage.h"

#include <sys/uio.h>
#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

namespace tk {

namespace {

xcb_extension_t damageExtension = {"DAMAGE", 0};

enum DamageRequest : uint8_t { queryVersion = 0, create = 1, destroy = 2, subtract = 3 };
constexpr uint8_t kReportNonEmpty = 3;

struct QueryVersionRequest {
  uint8_t majorOpcode, minorOpcode;
  uint16_t length;
  uint32_t clientMajor, clientMinor;
};
struct CreateRequest {
  uint8_t majorOpcode, minorOpcode;
  uint16_t length;
  uint32_t damage, drawable;
  uint8_t level, pad[3];
};
struct DestroyRequest {
  uint8_t majorOpcode, minorOpcode;
  uint16_t length;
  uint32_t damage;
};
struct SubtractRequest {
  uint8_t majorOpcode, minorOpcode;
  uint16_t length;
  uint32_t damage, repair, parts;
};

// xcb fills in the opcodes and length; the first two iovecs are its own.
template <typename Request>
unsigned send(xcb_connection_t* connection, DamageRequest opcode, Request& request, bool hasReply,
              bool checked = true) {
  const xcb_protocol_request_t info = {2, &damageExtension, opcode, static_cast<uint8_t>(hasReply ? 0 : 1)};
  iovec parts[4];
  parts[2].iov_base = &request;
  parts[2].iov_len = sizeof request;
  parts[3].iov_base = nullptr;
  parts[3].iov_len = -sizeof request & 3;
  return xcb_send_request(connection, checked ? XCB_REQUEST_CHECKED : 0, parts + 2, &info);
}

bool check(xcb_connection_t* connection, unsigned sequence) {
  XcbError error(xcb_request_check(connection, xcb_void_cookie_t{sequence}));
  return !error;
}

}  // namespace

ScreenDamage::ScreenDamage(XcbConnection& connection) : connection_(connection) {
  xcb_connection_t* c = connection.get();
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &damageExtension);
  if (!extension || !extension->present || !connection.hasExtension(&xcb_xfixes_id)) return;
  QueryVersionRequest version{0, 0, 0, 1, 1};
  xcb_generic_error_t* error = nullptr;
  XcbReply<void> reply(xcb_wait_for_reply(c, send(c, queryVersion, version, true), &error));
  XcbError versionError(error);
  if (!reply || versionError) return;
  auto fixes = xcbReply(xcb_xfixes_query_version_reply, c, xcb_xfixes_query_version(c, 4, 0));
  if (!fixes) return;

  const uint32_t damage = xcb_generate_id(c);
  CreateRequest made{0, 0, 0, damage, connection.root(), kReportNonEmpty, {0, 0, 0}};
  if (!check(c, send(c, create, made, false))) return;
  parts_ = xcb_generate_id(c);
  XcbError regionError(xcb_request_check(c, xcb_xfixes_create_region_checked(c, parts_, 0, nullptr)));
  if (regionError) {
    DestroyRequest gone{0, 0, 0, damage};
    send(c, destroy, gone, false);
    parts_ = 0;
    return;
  }
  damage_ = damage;
}

ScreenDamage::~ScreenDamage() {
  if (!damage_ || connection_.hasError()) return;
  if (pending_) xcb_discard_reply(connection_.get(), pending_->sequence);
  DestroyRequest gone{0, 0, 0, damage_};
  check(connection_.get(), send(connection_.get(), destroy, gone, false));
  xcb_xfixes_destroy_region(connection_.get(), parts_);
  connection_.flush();
}

void ScreenDamage::request() {
  if (!damage_ || pending_) return;
  xcb_connection_t* c = connection_.get();
  SubtractRequest subtraction{0, 0, 0, damage_, XCB_NONE, parts_};
  send(c, subtract, subtraction, false, false);
  pending_ = xcb_xfixes_fetch_region(c, parts_);
  xcb_flush(c);
}

std::optional<QRegion> ScreenDamage::take() {
  if (!damage_) return std::nullopt;
  request();
  xcb_connection_t* c = connection_.get();
  auto region = xcbReply(xcb_xfixes_fetch_region_reply, c, *pending_);
  pending_.reset();
  if (!region) return std::nullopt;
  QRegion changed;
  const xcb_rectangle_t* rects = xcb_xfixes_fetch_region_rectangles(region.get());
  const int count = xcb_xfixes_fetch_region_rectangles_length(region.get());
  for (int i = 0; i < count; ++i) changed += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
  return changed;
}

}  // namespace tk
