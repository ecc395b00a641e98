#include "platform/x11/X11ShareableContent.h"

#include <xcb/randr.h>

#include <algorithm>
#include <map>

#include "platform/media/Error.h"
#include "platform/media/GlobalCoordinates.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

std::string atomName(XcbConnection& connection, xcb_atom_t atom) {
  auto reply = xcbReply(xcb_get_atom_name_reply, connection.get(), xcb_get_atom_name(connection.get(), atom));
  if (!reply) return {};
  return std::string(xcb_get_atom_name_name(reply.get()),
                     static_cast<size_t>(xcb_get_atom_name_name_length(reply.get())));
}

CaptureDisplay wholeRoot(XcbConnection& connection) {
  CaptureDisplay display;
  display.name = "screen";
  display.width = connection.screen()->width_in_pixels;
  display.height = connection.screen()->height_in_pixels;
  display.frame = QRectF(0, 0, display.width, display.height);
  display.isPrimary = true;
  return display;
}

int layerOf(const X11WindowFacts& facts) {
  switch (facts.type) {
    case CaptureWindowType::desktop:
      return -1;
    case CaptureWindowType::dock:
      return 20;
    case CaptureWindowType::notification:
      return 25;
    default:
      return facts.above ? 3 : 0;
  }
}

}  // namespace

std::vector<CaptureDisplay> queryDisplays(XcbConnection& connection) {
  std::vector<CaptureDisplay> displays;
  if (connection.hasExtension(&xcb_randr_id)) {
    auto version = xcbReply(xcb_randr_query_version_reply, connection.get(),
                            xcb_randr_query_version(connection.get(), 1, 5));
    if (version && (version->major_version > 1 || version->minor_version >= 5)) {
      auto monitors = xcbReply(xcb_randr_get_monitors_reply, connection.get(),
                               xcb_randr_get_monitors(connection.get(), connection.root(), 1));
      if (monitors) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem;
             xcb_randr_monitor_info_next(&it)) {
          const xcb_randr_monitor_info_t* info = it.data;
          if (info->width == 0 || info->height == 0) continue;
          CaptureDisplay display;
          display.displayID = info->name;
          display.name = atomName(connection, info->name);
          display.frame = QRectF(info->x, info->y, info->width, info->height);
          display.width = info->width;
          display.height = info->height;
          display.isPrimary = info->primary;
          displays.push_back(std::move(display));
        }
      }
    }
  }
  if (displays.empty()) {
    displays.push_back(wholeRoot(connection));
  } else if (std::none_of(displays.begin(), displays.end(), [](const auto& d) { return d.isPrimary; })) {
    displays.front().isPrimary = true;
  }
  std::stable_partition(displays.begin(), displays.end(), [](const auto& d) { return d.isPrimary; });
  GlobalCoordinates::setPrimaryDisplay(displays.front().frame);
  return displays;
}

ShareableContent loadShareableContent(XcbConnection& connection, const ShareableContentOptions& options) {
  if (connection.hasError()) throw PlatformError("X11", -1, "The connection to the X server broke");
  ShareableContent content;
  for (auto& display : queryDisplays(connection)) {
    content.displays.push_back(std::make_shared<const CaptureDisplay>(std::move(display)));
  }

  // Bottom first, as both the stacking list and the query tree report it.
  std::vector<xcb_window_t> clients = readCardinals(
      connection, connection.root(), connection.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
  if (clients.empty()) {
    for (xcb_window_t child : rootChildren(connection))
      clients.push_back(findClientWindow(connection, child));
  }
  const auto facts = readWindowFacts(connection, clients);
  const auto active =
      readCardinals(connection, connection.root(), connection.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);

  std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
  std::vector<xcb_get_geometry_cookie_t> geometryCookies;
  std::vector<xcb_translate_coordinates_cookie_t> originCookies;
  for (xcb_window_t client : clients) {
    attributeCookies.push_back(xcb_get_window_attributes(connection.get(), client));
    geometryCookies.push_back(xcb_get_geometry(connection.get(), client));
    originCookies.push_back(xcb_translate_coordinates(connection.get(), client, connection.root(), 0, 0));
  }

  std::map<std::string, CaptureApplicationRef> applications;  // by process, or by class without one
  std::vector<CaptureWindowRef> bottomFirst;
  for (size_t i = 0; i < clients.size(); ++i) {
    auto attributes = xcbReply(xcb_get_window_attributes_reply, connection.get(), attributeCookies[i]);
    auto geometry = xcbReply(xcb_get_geometry_reply, connection.get(), geometryCookies[i]);
    auto origin = xcbReply(xcb_translate_coordinates_reply, connection.get(), originCookies[i]);
    if (!attributes || !geometry || !origin) continue;  // gone since the list was read
    const X11WindowFacts& fact = facts[i];
    const bool onScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE && !fact.hidden;
    if (options.onScreenWindowsOnly && !onScreen) continue;
    if (options.excludeDesktopWindows && fact.type == CaptureWindowType::desktop) continue;

    CaptureWindow window;
    window.windowID = clients[i];
    window.title = fact.title;
    window.frame = QRectF(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    window.type = fact.type;
    window.windowLayer = layerOf(fact);
    window.isOnScreen = onScreen;
    window.isActive = !active.empty() && active[0] == clients[i];
    window.neverCapture = fact.neverCapture;

    const std::string& id = fact.applicationId;
    if (!id.empty()) {
      const std::string key = fact.pid > 0 ? "pid:" + std::to_string(fact.pid) : "class:" + id;
      auto& application = applications[key];
      if (!application) {
        CaptureApplication made;
        made.bundleIdentifier = id;
        made.applicationName = fact.wmClass.empty() ? id : fact.wmClass;
        made.processID = fact.pid;
        application = std::make_shared<const CaptureApplication>(std::move(made));
      }
      window.owningApplication = *application;
    }
    bottomFirst.push_back(std::make_shared<const CaptureWindow>(std::move(window)));
  }

  content.windows.assign(bottomFirst.rbegin(), bottomFirst.rend());
  for (const auto& window : content.windows) {
    if (!window->owningApplication) continue;
    const auto& owner = *window->owningApplication;
    const bool listed =
        std::any_of(content.applications.begin(), content.applications.end(), [&](const auto& app) {
          return app->processID == owner.processID && app->bundleIdentifier == owner.bundleIdentifier;
        });
    if (!listed) content.applications.push_back(std::make_shared<const CaptureApplication>(owner));
  }
  return content;
}

ShareableContent loadShareableContent(const ShareableContentOptions& options) {
  auto connection = XcbConnection::open();
  return loadShareableContent(*connection, options);
}

}  // namespace tk
