// Display pictures taken through the capture layer on the private desktop, named after the
// offscreen screens the widgets run on.

#include "selection/ScreenSelectorViewModel.h"

#include <gtest/gtest.h>

#include "SelectionTestSupport.h"

using namespace tk;

namespace {

TEST(ScreenSelectorViewModelTest, ADisplayIsNamedAfterItsScreenOrElseByItsId) {
  EXPECT_EQ(ScreenSelectorViewModel::screenName(*test::offscreenDisplay(1)), "Right");
  auto unshown = std::make_shared<CaptureDisplay>(*test::offscreenDisplay(1));
  unshown->displayID = 4242;
  unshown->frame = QRectF(5000, 0, 640, 480);
  EXPECT_EQ(ScreenSelectorViewModel::screenName(*unshown), "Display 4242");
}

TEST(ScreenSelectorViewModelTest, EachDisplayKeepsItsFirstPictureAndOneThatGivesNoneChangesNothing) {
  TK_REQUIRE_DESKTOP();
  const CaptureDisplayRef desktop = test::firstDisplayOfDesktop();
  ASSERT_NE(desktop, nullptr);
  // A display the X server does not have: its stream ends before any frame.
  auto gone = std::make_shared<CaptureDisplay>(*desktop);
  gone->displayID = 0x7ffffff0;
  ScreenSelectorViewModel model;
  int changes = 0;
  QObject::connect(&model, &ScreenSelectorViewModel::screenThumbnailsChanged, [&] { ++changes; });

  test::awaitTask(model.refreshScreens({gone, desktop, desktop}));
  ASSERT_EQ(model.screenThumbnails().size(), 1u);
  EXPECT_EQ(changes, 1);
  const auto first = model.screenThumbnails().front();
  EXPECT_EQ(first->screen, desktop);
  EXPECT_EQ(first->image.size(), QSize(desktop->width, desktop->height)) << "not a full-size picture";
  EXPECT_EQ(first->screenName, ScreenSelectorViewModel::screenName(*desktop));
  EXPECT_EQ(model.thumbnailFor(*gone), nullptr);

  test::awaitTask(model.refreshScreens({desktop}));
  ASSERT_EQ(model.screenThumbnails().size(), 1u);
  EXPECT_EQ(model.screenThumbnails().front(), first);
  EXPECT_EQ(changes, 1);
}

}  // namespace
