#include "platform/x11/DesktopScene.h"

#include <xcb/composite.h>

#include <algorithm>

#include "platform/x11/NeverCapture.h"

namespace tk {

namespace {
constexpr std::chrono::seconds kFactsRefreshInterval{1};
constexpr std::chrono::seconds kResyncInterval{2};
}  // namespace

DesktopScene::DesktopScene(XcbConnection& connection) : connection_(connection) {
  if (connection.hasExtension(&xcb_composite_id)) {
    auto version = xcbReply(xcb_composite_query_version_reply, connection.get(),
                            xcb_composite_query_version(connection.get(), 0, 4));
    compositeAvailable_ = version && (version->major_version > 0 || version->minor_version >= 2);
  }
}

DesktopScene::~DesktopScene() {
  if (connection_.hasError()) return;
  for (const auto& [window, pixmap] : pixmaps_) xcb_free_pixmap(connection_.get(), pixmap.pixmap);
  if (redirected_) {
    xcb_composite_unredirect_subwindows(connection_.get(), connection_.root(),
                                        XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  }
  connection_.flush();
}

bool DesktopScene::redirect() {
  if (redirected_) return true;
  if (!compositeAvailable_) return false;
  XcbError error(xcb_request_check(
      connection_.get(), xcb_composite_redirect_subwindows_checked(connection_.get(), connection_.root(),
                                                                   XCB_COMPOSITE_REDIRECT_AUTOMATIC)));
  redirected_ = !error;
  return redirected_;
}

void DesktopScene::resync() {
  const std::vector<xcb_window_t> children = rootChildren(connection_);
  std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
  std::vector<xcb_get_geometry_cookie_t> geometryCookies;
  attributeCookies.reserve(children.size());
  geometryCookies.reserve(children.size());
  for (xcb_window_t child : children) {
    attributeCookies.push_back(xcb_get_window_attributes(connection_.get(), child));
    geometryCookies.push_back(xcb_get_geometry(connection_.get(), child));
  }
  stack_.clear();
  for (size_t i = 0; i < children.size(); ++i) {
    auto attributes = xcbReply(xcb_get_window_attributes_reply, connection_.get(), attributeCookies[i]);
    auto geometry = xcbReply(xcb_get_geometry_reply, connection_.get(), geometryCookies[i]);
    if (!attributes || !geometry) continue;  // gone meanwhile
    const int border = geometry->border_width;
    stack_.push_back(
        {children[i],
         QRect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border),
         attributes->map_state == XCB_MAP_STATE_VIEWABLE,
         attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT});
  }
  needsResync_ = false;
  nextResync_ = std::chrono::steady_clock::now() + kResyncInterval;
}

DesktopScene::Node* DesktopScene::node(xcb_window_t window) {
  auto found = std::find_if(stack_.begin(), stack_.end(), [&](const Node& n) { return n.window == window; });
  return found == stack_.end() ? nullptr : &*found;
}

void DesktopScene::restack(xcb_window_t window, std::optional<xcb_window_t> above) {
  auto found = std::find_if(stack_.begin(), stack_.end(), [&](const Node& n) { return n.window == window; });
  if (found == stack_.end()) return;
  const Node moved = *found;
  stack_.erase(found);
  if (!above) {
    stack_.push_back(moved);
    return;
  }
  auto sibling =
      std::find_if(stack_.begin(), stack_.end(), [&](const Node& n) { return n.window == *above; });
  stack_.insert(*above == XCB_WINDOW_NONE || sibling == stack_.end() ? stack_.begin() : sibling + 1, moved);
  if (*above != XCB_WINDOW_NONE && sibling == stack_.end()) needsResync_ = true;
}

void DesktopScene::applyEvents() {
  const xcb_window_t root = connection_.root();
  while (xcb_generic_event_t* raw = xcb_poll_for_event(connection_.get())) {
    XcbReply<xcb_generic_event_t> event(raw);
    switch (event->response_type & 0x7f) {
      case XCB_CREATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(raw);
        if (e->parent != root || node(e->window)) break;
        const int border = e->border_width;
        // Created windows are InputOutput unless proven otherwise at the next resync; an
        // InputOnly one is never mapped with content, and reading it simply fails.
        stack_.push_back(
            {e->window, QRect(e->x, e->y, e->width + 2 * border, e->height + 2 * border), false, true});
        break;
      }
      case XCB_DESTROY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_destroy_notify_event_t*>(raw);
        std::erase_if(stack_, [&](const Node& n) { return n.window == e->window; });
        break;
      }
      case XCB_MAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(raw);
        if (e->event != root) break;
        if (Node* n = node(e->window)) n->mapped = true;
        break;
      }
      case XCB_UNMAP_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_unmap_notify_event_t*>(raw);
        if (e->event != root) break;
        if (Node* n = node(e->window)) n->mapped = false;
        break;
      }
      case XCB_CONFIGURE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(raw);
        if (e->event != root) break;
        if (Node* n = node(e->window)) {
          const int border = e->border_width;
          n->outer = QRect(e->x, e->y, e->width + 2 * border, e->height + 2 * border);
          restack(e->window, e->above_sibling);
        }
        break;
      }
      case XCB_GRAVITY_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_gravity_notify_event_t*>(raw);
        if (e->event != root) break;
        if (Node* n = node(e->window)) n->outer.moveTopLeft(QPoint(e->x, e->y));
        break;
      }
      case XCB_CIRCULATE_NOTIFY: {
        const auto* e = reinterpret_cast<const xcb_circulate_notify_event_t*>(raw);
        if (e->event != root) break;
        if (e->place == XCB_PLACE_ON_TOP) {
          restack(e->window, std::nullopt);
        } else {
          restack(e->window, XCB_WINDOW_NONE);
        }
        break;
      }
      case XCB_REPARENT_NOTIFY:
        // A window came to the root or left it: its place is read afresh.
        needsResync_ = true;
        break;
      default:
        break;  // damage notices and errors of requests nobody checks
    }
  }
}

const std::vector<SceneWindow>& DesktopScene::refresh() {
  if (!listening_) {
    // From now on the server tells what changes among the root's children, so a frame costs no
    // round trip for the stacking; a resync now and then guards against anything missed.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_.get(), connection_.root(), XCB_CW_EVENT_MASK, &mask);
    listening_ = true;
    needsResync_ = true;
  }
  applyEvents();
  if (needsResync_ || std::chrono::steady_clock::now() >= nextResync_) resync();

  std::vector<xcb_window_t>& viewable = viewable_;
  std::vector<QRect>& outers = outers_;
  viewable.clear();
  outers.clear();
  for (const Node& n : stack_) {
    if (!n.mapped || !n.inputOutput) {
      forgetPixmap(n.window);
      continue;
    }
    if (auto pixmap = pixmaps_.find(n.window);
        pixmap != pixmaps_.end() && pixmap->second.size != n.outer.size()) {
      forgetPixmap(n.window);
    }
    viewable.push_back(n.window);
    outers.push_back(n.outer);
  }

  // Windows gone from the root are forgotten; new ones get their client looked up once.
  for (auto& [window, cached] : cache_) cached.seen = false;
  std::vector<xcb_window_t>& fresh = fresh_;
  fresh.clear();
  for (xcb_window_t window : viewable) {
    auto [entry, inserted] = cache_.try_emplace(window);
    entry->second.seen = true;
    if (inserted) fresh.push_back(window);
  }
  std::erase_if(cache_, [](const auto& entry) { return !entry.second.seen; });
  std::erase_if(pixmaps_, [&](const auto& entry) {
    if (cache_.count(entry.first)) return false;
    xcb_free_pixmap(connection_.get(), entry.second.pixmap);
    return true;
  });

  const auto now = std::chrono::steady_clock::now();
  if (now >= nextFactsRefresh_ || neverCaptureMarkCount() != seenMarks_) {
    seenMarks_ = neverCaptureMarkCount();
    nextFactsRefresh_ = now + kFactsRefreshInterval;
    refreshFacts(viewable);
    const auto root =
        readCardinals(connection_, connection_.root(), connection_.atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP);
    wallpaper_ = root.empty() ? xcb_pixmap_t{XCB_PIXMAP_NONE} : root[0];
    wallpaperSize_ = {};
    if (wallpaper_ != XCB_PIXMAP_NONE) {
      auto geometry = xcbReply(xcb_get_geometry_reply, connection_.get(),
                               xcb_get_geometry(connection_.get(), wallpaper_));
      if (geometry) {
        wallpaperSize_ = QSize(geometry->width, geometry->height);
      } else {
        wallpaper_ = XCB_PIXMAP_NONE;
      }
    }
  } else if (!fresh.empty()) {
    refreshFacts(fresh);
  }

  windows_.clear();
  for (size_t i = 0; i < viewable.size(); ++i) {
    windows_.push_back({viewable[i], outers[i], &cache_[viewable[i]].facts});
  }
  return windows_;
}

void DesktopScene::refreshFacts(const std::vector<xcb_window_t>& topLevels) {
  std::vector<xcb_window_t> clients;
  clients.reserve(topLevels.size());
  for (xcb_window_t topLevel : topLevels) {
    Cached& cached = cache_[topLevel];
    // A client found without WM_STATE may be managed by now: look again.
    if (cached.client == XCB_WINDOW_NONE || cached.client == topLevel) {
      cached.client = findClientWindow(connection_, topLevel);
    }
    clients.push_back(cached.client);
  }
  auto facts = readWindowFacts(connection_, clients);
  for (size_t i = 0; i < topLevels.size(); ++i) cache_[topLevels[i]].facts = std::move(facts[i]);
}

void DesktopScene::forgetPixmap(xcb_window_t topLevel) {
  auto found = pixmaps_.find(topLevel);
  if (found == pixmaps_.end()) return;
  xcb_free_pixmap(connection_.get(), found->second.pixmap);
  pixmaps_.erase(found);
}

std::optional<ShmImage::View> DesktopScene::readWindow(xcb_window_t topLevel, const QRect& outer,
                                                       const QRect& rect, ShmImage& image) {
  if (!redirected_) return std::nullopt;
  // A window that changed size has a new pixmap: the one named before still shows the old size.
  if (auto known = pixmaps_.find(topLevel); known != pixmaps_.end() && known->second.size != outer.size())
    forgetPixmap(topLevel);
  auto& entry = pixmaps_[topLevel];
  if (entry.pixmap == XCB_PIXMAP_NONE) {
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_.get());
    XcbError error(xcb_request_check(
        connection_.get(), xcb_composite_name_window_pixmap_checked(connection_.get(), topLevel, pixmap)));
    if (error) {
      pixmaps_.erase(topLevel);
      return std::nullopt;
    }
    entry = {pixmap, outer.size()};
  }
  const QRect local = rect.translated(-outer.topLeft()) & QRect(QPoint(0, 0), entry.size);
  if (local != rect.translated(-outer.topLeft())) return std::nullopt;
  auto view = image.read(entry.pixmap, local.x(), local.y(), local.width(), local.height());
  if (!view) forgetPixmap(topLevel);
  return view;
}

std::optional<ShmImage::View> DesktopScene::readWallpaper(const QRect& rect, ShmImage& image) {
  if (wallpaper_ == XCB_PIXMAP_NONE || !QRect(QPoint(0, 0), wallpaperSize_).contains(rect))
    return std::nullopt;
  return image.read(wallpaper_, rect.x(), rect.y(), rect.width(), rect.height());
}

}  // namespace tk
