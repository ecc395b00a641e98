#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <xcb/xfixes.h>

#include <QRect>
#include <QRegion>

#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "platform/qt/SerialQueue.h"
#include "platform/x11/CaptureSource.h"
#include "platform/x11/StreamConfiguration.h"

namespace tk {

class XcbConnection;
class ShmImage;
class DesktopScene;
struct SceneWindow;
class ScreenDamage;

// A stream of video frames of an X11 display, area or windows, paced on the monotonic clock at the
// configuration's frame interval and delivered one at a time on its own thread ("ScreenCapture").
// The display path grabs the root through MIT-SHM and repaints only where something must be left
// out (from the Composite pixmaps of the windows beneath); the window paths paint windows from
// their Composite pixmaps. Frames come from a pool: nothing is allocated per frame in steady state.
// A pooled frame that comes back still holds the picture it was given, so the display path
// re-reads only what the server reports as drawn since then (X DAMAGE): consumers must treat
// delivered frames as read-only.
//
// The stream stops by itself when the captured window is destroyed, the captured monitor goes
// away or the X connection breaks; it then calls the stop handler once, on its thread. A followed
// window that closes or leaves the screen (minimised, hidden) is reported on its thread, once each
// time it goes, before the stop it may cause. A client that closes a window unmaps it first, so a
// window that is unmapped without being minimised is told only once it is still there a while
// later; one told as off the screen and then destroyed is told again, as closed, and said to be
// the same leaving (`wasAway`).
class X11CaptureStream {
 public:
  using FrameHandler = std::function<void(const SampleBuffer&)>;
  using StopHandler = std::function<void(const std::string& reason)>;
  // The client id of the window, whether it was closed (else only taken off the screen), and whether
  // it was told as off the screen before it closed, without coming back.
  using WindowGoneHandler = std::function<void(uint32_t window, bool closed, bool wasAway)>;

  // Main thread (or any one owner thread) for the constructor, start, stop and the destructor.
  X11CaptureStream(CaptureSource source, StreamConfiguration configuration, FrameHandler frameHandler,
                   StopHandler stopHandler);
  ~X11CaptureStream();
  X11CaptureStream(const X11CaptureStream&) = delete;
  X11CaptureStream& operator=(const X11CaptureStream&) = delete;

  // Before start().
  void setWindowGoneHandler(WindowGoneHandler handler) { windowGoneHandler_ = std::move(handler); }

  // Connects and starts the frame timer. Throws tk::PlatformError when the display cannot be
  // reached or its pixel format is not 32 bits a pixel.
  void start();
  // No handler runs after it returns. Idempotent; must not be called from a handler.
  void stop();

  // Any thread; takes effect from the next frame.
  void updateConfiguration(const StreamConfiguration& configuration);
  StreamConfiguration configuration() const;

  uint64_t deliveredFrames() const { return delivered_.load(); }
  bool usesSharedMemory() const { return usesShm_.load(); }

 private:
  // A followed window off the screen: since when, and what has been told of it.
  struct Away {
    uint32_t window = 0;
    int64_t sinceNs = 0;
    bool toldAway = false;
    bool toldClosed = false;
  };

  void tick();
  void stopWith(const std::string& reason);
  void followWindows();
  // The verdict on a followed window off the screen, once its facts are known.
  void judgeAway(uint32_t window, bool exists, bool minimised);
  // Its entry, made when it first goes.
  Away& awayEntry(uint32_t window);
  void tellGone(uint32_t window, bool closed);
  bool checkDisplayStillThere();
  std::optional<QRect> contentRect();
  bool composeDisplay(PixelBuffer& target, const QRect& content);
  bool composeWindows(PixelBuffer& target, const QRect& content);
  bool composeSingleWindow(PixelBuffer& target, const QRect& content);
  // What each window shows of itself on screen, in root coordinates: its bounding shape (an
  // overlay cut to the pixels it draws, on a desktop without a compositor), else its rectangle.
  // Its Composite pixmap holds the whole rectangle, whatever the shape leaves out.
  std::vector<QRegion> visibleShapes(const std::vector<const SceneWindow*>& windows);
  void paintWindowPart(PixelBuffer& target, const QRect& content, xcb_window_t topLevel, const QRect& outer,
                       const QRegion& clip);
  void paintBackground(PixelBuffer& target, const QRect& content, const QRegion& region, bool wallpaper);
  // Returns the root rectangle the cursor covers (empty when none was drawn).
  QRect drawCursor(PixelBuffer& target, const QRect& content, xcb_xfixes_get_cursor_image_cookie_t cookie);
  QRegion staleRegion(const PixelBuffer& target, const QRect& content);
  bool readRoot(PixelBuffer& target, const QRect& content, const QRegion& stale);
  std::shared_ptr<PixelBuffer> outputBuffer(QSize size);

  CaptureSource source_;
  FrameHandler frameHandler_;
  StopHandler stopHandler_;
  WindowGoneHandler windowGoneHandler_;

  mutable std::mutex configurationMutex_;
  StreamConfiguration configuration_;
  bool configurationChanged_ = true;

  // Capture thread only, after start().
  StreamConfiguration active_;
  std::unique_ptr<XcbConnection> connection_;
  std::unique_ptr<ShmImage> rootImage_;
  std::unique_ptr<ShmImage> scratchImage_;
  std::unique_ptr<DesktopScene> scene_;
  std::unique_ptr<ScreenDamage> damage_;
  // What each pooled buffer shows: the frame it was last filled for, the area, and the parts that
  // are not the screen's pixels (repaints, the cursor).
  struct BufferState {
    int64_t frame = 0;
    QRect content;
    QRegion notScreen;
  };
  std::unordered_map<const uint8_t*, BufferState> bufferStates_;
  std::deque<std::pair<int64_t, QRegion>> damageHistory_;
  int64_t frameNumber_ = 0;
  QRegion frameNotScreen_;
  std::unique_ptr<PixelBufferPool> pool_;
  std::shared_ptr<PixelBuffer> contentBuffer_;
  bool cursorAvailable_ = false;
  int64_t ticks_ = 0;
  int64_t nextDisplayCheck_ = 0;
  xcb_window_t singleTopLevel_ = 0;
  bool ended_ = false;
  std::vector<Away> away_;  // followed windows off the screen now

  std::atomic<uint64_t> delivered_{0};
  std::atomic<bool> usesShm_{false};
  std::unique_ptr<SerialQueue> queue_;
  SerialQueue::TimerId timer_ = 0;
};

}  // namespace tk
