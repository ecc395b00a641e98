#include "platform/x11/X11CaptureStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "DesktopFixture.h"
#include "platform/x11/NeverCapture.h"
#include "platform/x11/SystemCursor.h"

namespace tk {
namespace {

using test::DesktopFixture;

constexpr uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff;

uint32_t opaque(uint32_t rgb) {
  return 0xff000000u | rgb;
}

// Runs a stream until it delivered `frames` frames (so windows just redirected have settled) and
// returns the last one.
std::shared_ptr<PixelBuffer> captureFrame(const CaptureSource& source, StreamConfiguration configuration,
                                          int frames = 4) {
  std::mutex mutex;
  std::shared_ptr<PixelBuffer> last;
  int count = 0;
  X11CaptureStream stream(
      source, configuration,
      [&](const SampleBuffer& sample) {
        std::lock_guard lock(mutex);
        last = sample.pixelBuffer();
        ++count;
      },
      nullptr);
  stream.start();
  EXPECT_TRUE(test::waitUntil([&] {
    std::lock_guard lock(mutex);
    return count >= frames;
  }));
  stream.stop();
  return last;
}

CaptureSource wholeScreen() {
  CaptureSource source;
  source.displayFrame = QRect(0, 0, 1920, 1080);
  return source;
}

TEST(X11CaptureStreamTest, DisplayFrameShowsWindowsWherePlaced) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.createWindow(QRect(100, 200, 300, 150), kRed, "StreamRed");
  auto frame = captureFrame(wholeScreen(), {});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->width(), 1920);
  EXPECT_EQ(frame->pixel(101, 201), opaque(kRed));
  EXPECT_EQ(frame->pixel(399, 349), opaque(kRed));
  EXPECT_NE(frame->pixel(99, 201), opaque(kRed));
  EXPECT_NE(frame->pixel(101, 351), opaque(kRed));
}

TEST(X11CaptureStreamTest, LaterFramesFollowWhatChangesOnScreen) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(0x445566);
  const xcb_window_t window = desktop.createWindow(QRect(100, 100, 200, 200), kRed, "StreamChanging");
  std::mutex mutex;
  std::shared_ptr<PixelBuffer> last;
  StreamConfiguration configuration;
  configuration.showsCursor = false;
  X11CaptureStream stream(
      wholeScreen(), configuration,
      [&](const SampleBuffer& sample) {
        std::lock_guard lock(mutex);
        last = sample.pixelBuffer();
      },
      nullptr);
  stream.start();
  auto shows = [&](int x, int y, uint32_t argb) {
    return test::waitUntil([&] {
      std::lock_guard lock(mutex);
      return last && last->pixel(x, y) == argb;
    });
  };
  ASSERT_TRUE(shows(150, 150, opaque(kRed)));

  xcb_connection_t* c = desktop.connection().get();
  xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXEL, &kBlue);
  xcb_clear_area(c, 0, window, 0, 0, 0, 0);
  desktop.moveWindow(window, QPoint(400, 100));
  EXPECT_TRUE(shows(450, 150, opaque(kBlue)));
  EXPECT_TRUE(shows(150, 150, opaque(0x445566)));
  // Every pooled frame, not only the newest, must have caught up.
  for (int i = 0; i < 10; ++i) {
    const uint64_t seen = stream.deliveredFrames();
    ASSERT_TRUE(test::waitUntil([&] { return stream.deliveredFrames() > seen; }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(last->pixel(150, 150), opaque(0x445566));
    EXPECT_EQ(last->pixel(450, 150), opaque(kBlue));
  }
  stream.stop();
}

TEST(X11CaptureStreamTest, SourceRectangleCropsExactly) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.createWindow(QRect(300, 300, 100, 100), kGreen, "StreamCrop");
  StreamConfiguration configuration;
  configuration.sourceRect = QRectF(250, 280, 200, 120);
  configuration.width = 200;
  configuration.height = 120;
  auto frame = captureFrame(wholeScreen(), configuration);
  ASSERT_TRUE(frame);
  ASSERT_EQ(frame->width(), 200);
  ASSERT_EQ(frame->height(), 120);
  // The window's corner (300, 300) lands at (50, 20) of the area.
  EXPECT_EQ(frame->pixel(50, 20), opaque(kGreen));
  EXPECT_NE(frame->pixel(49, 20), opaque(kGreen));
  EXPECT_NE(frame->pixel(50, 19), opaque(kGreen));
  EXPECT_EQ(frame->pixel(149, 119), opaque(kGreen));
  EXPECT_NE(frame->pixel(150, 119), opaque(kGreen));
}

TEST(X11CaptureStreamTest, CoveredWindowIsCapturedWhole) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  const xcb_window_t target = desktop.createWindow(QRect(200, 200, 240, 160), kBlue, "StreamTarget");
  desktop.createWindow(QRect(250, 220, 100, 60), kRed, "StreamCover");
  CaptureSource source;
  source.kind = CaptureSource::Kind::singleWindow;
  source.window = target;
  auto frame = captureFrame(source, {});
  ASSERT_TRUE(frame);
  ASSERT_EQ(frame->width(), 240);
  ASSERT_EQ(frame->height(), 160);
  EXPECT_EQ(frame->pixel(60, 30), opaque(kBlue));  // under the cover
  EXPECT_EQ(frame->pixel(0, 0), opaque(kBlue));
  EXPECT_EQ(frame->pixel(239, 159), opaque(kBlue));
}

TEST(X11CaptureStreamTest, ExcludedWindowShowsWhatLiesBeneath) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(0x123456);
  desktop.createWindow(QRect(400, 400, 200, 200), kGreen, "StreamBelow");
  desktop.createWindow(QRect(500, 300, 200, 200), kRed, "StreamHidden");
  CaptureSource source = wholeScreen();
  source.excluded.applicationIds = {"StreamHidden"};
  auto frame = captureFrame(source, {});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(550, 450), opaque(kGreen));    // the lower window, where it was covered
  EXPECT_EQ(frame->pixel(650, 350), opaque(0x123456));  // the wallpaper
  EXPECT_EQ(frame->pixel(450, 450), opaque(kGreen));
}

TEST(X11CaptureStreamTest, HiddenWindowOpenedDuringTheStreamNeverShows) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(0x224466);
  CaptureSource source = wholeScreen();
  source.excluded.applicationIds = {"StreamLate"};
  std::atomic<int> frames{0};
  std::atomic<int> leaked{0};
  StreamConfiguration configuration;
  configuration.showsCursor = false;
  X11CaptureStream stream(
      source, configuration,
      [&](const SampleBuffer& sample) {
        ++frames;
        if (sample.pixelBuffer()->pixel(1250, 650) != opaque(0x224466)) ++leaked;
      },
      nullptr);
  stream.start();
  ASSERT_TRUE(test::waitUntil([&] { return frames > 3; }));
  const xcb_window_t late = desktop.createWindow(QRect(1200, 600, 200, 150), kRed, "StreamLate");
  desktop.moveWindow(late, QPoint(1150, 550));
  const int seen = frames;
  ASSERT_TRUE(test::waitUntil([&] { return frames > seen + 10; }));
  stream.stop();
  EXPECT_EQ(leaked, 0);
}

TEST(X11CaptureStreamTest, NeverCaptureWindowIsLeftOutEvenWhenKept) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  const xcb_window_t panel = desktop.createWindow(QRect(700, 100, 150, 80), kRed, "StreamPanel");
  markNeverCapture(panel);
  CaptureSource source = wholeScreen();
  source.drawsWallpaper = false;
  StreamConfiguration configuration;
  configuration.backgroundColor = 0xffffffffu;
  auto frame = captureFrame(source, configuration);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(750, 120), 0xffffffffu);

  CaptureSource windows = wholeScreen();
  windows.kind = CaptureSource::Kind::windows;
  windows.included.windowIds = {panel};
  frame = captureFrame(windows, configuration);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(750, 120), 0xffffffffu);
}

TEST(X11CaptureStreamTest, WindowsAreCompositedOverWallpaperOrBackground) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(0x654321);
  const xcb_window_t first = desktop.createWindow(QRect(100, 100, 200, 200), kRed, "StreamFirst");
  desktop.createWindow(QRect(150, 150, 50, 50), kBlue, "StreamOther");
  const xcb_window_t second = desktop.createWindow(QRect(250, 250, 200, 200), kGreen, "StreamSecond");
  CaptureSource source = wholeScreen();
  source.kind = CaptureSource::Kind::windows;
  source.included.windowIds = {first, second};
  auto frame = captureFrame(source, {});
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(160, 160), opaque(kRed));    // the other window is not drawn
  EXPECT_EQ(frame->pixel(260, 260), opaque(kGreen));  // stacking order kept
  EXPECT_EQ(frame->pixel(50, 50), opaque(0x654321));

  source.drawsWallpaper = false;
  StreamConfiguration configuration;
  configuration.backgroundColor = 0xff000000u;
  frame = captureFrame(source, configuration);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(50, 50), 0xff000000u);
  EXPECT_EQ(frame->pixel(120, 110), opaque(kRed));
}

TEST(X11CaptureStreamTest, CursorIsDrawnOnlyWhenAsked) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.createWindow(QRect(800, 500, 200, 200), kGreen, "StreamCursor");
  xcb_warp_pointer(desktop.connection().get(), XCB_WINDOW_NONE, desktop.connection().root(), 0, 0, 0, 0, 900,
                   600);
  desktop.sync();
  auto differing = [](const PixelBuffer& frame) {
    int count = 0;
    for (int y = 570; y < 630; ++y) {
      for (int x = 870; x < 930; ++x) count += frame.pixel(x, y) != opaque(kGreen);
    }
    return count;
  };
  StreamConfiguration configuration;
  configuration.showsCursor = false;
  auto frame = captureFrame(wholeScreen(), configuration);
  ASSERT_TRUE(frame);
  EXPECT_EQ(differing(*frame), 0);
  configuration.showsCursor = true;
  frame = captureFrame(wholeScreen(), configuration);
  ASSERT_TRUE(frame);
  EXPECT_GT(differing(*frame), 10);

  // A pointer that the overlays hid is not drawn back in by the capture.
  ASSERT_TRUE(SystemCursor::hide());
  frame = captureFrame(wholeScreen(), configuration);
  SystemCursor::show();
  ASSERT_TRUE(frame);
  EXPECT_EQ(differing(*frame), 0);
}

TEST(X11CaptureStreamTest, DestroyedWindowEndsTheStream) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  const xcb_window_t target = desktop.createWindow(QRect(100, 600, 120, 90), kRed, "StreamGone");
  CaptureSource source;
  source.kind = CaptureSource::Kind::singleWindow;
  source.window = target;
  std::mutex mutex;
  std::string reason;
  std::atomic<int> frames{0};
  X11CaptureStream stream(
      source, {}, [&](const SampleBuffer&) { ++frames; },
      [&](const std::string& why) {
        std::lock_guard lock(mutex);
        reason = why;
      });
  stream.start();
  ASSERT_TRUE(test::waitUntil([&] { return frames > 0; }));
  desktop.destroyWindow(target);
  ASSERT_TRUE(test::waitUntil([&] {
    std::lock_guard lock(mutex);
    return !reason.empty();
  }));
  EXPECT_EQ(reason, "The captured window was closed");
}

TEST(X11CaptureStreamTest, FramesArePacedAtTheFrameInterval) {
  TK_REQUIRE_DESKTOP();
  StreamConfiguration configuration;
  configuration.minimumFrameInterval = MediaTime(1, 30);
  std::mutex mutex;
  std::vector<int64_t> times;
  X11CaptureStream stream(
      wholeScreen(), configuration,
      [&](const SampleBuffer& sample) {
        std::lock_guard lock(mutex);
        times.push_back(sample.presentationTime().nanoseconds());
      },
      nullptr);
  stream.start();
  ASSERT_TRUE(test::waitUntil([&] {
    std::lock_guard lock(mutex);
    return times.size() >= 31;
  }));
  stream.stop();
  std::lock_guard lock(mutex);
  // No more frames than slots, and mostly one a slot. A busy machine may grab a slot late (a long
  // step, then a short one back to the slot's grid) or skip one, which must not shift the rest.
  const double span = static_cast<double>(times.back() - times.front()) / 1e9;
  EXPECT_LE(static_cast<double>(times.size() - 1), span * 30 + 1.5);
  std::vector<double> steps;
  for (size_t i = 1; i < times.size(); ++i)
    steps.push_back(static_cast<double>(times[i] - times[i - 1]) / 1e9);
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  EXPECT_NEAR(steps[steps.size() / 2], 1.0 / 30, 0.2 / 30);
}

}  // namespace
}  // namespace tk
