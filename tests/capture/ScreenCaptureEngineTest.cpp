#include "capture/ScreenCaptureEngine.h"

#include <gtest/gtest.h>

#include <QCoroTask>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <cstdlib>

#include "DesktopFixture.h"
#include "SoundServerFixture.h"
#include "capture/BackgroundColor.h"
#include "capture/ContentQueries.h"
#include "platform/media/MonotonicClock.h"
#include "platform/qt/SettingsStore.h"
#include "platform/qt/TestHold.h"
#include "platform/x11/NeverCapture.h"

namespace tk {
namespace {

using test::DesktopFixture;

constexpr uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff, kWallpaper = 0x336699;

uint32_t opaque(uint32_t rgb) {
  return 0xff000000u | rgb;
}

SampleBuffer frameAt(int64_t nanoseconds, std::optional<FrameStatus> status,
                     std::optional<double> scale = 1.0) {
  SampleBuffer sample =
      SampleBuffer::video(PixelBuffer::create(4, 4), MediaTime::fromNanoseconds(nanoseconds));
  FrameAttachments attachments;
  attachments.status = status;
  attachments.contentScale = scale;
  sample.setAttachments(attachments);
  return sample;
}

RecordingMode firstDisplay(const ShareableContent& content) {
  return RecordingMode::screen(content.displays.front());
}

TEST(ScreenCaptureEngineTest, OnlyCompleteFramesReachTheHandlerAndTheHistory) {
  ScreenCaptureEngine engine;
  std::atomic<int> delivered{0};
  engine.setFrameHandler([&](const SampleBuffer&) { ++delivered; });
  EXPECT_EQ(engine.frameTimingReserved(), 60u);

  engine.handleVideoSample(frameAt(5, FrameStatus::idle));
  engine.handleVideoSample(frameAt(6, FrameStatus::blank));
  engine.handleVideoSample(frameAt(7, std::nullopt));
  engine.handleVideoSample(SampleBuffer());
  EXPECT_EQ(delivered, 0);
  EXPECT_FALSE(engine.lastPTS().has_value());

  for (int i = 1; i <= 62; ++i) engine.handleVideoSample(frameAt(i, FrameStatus::complete));
  EXPECT_EQ(delivered, 62);
  const auto times = engine.frameTimes();
  ASSERT_EQ(times.size(), 60u);
  EXPECT_EQ(times[0], MediaTime::fromNanoseconds(61));
  EXPECT_EQ(times[1], MediaTime::fromNanoseconds(62));
  EXPECT_EQ(times[2], MediaTime::fromNanoseconds(3));
  EXPECT_EQ(engine.lastPTS(), MediaTime::fromNanoseconds(62));
}

TEST(ScreenCaptureEngineTest, StartNeedsFilterAndConfigurationAndStopWithoutStartIsQuiet) {
  ScreenCaptureEngine engine;
  try {
    engine.startCaptureBlocking();
    FAIL() << "no error";
  } catch (const RecordingError& error) {
    EXPECT_EQ(error.reason(), "Filter and configuration must be set before starting capture");
  }
  EXPECT_NO_THROW(engine.stopCaptureBlocking());
  EXPECT_FALSE(engine.isCapturing());
}

TEST(ScreenCaptureEngineTest, AsynchronousStartAndStopResumeOnTheMainThread) {
  TK_REQUIRE_DESKTOP();
  ScreenCaptureEngine engine;
  std::atomic<int> frames{0};
  engine.setFrameHandler([&](const SampleBuffer&) { ++frames; });
  QCoro::waitFor(engine.refreshAvailableContent());
  ASSERT_TRUE(engine.availableContent().has_value());
  RecordingConfiguration configuration;
  engine.setFilter(engine.createFilter(firstDisplay(*engine.availableContent()), configuration));
  engine.setConfiguration({});
  QCoro::waitFor(engine.startCapture());
  EXPECT_TRUE(engine.isCapturing());
  EXPECT_TRUE(test::waitUntil([&] { return frames >= 3; }));
  QCoro::waitFor(engine.stopCapture());
  EXPECT_FALSE(engine.isCapturing());
  EXPECT_FALSE(engine.lastPTS().has_value());
  EXPECT_TRUE(engine.frameTimes().empty());
  const int stopped = frames;
  test::pumpEvents(std::chrono::milliseconds(100));
  EXPECT_EQ(frames, stopped);

  // Again, with a frame and a block of sound grabbed before the stop but handed on only after it
  // began (their threads are joined later, on a worker): neither reaches the engine or its handlers.
#ifdef TK_TEST_HOOKS
  {
    test::CollectedSamples sound;
    engine.setAudioHandler([&](const SampleBuffer& sample) { sound.add(sample); });
    StreamConfiguration withSound;
    withSound.capturesAudio = true;
    engine.setConfiguration(withSound);
    qputenv("TK_TEST_HOLD", "frame-handoff,sound-handoff");
    QCoro::waitFor(engine.startCapture());
    EXPECT_TRUE(test::waitUntil(
        [] { return TestHold::isHeld("frame-handoff") && TestHold::isHeld("sound-handoff"); }));
    // Let go from the event loop the stop waits in: after the stop began, before its threads end.
    QTimer::singleShot(0, [] { TestHold::releaseAll(); });
    QCoro::waitFor(engine.stopCapture());
    qunsetenv("TK_TEST_HOLD");
    EXPECT_EQ(frames, stopped);
    EXPECT_EQ(sound.count(), 0u);
    EXPECT_FALSE(engine.lastPTS().has_value());
    EXPECT_TRUE(engine.frameTimes().empty());
  }
#endif

  // waitFor does not carry an exception out of the task: catch it inside.
  ScreenCaptureEngine unset;
  bool threw = false;
  QCoro::waitFor([&]() -> QCoro::Task<void> {
    try {
      co_await unset.startCapture();
    } catch (const RecordingError&) {
      threw = true;
    }
  }());
  EXPECT_TRUE(threw);
}

TEST(ScreenCaptureEngineTest, CaptureRectFlipsTheSourceRectangleOnItsScreen) {
  TK_REQUIRE_DESKTOP();
  ScreenCaptureEngine engine;
  EXPECT_FALSE(engine.captureRect().has_value());
  engine.refreshAvailableContentBlocking();
  const CaptureDisplayRef display = engine.availableContent()->displays.front();
  RecordingConfiguration configuration;
  configuration.backgroundColor = BackgroundType::black;
  engine.setFilter(engine.createFilter(RecordingMode::screen(display), configuration));
  StreamConfiguration stream;
  stream.sourceRect = QRectF(100, 50, 800, 600);
  engine.setConfiguration(stream);
  // The private display is 1920 x 1080 at the origin.
  EXPECT_EQ(engine.captureRect(), QRectF(100, 430, 800, 600));

  // A display that no monitor has any more falls back to the main screen.
  CaptureDisplay gone = *display;
  gone.displayID = 0x7fff0000;
  engine.setFilter(engine.createFilter(RecordingMode::screen(std::make_shared<const CaptureDisplay>(gone)),
                                       configuration));
  engine.setConfiguration({});
  EXPECT_EQ(engine.captureRect(), QRectF(0, 0, 1920, 1080));
}

// A whole recording through the engine: content, filter, stream, one settled frame.
class EngineRecording {
 public:
  explicit EngineRecording(BackgroundType background) { configuration_.backgroundColor = background; }

  ScreenCaptureEngine& engine() { return engine_; }

  std::shared_ptr<PixelBuffer> frameOf(const std::function<RecordingMode(const ShareableContent&)>& pickMode,
                                       StreamConfiguration stream = {}) {
    engine_.refreshAvailableContentBlocking();
    const RecordingMode mode = pickMode(*engine_.availableContent());
    configuration_.mode = mode;
    engine_.setFilter(engine_.createFilter(mode, configuration_, store_));
    if (configuration_.backgroundColor != BackgroundType::wallpaper) {
      stream.backgroundColor = streamBackgroundColor(configuration_.backgroundColor);
    }
    stream.showsCursor = false;
    engine_.setConfiguration(stream);
    std::mutex mutex;
    std::shared_ptr<PixelBuffer> last;
    int frames = 0;
    engine_.setFrameHandler([&](const SampleBuffer& sample) {
      std::lock_guard lock(mutex);
      last = sample.pixelBuffer();
      ++frames;
    });
    engine_.startCaptureBlocking();
    EXPECT_TRUE(test::waitUntil([&] {
      std::lock_guard lock(mutex);
      return frames >= 4;
    }));
    engine_.stopCaptureBlocking();
    engine_.setFrameHandler(nullptr);
    return last;
  }

  SettingsStore& store() { return store_; }

 private:
  QTemporaryDir directory_;
  SettingsStore store_{directory_.filePath("settings.ini")};
  RecordingConfiguration configuration_;
  ScreenCaptureEngine engine_;
};

CaptureWindowRef windowWithId(const ShareableContent& content, uint32_t id) {
  for (const auto& window : content.windows) {
    if (window->windowID == id) return window;
  }
  ADD_FAILURE() << "window " << id << " not in the shareable content";
  return nullptr;
}

TEST(ScreenCaptureEngineTest, DisplayRecordingShowsWindowsButNotDocksPanelsOrHiddenApplications) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(kWallpaper);
  desktop.createWindow(QRect(100, 100, 300, 200), kGreen, "Visible");
  desktop.createWindow(QRect(200, 150, 300, 200), kRed, "Secret");
  desktop.createWindow(QRect(600, 100, 200, 100), kBlue, "Panelish", {"panel", "_NET_WM_WINDOW_TYPE_DOCK"});
  const xcb_window_t floating = desktop.createWindow(QRect(900, 100, 150, 100), kRed, "Floating");
  markNeverCapture(floating);

  EngineRecording recording(BackgroundType::wallpaper);
  recording.store().setData(kHiddenAppsKey, encodeAppInfoList({{"Secret", "Secret"}}));
  auto frame = recording.frameOf(firstDisplay);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(150, 120), opaque(kGreen));
  EXPECT_EQ(frame->pixel(300, 200), opaque(kGreen));      // the hidden window's area shows the window beneath
  EXPECT_EQ(frame->pixel(450, 300), opaque(kWallpaper));  // and the wallpaper where nothing is beneath
  EXPECT_EQ(frame->pixel(700, 150), opaque(kWallpaper));  // no dock
  EXPECT_EQ(frame->pixel(950, 150), opaque(kWallpaper));  // no marked panel
}

TEST(ScreenCaptureEngineTest, BlackBackgroundReplacesTheWallpaper) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(kWallpaper);
  desktop.createWindow(QRect(100, 100, 300, 200), kGreen, "Visible");
  EngineRecording black(BackgroundType::black);
  auto frame = black.frameOf(firstDisplay);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(150, 120), opaque(kGreen));
  EXPECT_EQ(frame->pixel(50, 50), 0xff000000u);
  EXPECT_EQ(frame->pixel(1500, 900), 0xff000000u);

  EngineRecording wallpaper(BackgroundType::wallpaper);
  frame = wallpaper.frameOf(firstDisplay);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(50, 50), opaque(kWallpaper));
}

TEST(ScreenCaptureEngineTest, WindowRecordingsCaptureCoveredAndSeveralWindows) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  desktop.setWallpaper(kWallpaper);
  const xcb_window_t target = desktop.createWindow(QRect(300, 300, 320, 240), kBlue, "Target");
  const xcb_window_t other = desktop.createWindow(QRect(700, 300, 100, 100), kGreen, "Other");
  desktop.createWindow(QRect(350, 320, 200, 100), kRed, "Cover");

  EngineRecording alone(BackgroundType::clear);
  StreamConfiguration sized;
  sized.width = 320;
  sized.height = 240;
  sized.scalesToFit = true;
  auto frame = alone.frameOf(
      [&](const ShareableContent& c) { return RecordingMode::window(windowWithId(c, target)); }, sized);
  ASSERT_TRUE(frame);
  ASSERT_EQ(frame->width(), 320);
  EXPECT_EQ(frame->pixel(100, 50), opaque(kBlue));  // under the cover
  EXPECT_EQ(frame->pixel(319, 239), opaque(kBlue));

  EngineRecording several(BackgroundType::wallpaper);
  frame = several.frameOf([&](const ShareableContent& c) {
    return RecordingMode::windows({windowWithId(c, target), windowWithId(c, other)});
  });
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixel(400, 350), opaque(kBlue));  // the cover is not one of them
  EXPECT_EQ(frame->pixel(750, 350), opaque(kGreen));
  EXPECT_EQ(frame->pixel(100, 100), opaque(kWallpaper));
}

// Two monitors side by side on the private display, removed again with the fixture.
class SplitMonitors {
 public:
  SplitMonitors() {
    ok_ = std::system("xrandr --setmonitor TKLEFT 960/254x1080/286+0+0 screen >/dev/null 2>&1") == 0 &&
          std::system("xrandr --setmonitor TKRIGHT 960/254x1080/286+960+0 none >/dev/null 2>&1") == 0;
  }
  ~SplitMonitors() {
    removeRight();
    std::system("xrandr --delmonitor TKLEFT >/dev/null 2>&1");
  }
  void removeRight() { std::system("xrandr --delmonitor TKRIGHT >/dev/null 2>&1"); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

TEST(ScreenCaptureEngineTest, WindowOnASecondMonitorIsRecordedOnThatMonitorUntilItGoes) {
  TK_REQUIRE_DESKTOP();
  SplitMonitors monitors;
  ASSERT_TRUE(monitors.ok());
  DesktopFixture desktop;
  desktop.setWallpaper(kWallpaper);
  const xcb_window_t window = desktop.createWindow(QRect(1200, 400, 200, 150), kGreen, "RightSide");

  EngineRecording recording(BackgroundType::wallpaper);
  auto frame = recording.frameOf([&](const ShareableContent& c) {
    EXPECT_EQ(c.displays.size(), 2u);
    return RecordingMode::window(windowWithId(c, window));
  });
  ASSERT_TRUE(frame);
  ASSERT_EQ(frame->width(), 960);
  EXPECT_EQ(frame->pixel(1200 - 960, 400), opaque(kGreen));
  EXPECT_EQ(frame->pixel(1200 - 960 - 1, 400), opaque(kWallpaper));
  ScreenCaptureEngine& engine = recording.engine();
  ASSERT_TRUE(engine.currentDisplay());
  EXPECT_EQ(engine.currentDisplay()->name, "TKRIGHT");
  EXPECT_EQ(engine.captureRect(), QRectF(960, 0, 960, 1080));

  std::atomic<bool> interrupted{false};
  engine.setErrorHandler([&](const RecordingError& error) {
    interrupted = error.kind() == RecordingError::Kind::streamInterrupted;
  });
  engine.startCaptureBlocking();
  monitors.removeRight();
  EXPECT_TRUE(test::waitUntil([&] { return interrupted.load(); }));
  EXPECT_FALSE(engine.isCapturing());
  engine.stopCaptureBlocking();
}

TEST(ScreenCaptureEngineTest, DestroyedWindowInterruptsTheStream) {
  TK_REQUIRE_DESKTOP();
  DesktopFixture desktop;
  const xcb_window_t window = desktop.createWindow(QRect(500, 500, 120, 100), kRed, "Doomed");
  EngineRecording recording(BackgroundType::black);
  ScreenCaptureEngine& engine = recording.engine();
  engine.refreshAvailableContentBlocking();
  RecordingConfiguration configuration;
  configuration.backgroundColor = BackgroundType::black;
  engine.setFilter(
      engine.createFilter(RecordingMode::window(windowWithId(*engine.availableContent(), window)),
                          configuration, recording.store()));
  engine.setConfiguration({});
  std::atomic<int> errors{0};
  std::atomic<int> frames{0};
  test::CapturedLines lines;
  engine.setFrameHandler([&](const SampleBuffer&) { ++frames; });
  engine.setErrorHandler([&](const RecordingError& error) {
    if (error.kind() == RecordingError::Kind::streamInterrupted) ++errors;
  });
  engine.startCaptureBlocking();
  ASSERT_TRUE(test::waitUntil([&] { return frames > 0; }));
  desktop.destroyWindow(window);
  ASSERT_TRUE(test::waitUntil([&] { return errors > 0; }));
  EXPECT_TRUE(
      lines.contains("ScreenCaptureEngine: Stream stopped with error: The captured window was closed"));
  engine.stopCaptureBlocking();
  EXPECT_EQ(errors, 1);
}

TEST(ScreenCaptureEngineTest, ResizeGrowsTheStreamWithinLimits) {
  TK_REQUIRE_DESKTOP();
  ScreenCaptureEngine engine;
  engine.refreshAvailableContentBlocking();
  RecordingConfiguration configuration;
  engine.setFilter(engine.createFilter(firstDisplay(*engine.availableContent()), configuration));
  StreamConfiguration stream;
  stream.width = 1920;
  stream.height = 1080;
  stream.sourceRect = QRectF(0, 0, 1920, 1080);
  engine.setConfiguration(stream);
  engine.startCaptureBlocking();
  test::CapturedLines lines;

  engine.updateStreamForResize(0.0, QSize(3840, 2160));
  engine.updateStreamForResize(-1.0, QSize(3840, 2160));
  engine.updateStreamForResize(std::nan(""), QSize(3840, 2160));
  engine.updateStreamForResize(0.5, QSize());
  engine.updateStreamForResize(1.0, QSize(1920, 1080));
  EXPECT_TRUE(lines.lines().empty());

  engine.updateStreamForResize(0.5, QSize(3841, 2160));
  EXPECT_EQ(engine.configuration()->width, 3840);  // even
  EXPECT_EQ(engine.configuration()->height, 2160);
  EXPECT_TRUE(engine.configuration()->sourceRect.isNull());
  EXPECT_TRUE(lines.contains("🔄 Window resized: contentScale=0.5, updating stream to 3840x2160"));
  EXPECT_TRUE(lines.contains("✅ Stream configuration updated successfully"));

  // The same content asked for again changes nothing; a huge one stops at 8192.
  engine.updateStreamForResize(0.5, QSize(3840, 2160));
  EXPECT_EQ(engine.configuration()->width, 3840);
  engine.updateStreamForResize(0.3, QSize(12800, 7200));
  EXPECT_EQ(engine.configuration()->width, 8192);
  EXPECT_EQ(engine.configuration()->height, 7200);
  engine.stopCaptureBlocking();
}

TEST(ScreenCaptureEngineTest, SystemAudioOfATonePlayedIntoTheDefaultOutputArrives) {
  TK_REQUIRE_DESKTOP();
  test::CollectedSamples silent;
  test::CollectedSamples playing;
  auto record = [](test::CollectedSamples& into) {
    ScreenCaptureEngine engine;
    engine.refreshAvailableContentBlocking();
    RecordingConfiguration configuration;
    engine.setFilter(engine.createFilter(firstDisplay(*engine.availableContent()), configuration));
    StreamConfiguration stream;
    stream.capturesAudio = true;
    engine.setConfiguration(stream);
    engine.setAudioHandler([&](const SampleBuffer& sample) { into.add(sample); });
    const int64_t started = MonotonicClock::nowNanoseconds();
    engine.startCaptureBlocking();
    EXPECT_TRUE(test::waitUntil([&] { return into.count() >= 40; }));
    engine.stopCaptureBlocking();
    // A monitor's sound counts as captured when its sink plays it, and the sink hands it over a
    // little ahead of that: a block may carry a stamp just past now, never far past it.
    for (const auto& sample : into.all()) {
      EXPECT_GE(sample.presentationTime().nanoseconds(), started - 1'000'000'000);
      EXPECT_LE(sample.presentationTime().nanoseconds(), MonotonicClock::nowNanoseconds() + 100'000'000);
    }
  };
  record(silent);
  const std::string module = test::pactl(
      "load-module module-sine sink=" + std::string(std::getenv("TK_TEST_SINK")) + " frequency=1000");
  ASSERT_FALSE(module.empty());
  record(playing);
  test::pactl("unload-module " + module);

  const auto all = playing.all();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front().audioBlock()->format, (AudioFormat{48000, 2, true}));
  // Skip the first blocks, which may hold the start of the tone.
  const std::vector<SampleBuffer> steady(all.begin() + 10, all.end());
  const auto left = test::channelOf(steady, 0);
  EXPECT_NEAR(test::spectrumPeak(left, 48000), 1000, 20);
  EXPECT_GT(test::peakLevel(left), 0.1);
  EXPECT_LT(test::peakLevel(test::channelOf(silent.all(), 0)), 0.001);
}

}  // namespace
}  // namespace tk
