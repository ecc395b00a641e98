// Pictures taken through the capture layer on the private desktop: a window's own pixels at the
// asked size, the window list's real pictures, and that no capture stream outlives its picture.

#include "selection/CaptureSnapshot.h"

#include <gtest/gtest.h>

#include <QPointer>

#include "../overlays/DesktopDriver.h"
#include "SelectionTestSupport.h"
#include "platform/x11/XcbConnection.h"
#include "selection/WindowSelectorView.h"
#include "selection/WindowSelectorViewModel.h"
#include "selection/WindowThumbnailCard.h"

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
  ASSERT_TRUE(test::waitUntil([&] {
    const auto listed = model.windowsOf(*content.displayList[0]);
    return !listed.empty() && !listed[0]->placeholder;
  }));
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

TEST_F(CaptureSnapshotTest, ThePickerListsEveryWindowAtOnceAndEachPictureUpdatesOnlyItsOwnCard) {
  TK_REQUIRE_DESKTOP();
  content.displayList = {test::firstDisplayOfDesktop()};
  // Three times as many windows as pictures are taken at once.
  const int count = 4 * WindowSelectorViewModel::kConcurrentSnapshots;
  std::vector<uint32_t> others;
  content.windowList = {listed()};
  for (int i = 1; i < count; ++i) {
    others.push_back(desktop.window({400 + 20 * i, 300 + 10 * i, 240, 140}, kBlue));
    content.windowList.push_back(test::fakeWindow(others.back(), "Blue " + std::to_string(i),
                                                  {400.0 + 20 * i, 300.0 + 10 * i, 240, 140}));
  }
  XcbConnection::resetPeak();
  const int connectionsBefore = XcbConnection::openConnections();

  QPointer<WindowSelectorView> view = new WindowSelectorView(services());
  view->show();
  ASSERT_TRUE(test::waitUntil([&] { return view->viewModel().isReady(); }));
  // Every window has its place in the grid before any picture; only the rows in view have cards.
  EXPECT_EQ(view->gridCount(), count);
  const std::vector<WindowThumbnailCard*> first = view->cards();
  ASSERT_FALSE(first.empty());
  EXPECT_LT(int(first.size()), count);
  EXPECT_TRUE(first.front()->thumbnail()->placeholder);

  ASSERT_TRUE(test::waitUntil([&] { return view->viewModel().pendingSnapshots() == 0; }))
      << "the pictures were never all taken";
  // The same cards, each now with its own picture: the red and blue window's halves in place.
  const std::vector<WindowThumbnailCard*> later = view->cards();
  ASSERT_GE(later.size(), first.size());
  EXPECT_EQ(std::vector<WindowThumbnailCard*>(later.begin(), later.begin() + long(first.size())), first);
  for (WindowThumbnailCard* card : first) EXPECT_FALSE(card->thumbnail()->placeholder);
  EXPECT_TRUE(near(first.front()->thumbnail()->image.pixelColor(30, 37), kRed));
  EXPECT_TRUE(near(first.front()->thumbnail()->image.pixelColor(120, 37), kBlue));
  // Never more X connections than pictures taken at once.
  EXPECT_LE(XcbConnection::peakOpenConnections() - connectionsBefore,
            WindowSelectorViewModel::kConcurrentSnapshots);
  EXPECT_GT(XcbConnection::peakOpenConnections(), connectionsBefore);

  view->close();
  for (uint32_t id : others) desktop.destroy(id);
}

}  // namespace
