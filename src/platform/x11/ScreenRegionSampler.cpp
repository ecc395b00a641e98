#include "platform/x11/ScreenRegionSampler.h"

#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <QPainter>
#include <algorithm>
#include <set>

#include "platform/x11/XcbConnection.h"

namespace tk {

ScreenRegionSampler::ScreenRegionSampler(std::unique_ptr<XcbConnection> connection)
    : connection_(std::move(connection)) {}

ScreenRegionSampler::~ScreenRegionSampler() {
  xcb_composite_unredirect_subwindows(connection_->get(), connection_->root(),
                                      XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  connection_->flush();
}

std::unique_ptr<ScreenRegionSampler> ScreenRegionSampler::open(std::string* error) {
  std::unique_ptr<XcbConnection> connection;
  try {
    connection = XcbConnection::open();
  } catch (const std::exception& failure) {
    if (error) *error = failure.what();
    return nullptr;
  }
  xcb_connection_t* c = connection->get();
  if (!connection->hasExtension(&xcb_composite_id)) {
    if (error) *error = "the X server has no Composite extension";
    return nullptr;
  }
  auto version = xcbReply(xcb_composite_query_version_reply, c, xcb_composite_query_version(c, 0, 4));
  if (!version) {
    if (error) *error = "the X server refused the Composite version query";
    return nullptr;
  }
  // Automatic redirection keeps the screen as it was while giving every top-level window pixels
  // of its own; it ends with this connection.
  xcb_composite_redirect_subwindows(c, connection->root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
  connection->flush();
  return std::unique_ptr<ScreenRegionSampler>(new ScreenRegionSampler(std::move(connection)));
}

uint32_t ScreenRegionSampler::topLevelOf(uint32_t window) {
  xcb_connection_t* c = connection_->get();
  for (int depth = 0; depth < 16; ++depth) {
    auto tree = xcbReply(xcb_query_tree_reply, c, xcb_query_tree(c, window));
    if (!tree) return XCB_NONE;
    if (tree->parent == connection_->root() || tree->parent == XCB_NONE) return window;
    window = tree->parent;
  }
  return XCB_NONE;
}

std::optional<QImage> ScreenRegionSampler::sample(const QRect& region,
                                                  const std::vector<uint32_t>& excluded) {
  xcb_connection_t* c = connection_->get();
  const xcb_window_t root = connection_->root();
  std::set<uint32_t> leftOut;
  for (uint32_t window : excluded) leftOut.insert(topLevelOf(window));

  auto tree = xcbReply(xcb_query_tree_reply, c, xcb_query_tree(c, root));
  if (!tree) return std::nullopt;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  const int count = xcb_query_tree_children_length(tree.get());

  // Ask for every window's state and place at once, then read the answers.
  std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
  std::vector<xcb_get_geometry_cookie_t> geometryCookies;
  for (int i = 0; i < count; ++i) {
    attributeCookies.push_back(xcb_get_window_attributes(c, children[i]));
    geometryCookies.push_back(xcb_get_geometry(c, children[i]));
  }
  struct Piece {
    xcb_window_t window;
    QRect onScreen;  // the part of the region this window covers, root coordinates
    QPoint windowOrigin;
    uint8_t depth;
  };
  std::vector<Piece> pieces;
  for (int i = 0; i < count; ++i) {
    auto attributes = xcbReply(xcb_get_window_attributes_reply, c, attributeCookies[size_t(i)]);
    auto geometry = xcbReply(xcb_get_geometry_reply, c, geometryCookies[size_t(i)]);
    if (!attributes || !geometry) continue;
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT || leftOut.count(children[i])) {
      continue;
    }
    if (geometry->depth != 24 && geometry->depth != 32) continue;
    const QPoint origin(geometry->x + geometry->border_width, geometry->y + geometry->border_width);
    const QRect bounds(origin, QSize(geometry->width, geometry->height));
    const QRect covered = bounds.intersected(region);
    if (covered.isEmpty()) continue;
    pieces.push_back({children[i], covered, origin, geometry->depth});
  }

  std::vector<xcb_get_image_cookie_t> imageCookies;
  for (const Piece& piece : pieces) {
    const QRect local = piece.onScreen.translated(-piece.windowOrigin);
    imageCookies.push_back(xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, piece.window,
                                         int16_t(local.x()), int16_t(local.y()),
                                         uint16_t(local.width()), uint16_t(local.height()),
                                         ~0u));
  }
  QImage result(region.size(), QImage::Format_RGB32);
  result.fill(Qt::black);
  QPainter painter(&result);
  for (size_t i = 0; i < pieces.size(); ++i) {
    auto image = xcbReply(xcb_get_image_reply, c, imageCookies[i]);
    if (!image) continue;  // the window went away between the two requests
    const QRect& covered = pieces[i].onScreen;
    const int stride = covered.width() * 4;
    if (xcb_get_image_data_length(image.get()) < stride * covered.height()) continue;
    const QImage piece(xcb_get_image_data(image.get()), covered.width(), covered.height(), stride,
                       pieces[i].depth == 32 ? QImage::Format_ARGB32_Premultiplied
                                             : QImage::Format_RGB32);
    painter.drawImage(covered.topLeft() - region.topLeft(), piece);
  }
  painter.end();
  // Depth-24 windows leave the pad byte at zero; the picture is opaque whatever it holds.
  for (int y = 0; y < result.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x) row[x] |= 0xff000000u;
  }
  return result;
}

}  // namespace tk
