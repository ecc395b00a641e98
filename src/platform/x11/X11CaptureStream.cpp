#include "platform/x11/X11CaptureStream.h"

#include <algorithm>
#include <utility>

#include <xcb/shape.h>
#include <xcb/xfixes.h>

#include "platform/media/Error.h"
#include "platform/media/MonotonicClock.h"
#include "platform/x11/DesktopScene.h"
#include "platform/x11/NeverCapture.h"
#include "platform/x11/PixelOps.h"
#include "platform/x11/ScreenDamage.h"
#include "platform/x11/ShmImage.h"
#include "platform/x11/SystemCursor.h"
#include "platform/x11/X11ShareableContent.h"
#include "platform/x11/XcbConnection.h"

namespace tk {

namespace {

std::chrono::nanoseconds intervalOf(const StreamConfiguration& configuration) {
  const MediaTime interval = configuration.minimumFrameInterval;
  const int64_t nanoseconds = interval.isValid() ? interval.nanoseconds() : 0;
  return std::chrono::nanoseconds(nanoseconds > 0 ? nanoseconds : 1'000'000'000 / 60);
}

// ICCCM's WM_STATE of a window the window manager has minimised.
constexpr uint32_t kIconicState = 3;

// How long a followed window that was unmapped without being minimised must stay in being before
// it is told as off the screen: a client that closes a window unmaps it just before destroying it.
constexpr int64_t kUnmappedVerdictNs = 1'000'000'000;

bool neverCaptured(const X11WindowFacts& facts) {
  return facts.neverCapture;
}

void checkPixelFormat(XcbConnection& connection) {
  const uint8_t depth = connection.screen()->root_depth;
  const xcb_setup_t* setup = xcb_get_setup(connection.get());
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
    if (it.data->depth == depth && it.data->bits_per_pixel == 32 && (depth == 24 || depth == 32)) return;
  }
  throw PlatformError("X11", -2,
                      "The X display uses " + std::to_string(depth) +
                          "-bit colour; screen capture needs a 24- or 32-bit display");
}

}  // namespace

X11CaptureStream::X11CaptureStream(CaptureSource source, StreamConfiguration configuration,
                                   FrameHandler frameHandler, StopHandler stopHandler)
    : source_(std::move(source)),
      frameHandler_(std::move(frameHandler)),
      stopHandler_(std::move(stopHandler)),
      configuration_(std::move(configuration)) {}

X11CaptureStream::~X11CaptureStream() {
  stop();
}

void X11CaptureStream::start() {
  if (queue_) return;
  connection_ = XcbConnection::open();
  checkPixelFormat(*connection_);
  rootImage_ = std::make_unique<ShmImage>(*connection_);
  scratchImage_ = std::make_unique<ShmImage>(*connection_);
  usesShm_ = rootImage_->usesSharedMemory();
  scene_ = std::make_unique<DesktopScene>(*connection_);
  if (source_.kind == CaptureSource::Kind::display && rootImage_->usesSharedMemory()) {
    damage_ = std::make_unique<ScreenDamage>(*connection_);
    if (!damage_->available()) damage_.reset();
  }
  if (source_.kind != CaptureSource::Kind::display && !scene_->redirect()) {
    throw PlatformError("X11", -3, "The X server has no Composite extension, which window capture needs");
  }
  if (source_.kind == CaptureSource::Kind::singleWindow) {
    XcbError error;
    auto geometry = xcbReply(xcb_get_geometry_reply, connection_->get(),
                             xcb_get_geometry(connection_->get(), source_.window), &error);
    if (!geometry)
      throw PlatformError("X11", error ? error->error_code : -1, "The window to capture no longer exists");
  }
  if (connection_->hasExtension(&xcb_xfixes_id)) {
    cursorAvailable_ = xcbReply(xcb_xfixes_query_version_reply, connection_->get(),
                                xcb_xfixes_query_version(connection_->get(), 4, 0)) != nullptr;
  }
  std::chrono::nanoseconds interval;
  {
    std::lock_guard lock(configurationMutex_);
    interval = intervalOf(configuration_);
  }
  queue_ = std::make_unique<SerialQueue>("ScreenCapture");
  timer_ = queue_->startTimer(interval, [this](int64_t) { tick(); });
}

void X11CaptureStream::stop() {
  if (!queue_) return;
  queue_->cancelTimer(timer_);
  queue_->stop();
  // The capture thread has ended: what it used can go on this thread.
  damage_.reset();
  scene_.reset();
  rootImage_.reset();
  scratchImage_.reset();
  pool_.reset();
  connection_.reset();
  queue_.reset();
}

void X11CaptureStream::updateConfiguration(const StreamConfiguration& configuration) {
  bool intervalChanged = false;
  {
    std::lock_guard lock(configurationMutex_);
    intervalChanged = intervalOf(configuration) != intervalOf(configuration_);
    configuration_ = configuration;
    configurationChanged_ = true;
  }
  if (intervalChanged && queue_ && !queue_->isCurrent()) {
    queue_->cancelTimer(timer_);
    timer_ = queue_->startTimer(intervalOf(configuration), [this](int64_t) { tick(); });
  }
}

StreamConfiguration X11CaptureStream::configuration() const {
  std::lock_guard lock(configurationMutex_);
  return configuration_;
}

void X11CaptureStream::stopWith(const std::string& reason) {
  if (ended_) return;
  ended_ = true;
  queue_->cancelTimer(timer_);
  if (stopHandler_) stopHandler_(reason);
}

void X11CaptureStream::followWindows() {
  const auto& windows = scene_->refresh();
  xcb_connection_t* c = connection_->get();
  const xcb_atom_t wmState = connection_->atom("WM_STATE");
  struct Question {
    uint32_t window;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_property_cookie_t state;
  };
  std::vector<Question> questions;
  for (const uint32_t followed : source_.followed) {
    const bool shown = std::any_of(windows.begin(), windows.end(), [followed](const SceneWindow& window) {
      return window.facts && window.facts->client == followed;
    });
    if (shown) {
      // Back on the screen: its next leaving is told again.
      std::erase_if(away_, [followed](const Away& away) { return away.window == followed; });
      continue;
    }
    if (awayEntry(followed).toldClosed) continue;
    // Off the screen: closed when the server no longer knows it, minimised when the window manager
    // says it is iconic. All questions first, so their round trips overlap.
    questions.push_back({followed, xcb_get_window_attributes(c, followed),
                         xcb_get_property(c, 0, followed, wmState, wmState, 0, 1)});
  }
  for (const Question& question : questions) {
    auto attributes = xcbReply(xcb_get_window_attributes_reply, c, question.attributes);
    auto state = xcbReply(xcb_get_property_reply, c, question.state);
    if (connection_->hasError()) return;
    const bool iconic = state && state->format == 32 && xcb_get_property_value_length(state.get()) >= 4 &&
                        *static_cast<const uint32_t*>(xcb_get_property_value(state.get())) == kIconicState;
    judgeAway(question.window, attributes != nullptr, iconic);
  }
}

X11CaptureStream::Away& X11CaptureStream::awayEntry(uint32_t window) {
  auto it =
      std::find_if(away_.begin(), away_.end(), [window](const Away& away) { return away.window == window; });
  if (it != away_.end()) return *it;
  return away_.emplace_back(Away{window, MonotonicClock::nowNanoseconds()});
}

void X11CaptureStream::judgeAway(uint32_t window, bool exists, bool minimised) {
  if (!exists) {
    tellGone(window, true);
    return;
  }
  // Unmapped but neither minimised nor destroyed: its client may be closing it, or hiding it.
  const Away& away = awayEntry(window);
  if (minimised || MonotonicClock::nowNanoseconds() - away.sinceNs >= kUnmappedVerdictNs)
    tellGone(window, false);
}

void X11CaptureStream::tellGone(uint32_t window, bool closed) {
  Away& away = awayEntry(window);
  if (away.toldClosed || (away.toldAway && !closed)) return;
  const bool wasAway = std::exchange(away.toldAway, true);
  away.toldClosed = closed;
  if (windowGoneHandler_) windowGoneHandler_(window, closed, wasAway);
}

bool X11CaptureStream::checkDisplayStillThere() {
  if (source_.kind == CaptureSource::Kind::singleWindow || source_.displayID == 0) return true;
  for (const auto& display : queryDisplays(*connection_)) {
    if (display.displayID == source_.displayID) return true;
  }
  stopWith("The captured display was disconnected");
  return false;
}

std::optional<QRect> X11CaptureStream::contentRect() {
  QRect base = source_.displayFrame;
  if (source_.kind == CaptureSource::Kind::singleWindow) {
    XcbError error;
    auto geometryCookie = xcb_get_geometry(connection_->get(), source_.window);
    auto originCookie =
        xcb_translate_coordinates(connection_->get(), source_.window, connection_->root(), 0, 0);
    auto geometry = xcbReply(xcb_get_geometry_reply, connection_->get(), geometryCookie, &error);
    auto origin = xcbReply(xcb_translate_coordinates_reply, connection_->get(), originCookie);
    if (!geometry || !origin) {
      if (connection_->hasError()) {
        stopWith("The connection to the X server broke");
      } else {
        tellGone(source_.window, true);
        stopWith("The captured window was closed");
      }
      return std::nullopt;
    }
    base = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
  }
  const QRectF source = active_.sourceRect;
  if (source.isEmpty()) return base;
  const QRect area = QRectF(source.translated(base.topLeft())).toAlignedRect() & base;
  return area;
}

void X11CaptureStream::tick() {
  if (ended_) return;
  if (connection_->hasError()) {
    stopWith("The connection to the X server broke");
    return;
  }
  {
    std::lock_guard lock(configurationMutex_);
    if (configurationChanged_) {
      active_ = configuration_;
      configurationChanged_ = false;
    }
  }
  if (ticks_++ >= nextDisplayCheck_) {
    nextDisplayCheck_ = ticks_ + std::max<int64_t>(1, 1'000'000'000 / intervalOf(active_).count());
    if (!checkDisplayStillThere()) return;
  }
  // Questions whose answers are needed later go out first, so their round trips overlap.
  const bool cursorWanted = active_.showsCursor && cursorAvailable_ && !SystemCursor::isHidden();
  std::optional<xcb_xfixes_get_cursor_image_cookie_t> cursorCookie;
  if (cursorWanted) cursorCookie = xcb_xfixes_get_cursor_image(connection_->get());
  if (damage_) damage_->request();
  if (!source_.followed.empty() && source_.kind != CaptureSource::Kind::display) followWindows();
  const int64_t grabTime = MonotonicClock::nowNanoseconds();
  const std::optional<QRect> content = contentRect();
  if (!content || content->isEmpty()) {
    if (cursorCookie && !ended_) xcb_discard_reply(connection_->get(), cursorCookie->sequence);
    return;
  }

  const QSize outputSize =
      active_.width > 0 && active_.height > 0 ? QSize(active_.width, active_.height) : content->size();
  std::shared_ptr<PixelBuffer> output = outputBuffer(outputSize);
  const bool direct = outputSize == content->size();
  if (!direct && (!contentBuffer_ || contentBuffer_->width() != content->width() ||
                  contentBuffer_->height() != content->height())) {
    contentBuffer_ = PixelBuffer::create(content->width(), content->height());
    bufferStates_.clear();
  }
  PixelBuffer& canvas = direct ? *output : *contentBuffer_;

  bool composed = false;
  switch (source_.kind) {
    case CaptureSource::Kind::display:
      composed = composeDisplay(canvas, *content);
      break;
    case CaptureSource::Kind::windows:
      composed = composeWindows(canvas, *content);
      break;
    case CaptureSource::Kind::singleWindow:
      composed = composeSingleWindow(canvas, *content);
      break;
  }
  if (!composed) {
    if (cursorCookie) xcb_discard_reply(connection_->get(), cursorCookie->sequence);
    if (connection_->hasError()) stopWith("The connection to the X server broke");
    return;
  }
  if (cursorCookie) frameNotScreen_ += drawCursor(canvas, *content, *cursorCookie);
  if (source_.kind == CaptureSource::Kind::display && damage_) {
    if (bufferStates_.size() > 32) bufferStates_.clear();
    bufferStates_[canvas.data()] = {frameNumber_, *content, frameNotScreen_};
  }

  FrameAttachments attachments;
  attachments.status = FrameStatus::complete;
  attachments.scaleFactor = 1.0;
  QRect placed(QPoint(0, 0), outputSize);
  double contentScale = 1.0;
  if (!direct) {
    if (active_.scalesToFit) {
      placed = pixelops::aspectFit(content->size(), placed);
      pixelops::fillRect(*output, QRect(QPoint(0, 0), outputSize), active_.background());
      contentScale = static_cast<double>(placed.width()) / content->width();
    }
    pixelops::scale(*contentBuffer_, QRect(QPoint(0, 0), content->size()), *output, placed);
  }
  attachments.contentScale = contentScale;
  attachments.contentRect =
      FrameRect{static_cast<double>(placed.x()), static_cast<double>(placed.y()),
                static_cast<double>(placed.width()), static_cast<double>(placed.height())};

  SampleBuffer sample = SampleBuffer::video(std::move(output), MediaTime::fromNanoseconds(grabTime),
                                            MediaTime::fromNanoseconds(intervalOf(active_).count()));
  sample.setAttachments(attachments);
  ++delivered_;
  if (frameHandler_) frameHandler_(sample);
}

std::shared_ptr<PixelBuffer> X11CaptureStream::outputBuffer(QSize size) {
  if (!pool_ || pool_->width() != size.width() || pool_->height() != size.height()) {
    pool_ = std::make_unique<PixelBufferPool>(size.width(), size.height(),
                                              static_cast<size_t>(std::max(1, active_.queueDepth)) + 2);
    bufferStates_.clear();
  }
  const size_t allocations = pool_->allocationCount();
  auto buffer = pool_->acquire();
  // New memory may sit where a buffer we knew once was: it holds no picture yet.
  if (buffer && pool_->allocationCount() != allocations) bufferStates_.erase(buffer->data());
  return buffer;
}

QRegion X11CaptureStream::staleRegion(const PixelBuffer& target, const QRect& content) {
  ++frameNumber_;
  std::optional<QRegion> drawn = damage_ ? damage_->take() : std::nullopt;
  if (!drawn) {
    damageHistory_.clear();
    return QRegion(content);
  }
  damageHistory_.emplace_back(frameNumber_, *drawn);
  if (damageHistory_.size() > 16) damageHistory_.pop_front();
  const auto state = bufferStates_.find(target.data());
  if (state == bufferStates_.end() || state->second.content != content ||
      damageHistory_.front().first > state->second.frame + 1) {
    return QRegion(content);
  }
  QRegion stale = state->second.notScreen;
  for (const auto& [frame, region] : damageHistory_) {
    if (frame > state->second.frame) stale += region;
  }
  return stale & content;
}

bool X11CaptureStream::readRoot(PixelBuffer& target, const QRect& content, const QRegion& stale) {
  if (stale.isEmpty()) return true;
  if (stale != QRegion(content)) {
    std::vector<QRect> rects(stale.begin(), stale.end());
    // Many small pieces cost more in requests than one larger read.
    if (rects.size() > 64) rects = {stale.boundingRect()};
    if (auto views = rootImage_->readMany(connection_->root(), rects)) {
      for (size_t i = 0; i < rects.size(); ++i) {
        pixelops::copyOpaque(target, rects[i].topLeft() - content.topLeft(), (*views)[i].data,
                             (*views)[i].bytesPerRow, rects[i].size());
      }
      return true;
    }
  }
  auto view =
      rootImage_->read(connection_->root(), content.x(), content.y(), content.width(), content.height());
  if (!view) return false;
  pixelops::copyOpaque(target, QPoint(0, 0), view->data, view->bytesPerRow, content.size());
  return true;
}

bool X11CaptureStream::composeDisplay(PixelBuffer& target, const QRect& content) {
  if (!readRoot(target, content, staleRegion(target, content))) return false;
  // The window list is brought up to date after the grab: the server sends its notices of what
  // happened before the grab ahead of the grab's reply, so a window that appeared in the grabbed
  // picture is known here and can be painted over.
  const auto& windows = scene_->refresh();
  auto drawn = [&](const SceneWindow& window) {
    const X11WindowFacts& facts = *window.facts;
    if (neverCaptured(facts)) return false;
    return !(source_.excluded.matches(facts) && !source_.kept.matches(facts));
  };

  // What the root grab shows wrongly: the visible parts of windows left out and, without the
  // wallpaper, the bare root. A window covers only its shape: beneath an overlay cut to what it
  // draws, a window left out shows through on the screen and is repainted here too.
  QRegion leftOut = source_.drawsWallpaper ? QRegion() : QRegion(content);
  for (const SceneWindow& window : windows)
    if (!drawn(window)) leftOut += window.outer;
  leftOut &= content;
  if (leftOut.isEmpty()) {
    frameNotScreen_ = QRegion();
    return true;
  }
  std::vector<const SceneWindow*> overlapping;
  for (const SceneWindow& window : windows)
    if (leftOut.intersects(window.outer)) overlapping.push_back(&window);
  const std::vector<QRegion> shapes = visibleShapes(overlapping);

  QRegion covered;
  QRegion repaint;
  for (size_t i = overlapping.size(); i-- > 0;) {
    if (!drawn(*overlapping[i])) repaint += shapes[i] - covered;
    covered += shapes[i];
  }
  if (!source_.drawsWallpaper) repaint += QRegion(content) - covered;
  repaint &= content;

  frameNotScreen_ = repaint;
  if (repaint.isEmpty()) return true;

  scene_->redirect();
  paintBackground(target, content, repaint, source_.drawsWallpaper);
  for (size_t i = 0; i < overlapping.size(); ++i) {
    if (!drawn(*overlapping[i])) continue;
    const QRegion part = repaint & shapes[i];
    if (!part.isEmpty())
      paintWindowPart(target, content, overlapping[i]->topLevel, overlapping[i]->outer, part);
  }
  return true;
}

std::vector<QRegion> X11CaptureStream::visibleShapes(const std::vector<const SceneWindow*>& windows) {
  std::vector<QRegion> shapes;
  shapes.reserve(windows.size());
  for (const SceneWindow* window : windows) shapes.emplace_back(window->outer);
  xcb_connection_t* c = connection_->get();
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shape_id);
  if (!extension || !extension->present || windows.empty()) return shapes;
  // All questions first, so their round trips overlap.
  std::vector<xcb_shape_get_rectangles_cookie_t> cookies;
  cookies.reserve(windows.size());
  for (const SceneWindow* window : windows)
    cookies.push_back(xcb_shape_get_rectangles(c, window->topLevel, XCB_SHAPE_SK_BOUNDING));
  for (size_t i = 0; i < windows.size(); ++i) {
    auto reply = xcbReply(xcb_shape_get_rectangles_reply, c, cookies[i]);
    if (!reply) continue;  // gone meanwhile: its rectangle, as before
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(reply.get());
    const int count = xcb_shape_get_rectangles_rectangles_length(reply.get());
    QRegion shape;
    for (int r = 0; r < count; ++r) shape += QRect(rects[r].x, rects[r].y, rects[r].width, rects[r].height);
    shapes[i] = shape.translated(windows[i]->outer.topLeft()) & windows[i]->outer;
  }
  return shapes;
}

bool X11CaptureStream::composeWindows(PixelBuffer& target, const QRect& content) {
  const auto& windows = scene_->refresh();
  scene_->redirect();
  paintBackground(target, content, QRegion(content), source_.drawsWallpaper);

  std::vector<const SceneWindow*> chosen;
  std::vector<xcb_get_geometry_cookie_t> geometryCookies;
  std::vector<xcb_translate_coordinates_cookie_t> originCookies;
  for (const SceneWindow& window : windows) {
    const X11WindowFacts& facts = *window.facts;
    if (neverCaptured(facts) || !source_.included.matches(facts) || source_.excluded.matches(facts)) continue;
    if (!window.outer.intersects(content)) continue;
    chosen.push_back(&window);
    geometryCookies.push_back(xcb_get_geometry(connection_->get(), facts.client));
    originCookies.push_back(
        xcb_translate_coordinates(connection_->get(), facts.client, connection_->root(), 0, 0));
  }
  for (size_t i = 0; i < chosen.size(); ++i) {
    auto geometry = xcbReply(xcb_get_geometry_reply, connection_->get(), geometryCookies[i]);
    auto origin = xcbReply(xcb_translate_coordinates_reply, connection_->get(), originCookies[i]);
    if (!geometry || !origin) continue;
    // The client's own area: the window manager's decorations are not part of a window.
    const QRect client(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    const QRegion clip = QRegion(client & chosen[i]->outer) & content;
    if (!clip.isEmpty()) paintWindowPart(target, content, chosen[i]->topLevel, chosen[i]->outer, clip);
  }
  return true;
}

bool X11CaptureStream::composeSingleWindow(PixelBuffer& target, const QRect& content) {
  if (singleTopLevel_ == XCB_WINDOW_NONE || ticks_ % 30 == 0) {
    singleTopLevel_ = topLevelOf(*connection_, source_.window);
    if (singleTopLevel_ == XCB_WINDOW_NONE) return false;
  }
  auto geometry = xcbReply(xcb_get_geometry_reply, connection_->get(),
                           xcb_get_geometry(connection_->get(), singleTopLevel_));
  if (!geometry) {
    singleTopLevel_ = XCB_WINDOW_NONE;
    return false;
  }
  const int border = geometry->border_width;
  const QRect outer(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
  const QRect part = content & outer;
  if (part != content) {
    // The window moved between the two reads; its pixmap is renamed on the next frame.
    scene_->forgetPixmap(singleTopLevel_);
    return false;
  }
  auto view = scene_->readWindow(singleTopLevel_, outer, content, *scratchImage_);
  if (!view) return false;
  pixelops::copyOpaque(target, QPoint(0, 0), view->data, view->bytesPerRow, content.size());
  return true;
}

void X11CaptureStream::paintWindowPart(PixelBuffer& target, const QRect& content, xcb_window_t topLevel,
                                       const QRect& outer, const QRegion& clip) {
  const QRect rect = clip.boundingRect() & outer;
  if (rect.isEmpty()) return;
  auto view = scene_->readWindow(topLevel, outer, rect, *scratchImage_);
  if (!view) return;
  pixelops::copyOpaqueClipped(target, rect.topLeft() - content.topLeft(), view->data, view->bytesPerRow,
                              rect.size(), clip.translated(-content.topLeft()));
}

void X11CaptureStream::paintBackground(PixelBuffer& target, const QRect& content, const QRegion& region,
                                       bool wallpaper) {
  const QRegion local = region.translated(-content.topLeft());
  if (wallpaper) {
    const QRect rect = region.boundingRect();
    if (auto view = scene_->readWallpaper(rect, *scratchImage_)) {
      pixelops::copyOpaqueClipped(target, rect.topLeft() - content.topLeft(), view->data, view->bytesPerRow,
                                  rect.size(), local);
      return;
    }
  }
  pixelops::fillRegion(target, local, active_.background());
}

QRect X11CaptureStream::drawCursor(PixelBuffer& target, const QRect& content,
                                   xcb_xfixes_get_cursor_image_cookie_t cookie) {
  auto cursor = xcbReply(xcb_xfixes_get_cursor_image_reply, connection_->get(), cookie);
  if (!cursor || cursor->width == 0 || cursor->height == 0) return {};
  const QPoint at(cursor->x - cursor->xhot - content.x(), cursor->y - cursor->yhot - content.y());
  pixelops::blendPremultiplied(target, at, xcb_xfixes_get_cursor_image_cursor_image(cursor.get()),
                               QSize(cursor->width, cursor->height));
  return QRect(at + content.topLeft(), QSize(cursor->width, cursor->height));
}

}  // namespace tk
