#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <QRect>

#include "platform/x11/XcbConnection.h"

namespace tk {

// Reads rectangles of a window or pixmap as 32-bit pixels (BGRX/BGRA words) through an MIT-SHM
// segment, so the server writes straight into our memory; falls back to a plain GetImage when the
// server offers no shared memory (a remote display). The segment grows when a larger read comes
// and is kept, so steady capture allocates nothing. One thread uses an instance.
class ShmImage {
 public:
  struct View {
    const uint8_t* data = nullptr;
    int bytesPerRow = 0;
    int width = 0;
    int height = 0;
  };

  explicit ShmImage(XcbConnection& connection, bool allowSharedMemory = true);
  ~ShmImage();
  ShmImage(const ShmImage&) = delete;
  ShmImage& operator=(const ShmImage&) = delete;

  // The view stays valid until the next read. Nothing when the drawable is gone or the rectangle
  // lies outside it; `error` then holds the X error when asked.
  std::optional<View> read(xcb_drawable_t drawable, int x, int y, int width, int height,
                           XcbError* error = nullptr);

  // Reads several rectangles in one round trip (shared memory only); the views stay valid until
  // the next read. Nothing when any read fails.
  std::optional<std::vector<View>> readMany(xcb_drawable_t drawable, const std::vector<QRect>& rects);

  bool usesSharedMemory() const { return shmAvailable_; }

 private:
  bool ensureSegment(size_t bytes);
  void releaseSegment();

  XcbConnection& connection_;
  bool shmAvailable_ = false;
  xcb_shm_seg_t segment_ = 0;
  int shmId_ = -1;
  uint8_t* memory_ = nullptr;
  size_t size_ = 0;
  XcbReply<xcb_get_image_reply_t> fallback_;
};

}  // namespace tk
