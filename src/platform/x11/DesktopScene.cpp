#include "platform/x11/DesktopScene.h"

#include <xcb/composite.h>

#include "platform/x11/NeverCapture.h"

namespace tk {

namespace {
constexpr std::chrono::seconds kFactsRefreshInterval{1};
}

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
    xcb_composite_unredirect_subwindows(connection_.get(), connection_.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
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

const std::vector<SceneWindow>& DesktopScene::refresh() {
  const std::vector<xcb_window_t> children = rootChildren(connection_);
  std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
  std::vector<xcb_get_geometry_cookie_t> geometryCookies;
  attributeCookies.reserve(children.size());
  geometryCookies.reserve(children.size());
  for (xcb_window_t child : children) {
    attributeCookies.push_back(xcb_get_window_attributes(connection_.get(), child));
    geometryCookies.push_back(xcb_get_geometry(connection_.get(), child));
  }

  std::vector<xcb_window_t> viewable;
  std::vector<QRect> outers;
  for (size_t i = 0; i < children.size(); ++i) {
    auto attributes = xcbReply(xcb_get_window_attributes_reply, connection_.get(), attributeCookies[i]);
    auto geometry = xcbReply(xcb_get_geometry_reply, connection_.get(), geometryCookies[i]);
    const bool shown = attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                       attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT;
    if (!shown) {
      forgetPixmap(children[i]);
      continue;
    }
    const int border = geometry->border_width;
    const QRect outer(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
    if (auto pixmap = pixmaps_.find(children[i]); pixmap != pixmaps_.end() && pixmap->second.size != outer.size()) {
      forgetPixmap(children[i]);
    }
    viewable.push_back(children[i]);
    outers.push_back(outer);
  }

  // Windows gone from the root are forgotten; new ones get their client looked up once.
  for (auto& [window, cached] : cache_) cached.seen = false;
  std::vector<xcb_window_t> fresh;
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
    const auto root = readCardinals(connection_, connection_.root(), connection_.atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP);
    wallpaper_ = root.empty() ? xcb_pixmap_t{XCB_PIXMAP_NONE} : root[0];
    wallpaperSize_ = {};
    if (wallpaper_ != XCB_PIXMAP_NONE) {
      auto geometry = xcbReply(xcb_get_geometry_reply, connection_.get(), xcb_get_geometry(connection_.get(), wallpaper_));
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

std::optional<ShmImage::View> DesktopScene::readWindow(xcb_window_t topLevel, const QRect& outer, const QRect& rect,
                                                       ShmImage& image) {
  if (!redirected_) return std::nullopt;
  auto& entry = pixmaps_[topLevel];
  if (entry.pixmap == XCB_PIXMAP_NONE) {
    const xcb_pixmap_t pixmap = xcb_generate_id(connection_.get());
    XcbError error(xcb_request_check(connection_.get(),
                                     xcb_composite_name_window_pixmap_checked(connection_.get(), topLevel, pixmap)));
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
  if (wallpaper_ == XCB_PIXMAP_NONE || !QRect(QPoint(0, 0), wallpaperSize_).contains(rect)) return std::nullopt;
  return image.read(wallpaper_, rect.x(), rect.y(), rect.width(), rect.height());
}

}  // namespace tk
