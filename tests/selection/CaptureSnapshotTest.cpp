// Pictures taken through the capture layer on the private desktop: a window's own pixels at the
// asked size, the window list's real pictures, and that no capture stream outlives its picture.

#include "selection/CaptureSnapshot.h"

#include <gtest/gtest.h>

#include "../overlays/DesktopDriver.h"
#include "SelectionTestSupport.h"
#include "selection/WindowSelectorViewModel.h"

using namespace tk;

namespace {

const QColor kRed(220, 40, 40);
const QColor kBlue(40, 60, 220);

bool near(const QColor& actual, const QColor& expected) {
  return std::abs(actual.red() - expected.red()) <= 16 && std::abs(actual.green() - expected.green()) <= 16 &&
         std::abs(actual.blue() - expected.blue()) <= 16;
}

class CaptureSnapshotTest : public test::SelectionFixture {
 protected:
  CaptureSnapshotTest() {
    if (!test::inTestEnvironment()) return;
    // Red on the left, blue on the right: a mirrored picture fails.
    window = desktop.window({60, 80, 300, 150}, kRed);
    desktop.window({150, 0, 150, 150}, kBlue, window);
  }
  ~CaptureSnapshotTest() override {
    if (window) desktop.destroy(window);
  }

  static CaptureSource windowSource(uint32_t id) {
    CaptureSource source;
    source.kind = CaptureSource::Kind::singleWindow;
    source.window = id;
    return source;
  }
  static StreamConfiguration sized(QSize size) {
    StreamConfiguration configuration;
    configuration.width = size.width();
    configuration.height = size.height();
    configuration.scalesToFit = true;
    configuration.showsCursor = false;
    configuration.minimumFrameInterval = MediaTime(1, 10);
    return configuration;
  }
  // The window as the desktop's content would list it.
  CaptureWindowRef listed() const {
    return test::fakeWindow(window, "Colours", {60, 80, 300, 150}, "foreign");
  }

  test::ForeignClient desktop;
  uint32_t window = 0;
};

TEST_F(CaptureSnapshotTest, AWindowsPictureHoldsItsOwnPixelsAtTheAskedSize) {
  TK_REQUIRE_DESKTOP();
  const QSize size = WindowSelectorViewModel::thumbnailSize({300, 150});
  ASSERT_EQ(size, QSize(150, 75));
  CaptureSnapshot snapshot(windowSource(window), sized(size));
  const std::optional<QImage> image = test::awaitTask(snapshot.take());
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->size(), QSize(150, 75));
  EXPECT_TRUE(near(image->pixelColor(30, 37), kRed)) << image->pixelColor(30, 37).name().toStdString();
  EXPECT_TRUE(near(image->pixelColor(120, 37), kBlue)) << image->pixelColor(120, 37).name().toStdString();
  EXPECT_FALSE(snapshot.isCapturing());
  EXPECT_EQ(CaptureSnapshot::runningStreams(), 0);
}

TEST_F(CaptureSnapshotTest, APictureThatTimesOutIsCancelledOrCannotStartGivesNothingAndStopsItsStream) {
  TK_REQUIRE_DESKTOP();
  CaptureSnapshot late(windowSource(window), sized({150, 75}), std::chrono::milliseconds(1));
  EXPECT_FALSE(test::awaitTask(late.take()).has_value());

  CaptureSnapshot cancelled(windowSource(window), sized({150, 75}));
  QTimer::singleShot(0, [&] { cancelled.cancel(); });
  EXPECT_FALSE(test::awaitTask(cancelled.take()).has_value());

  CaptureSnapshot gone(windowSource(0x7ffffff0), sized({150, 75}));
  EXPECT_FALSE(test::awaitTask(gone.take()).has_value());

  EXPECT_EQ(CaptureSnapshot::runningStreams(), 0);
}

TEST_F(CaptureSnapshotTest, TheWindowListTakesRealPicturesAndARefreshDropsThoseOfTheLastOne) {
  TK_REQUIRE_DESKTOP();
  content.displayList = {test::firstDisplayOfDesktop()};
  content.windowList = {listed()};
  WindowSelectorViewModel model(&content);
  model.refreshWindows(false);
  EXPECT_EQ(model.pendingSnapshots(), 1);
  // At once again: the first picture is cancelled, the second one listed.
  test::awaitTask(model.refreshWindows(false));
  EXPECT_EQ(model.pendingSnapshots(), 1);
  EXPECT_TRUE(model.isReady());
  ASSERT_TRUE(test::waitUntil([&] { return !model.windowsOf(*content.displayList[0]).empty(); }));
  const auto thumbnails = model.windowsOf(*content.displayList[0]);
  ASSERT_EQ(thumbnails.size(), 1u);
  EXPECT_EQ(thumbnails[0]->window->windowID, window);
  EXPECT_EQ(thumbnails[0]->image.size(), QSize(150, 75));
  EXPECT_TRUE(near(thumbnails[0]->image.pixelColor(30, 37), kRed));
  EXPECT_TRUE(test::waitUntil([] { return CaptureSnapshot::runningStreams() == 0; }));
  EXPECT_EQ(model.pendingSnapshots(), 0);
}

TEST_F(CaptureSnapshotTest, ClosingTheListStopsItsPicturesAtOnce) {
  TK_REQUIRE_DESKTOP();
  content.displayList = {test::firstDisplayOfDesktop()};
  content.windowList = {listed(), listed(), listed()};
  auto model = std::make_unique<WindowSelectorViewModel>(&content);
  test::awaitTask(model->refreshWindows(false));
  EXPECT_EQ(model->pendingSnapshots(), 3);
  model.reset();
  // Well before the pictures' own time limit.
  EXPECT_TRUE(
      test::waitUntil([] { return CaptureSnapshot::runningStreams() == 0; }, std::chrono::seconds(2)));
}

}  // namespace
