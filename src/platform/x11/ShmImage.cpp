#include "platform/x11/ShmImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace tk {

ShmImage::ShmImage(XcbConnection& connection, bool allowSharedMemory) : connection_(connection) {
  if (allowSharedMemory && connection.hasExtension(&xcb_shm_id)) {
    auto version =
        xcbReply(xcb_shm_query_version_reply, connection.get(), xcb_shm_query_version(connection.get()));
    shmAvailable_ = version != nullptr;
  }
}

ShmImage::~ShmImage() {
  releaseSegment();
}

void ShmImage::releaseSegment() {
  if (!memory_) return;
  if (!connection_.hasError()) {
    XcbError ignored(
        xcb_request_check(connection_.get(), xcb_shm_detach_checked(connection_.get(), segment_)));
  }
  shmdt(memory_);
  memory_ = nullptr;
  size_ = 0;
}

bool ShmImage::ensureSegment(size_t bytes) {
  if (memory_ && size_ >= bytes) return true;
  releaseSegment();
  shmId_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (shmId_ < 0) return false;
  void* attached = shmat(shmId_, nullptr, 0);
  if (attached == reinterpret_cast<void*>(-1)) {
    shmctl(shmId_, IPC_RMID, nullptr);
    return false;
  }
  segment_ = xcb_generate_id(connection_.get());
  XcbError error(xcb_request_check(
      connection_.get(),
      xcb_shm_attach_checked(connection_.get(), segment_, static_cast<uint32_t>(shmId_), 0)));
  // Once the server holds it the id can go: the segment then lives exactly as long as both
  // attachments, also if we crash.
  shmctl(shmId_, IPC_RMID, nullptr);
  if (error) {
    shmdt(attached);
    return false;
  }
  memory_ = static_cast<uint8_t*>(attached);
  size_ = bytes;
  return true;
}

std::optional<ShmImage::View> ShmImage::read(xcb_drawable_t drawable, int x, int y, int width, int height,
                                             XcbError* error) {
  if (width <= 0 || height <= 0) return std::nullopt;
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  if (shmAvailable_ && ensureSegment(bytes)) {
    auto reply = xcbReply(
        xcb_shm_get_image_reply, connection_.get(),
        xcb_shm_get_image(connection_.get(), drawable, static_cast<int16_t>(x), static_cast<int16_t>(y),
                          static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
        error);
    if (!reply) return std::nullopt;
    return View{memory_, width * 4, width, height};
  }
  fallback_ = xcbReply(xcb_get_image_reply, connection_.get(),
                       xcb_get_image(connection_.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, drawable,
                                     static_cast<int16_t>(x), static_cast<int16_t>(y),
                                     static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u),
                       error);
  if (!fallback_ || static_cast<size_t>(xcb_get_image_data_length(fallback_.get())) < bytes)
    return std::nullopt;
  return View{xcb_get_image_data(fallback_.get()), width * 4, width, height};
}

std::optional<std::vector<ShmImage::View>> ShmImage::readMany(xcb_drawable_t drawable,
                                                              const std::vector<QRect>& rects) {
  size_t total = 0;
  for (const QRect& rect : rects) total += static_cast<size_t>(rect.width()) * rect.height() * 4;
  if (!shmAvailable_ || total == 0 || !ensureSegment(total)) return std::nullopt;
  std::vector<xcb_shm_get_image_cookie_t> cookies;
  cookies.reserve(rects.size());
  size_t offset = 0;
  for (const QRect& rect : rects) {
    cookies.push_back(xcb_shm_get_image(connection_.get(), drawable, static_cast<int16_t>(rect.x()),
                                        static_cast<int16_t>(rect.y()), static_cast<uint16_t>(rect.width()),
                                        static_cast<uint16_t>(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                        segment_, static_cast<uint32_t>(offset)));
    offset += static_cast<size_t>(rect.width()) * rect.height() * 4;
  }
  std::vector<View> views;
  views.reserve(rects.size());
  bool failed = false;
  offset = 0;
  for (size_t i = 0; i < rects.size(); ++i) {
    // Every reply is read, also after a failure, so none is left behind in the connection.
    auto reply = xcbReply(xcb_shm_get_image_reply, connection_.get(), cookies[i]);
    failed = failed || !reply;
    views.push_back(View{memory_ + offset, rects[i].width() * 4, rects[i].width(), rects[i].height()});
    offset += static_cast<size_t>(rects[i].width()) * rects[i].height() * 4;
  }
  if (failed) return std::nullopt;
  return views;
}

}  // namespace tk
