// The window picker on a two-screen offscreen desktop, with placeholder pictures: tabs, cards,
// the selection and what Record hands the coordinator.

#include "selection/WindowSelectorView.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "SelectionTestSupport.h"
#include "capture/ContentQueries.h"
#include "recording/RecordingServices.h"
#include "selection/RecordActionButton.h"
#include "selection/WindowSelectorViewModel.h"
#include "selection/WindowThumbnailCard.h"
#include "ui/SymbolButton.h"

using namespace tk;

namespace {

class WindowSelectorViewTest : public test::SelectionFixture {
 protected:
  WindowSelectorViewTest() {
    left = test::offscreenDisplay(0);
    right = test::offscreenDisplay(1);
    // The desktop lists the right-hand display first; tabs go by id all the same.
    content.displayList = {right, left};
    alpha = test::fakeWindow(11, "Alpha", {100, 100, 400, 300});
    beta = test::fakeWindow(12, "", {600, 100, 300, 200}, "beta", "Beta App");
    nameless = test::fakeWindow(13, "", {100, 500, 200, 200}, "nameless", "");
    gamma = test::fakeWindow(14, "<b>Gamma</b> & co", {1400, 100, 300, 200});
    content.windowList = {alpha, beta, nameless, gamma};
  }

  // The picker, shown, with one placeholder picture per window.
  QPointer<WindowSelectorView> openPicker() {
    QPointer<WindowSelectorView> view = new WindowSelectorView(services());
    view->show();
    // The picker's own listing asks for real pictures, which these made-up windows cannot give.
    EXPECT_TRUE(test::waitUntil([&] { return view->viewModel().isReady(); }));
    test::awaitTask(view->viewModel().refreshWindows(true));
    return view;
  }

  // `count` windows with ids from 100, all on the left-hand display.
  void listManyWindows(uint32_t count) {
    content.windowList.clear();
    for (uint32_t i = 0; i < count; ++i)
      content.windowList.push_back(
          test::fakeWindow(100 + i, "Window " + std::to_string(i), {100, 100, 300, 200}));
  }

  WindowThumbnailCard* card(WindowSelectorView& view, uint32_t id) {
    for (WindowThumbnailCard* c : view.cards()) {
      if (c->thumbnail()->window->windowID == id) return c;
    }
    return nullptr;
  }

  std::vector<uint32_t> shownIds(WindowSelectorView& view) {
    std::vector<uint32_t> ids;
    for (WindowThumbnailCard* c : view.cards()) ids.push_back(c->thumbnail()->window->windowID);
    return ids;
  }

  CaptureDisplayRef left, right;
  CaptureWindowRef alpha, beta, nameless, gamma;
};

TEST_F(WindowSelectorViewTest, OneTabPerDisplayByAscendingIdAndTheGridShowsTheTabsWindows) {
  // The model files the displays as their first windows come: the right-hand one first.
  content.windowList = {gamma, alpha, beta, nameless};
  QPointer<WindowSelectorView> view = openPicker();
  ASSERT_EQ(view->viewModel().windowsByDisplay().front().first->displayID, right->displayID);
  EXPECT_EQ(view->windowTitle(), "Window Selector");
  EXPECT_EQ(view->size(), WindowSelectorView::kWindowSize);
  ASSERT_EQ(view->tabButtons().size(), 2u);
  EXPECT_TRUE(view->tabBar()->isVisible());
  EXPECT_EQ(view->tabButtons()[0]->text(), "Left");
  EXPECT_EQ(view->tabButtons()[1]->text(), "Right");
  EXPECT_EQ(shownIds(*view), (std::vector<uint32_t>{11, 12, 13}));

  // Clicked with the mouse through the window, as the desktop delivers it: the click rebuilds the
  // tabs, its own button among them.
  const auto clickTab = [&](size_t index) {
    QPushButton* tab = view->tabButtons().at(index);
    // A rebuilt tab row is placed once its layout runs.
    ASSERT_TRUE(
        test::waitUntil([&] { return view->childAt(tab->mapTo(view, tab->rect().center())) == tab; }));
    QTest::mouseClick(view->windowHandle(), Qt::LeftButton, {}, tab->mapTo(view, tab->rect().center()));
  };
  clickTab(1);
  EXPECT_EQ(view->selectedTab(), 1);
  ASSERT_EQ(view->tabButtons().size(), 2u);
  clickTab(0);
  EXPECT_EQ(view->selectedTab(), 0);
  clickTab(1);
  EXPECT_EQ(view->selectedTab(), 1);
  EXPECT_EQ(shownIds(*view), std::vector<uint32_t>{14});

  // A tab past the last display (one went away) shows the first display's windows.
  view->selectTab(5);
  EXPECT_EQ(view->currentDisplay()->displayID, left->displayID);
  EXPECT_EQ(shownIds(*view), (std::vector<uint32_t>{11, 12, 13}));
}

TEST_F(WindowSelectorViewTest, CardsAreMadeAsTheirRowsComeIntoView) {
  listManyWindows(60);
  QPointer<WindowSelectorView> view = openPicker();
  EXPECT_EQ(view->gridCount(), 60);
  const std::vector<WindowThumbnailCard*> top = view->cards();
  ASSERT_FALSE(top.empty());
  EXPECT_LT(top.size(), 20u) << "cards were made for rows far out of view";
  EXPECT_EQ(top.front()->thumbnail()->window->windowID, 100u);
  EXPECT_EQ(card(*view, 159), nullptr);

  // At the end: the last rows get their cards, the ones above keep theirs, the middle has none.
  QScrollBar* bar = view->scrollArea()->verticalScrollBar();
  bar->setValue(bar->maximum());
  WindowThumbnailCard* last = card(*view, 159);
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(
      last->geometry().intersects(QRect(QPoint(0, bar->value()), view->scrollArea()->viewport()->size())));
  EXPECT_EQ(card(*view, 130), nullptr);
  EXPECT_EQ(card(*view, 100), top.front());
  // A card made late is chosen like any other.
  last->click();
  ASSERT_EQ(view->selectedWindows().size(), 1u);
  EXPECT_EQ(view->selectedWindows()[0]->windowID, 159u);
  EXPECT_TRUE(last->isSelected());
}

TEST_F(WindowSelectorViewTest, WithWindowsOnOneDisplayThereIsNoTabBar) {
  content.windowList = {alpha, beta};
  QPointer<WindowSelectorView> view = openPicker();
  EXPECT_TRUE(view->tabButtons().empty());
  EXPECT_FALSE(view->tabBar()->isVisible());
  EXPECT_EQ(shownIds(*view), (std::vector<uint32_t>{11, 12}));
}

TEST_F(WindowSelectorViewTest, CardsNameTheWindowAsPlainText) {
  QPointer<WindowSelectorView> view = openPicker();
  EXPECT_EQ(card(*view, 11)->caption(), "Alpha");
  EXPECT_EQ(card(*view, 12)->caption(), "Beta App");
  EXPECT_EQ(card(*view, 13)->caption(), "Untitled");
  view->selectTab(1);
  // Markup in a title is kept as it is, never rendered.
  EXPECT_EQ(card(*view, 14)->caption(), "<b>Gamma</b> & co");
  EXPECT_EQ(card(*view, 14)->accessibleName(), "<b>Gamma</b> & co");
  // Our icon lookup finds nothing for an application the desktop does not know.
  EXPECT_TRUE(WindowThumbnailCard::appIcon(CaptureApplication{"no-such-application-xyz", "X", 1}).isNull());
}

TEST_F(WindowSelectorViewTest, CardsToggleTheSelectionInTheOrderChosenAndATabEmptiesIt) {
  QPointer<WindowSelectorView> view = openPicker();
  EXPECT_FALSE(view->recordButton()->isEnabled());
  card(*view, 11)->click();
  card(*view, 12)->click();
  EXPECT_TRUE(card(*view, 11)->isSelected());
  EXPECT_TRUE(view->recordButton()->isEnabled());
  card(*view, 11)->click();
  ASSERT_EQ(view->selectedWindows().size(), 1u);
  EXPECT_EQ(view->selectedWindows()[0]->windowID, 12u);
  EXPECT_FALSE(card(*view, 11)->isSelected());

  // Pressing the tab already chosen empties the selection too.
  view->tabButtons()[0]->click();
  EXPECT_TRUE(view->selectedWindows().empty());
  EXPECT_FALSE(view->recordButton()->isEnabled());
}

TEST_F(WindowSelectorViewTest, AWindowThatLeavesTheGridLeavesTheSelection) {
  QPointer<WindowSelectorView> view = openPicker();
  card(*view, 11)->click();
  card(*view, 12)->click();
  // Beta's window closed and the list was taken again: Alpha stays chosen.
  content.windowList = {alpha, nameless, gamma};
  test::awaitTask(view->viewModel().refreshWindows(true));
  ASSERT_EQ(view->selectedWindows().size(), 1u);
  EXPECT_EQ(view->selectedWindows()[0]->windowID, 11u);
  EXPECT_TRUE(card(*view, 11)->isSelected());

  // Alpha is made up, so its picture fails and it leaves the grid: nothing is left to record.
  test::awaitTask(view->viewModel().refreshWindows(false));
  ASSERT_TRUE(test::waitUntil([&] { return view->viewModel().pendingSnapshots() == 0; }));
  EXPECT_EQ(view->gridCount(), 0);
  EXPECT_TRUE(view->selectedWindows().empty());
  EXPECT_FALSE(view->recordButton()->isEnabled());
}

TEST_F(WindowSelectorViewTest, CardsAreAsWideAsTheColumnsAndStayInsideTheViewport) {
  listManyWindows(8);
  QPointer<WindowSelectorView> view = openPicker();
  // Viewports of 575 and 600 px, where columns of 170 px leave a few pixels spare, and a wide one
  // where the columns stop at 200.
  for (const int viewportWidth : {575, 600, 1000}) {
    // The scroll bar comes once the grid's new height is laid out: settle, then measure.
    for (int attempt = 0; attempt < 3 && view->scrollArea()->viewport()->width() != viewportWidth;
         ++attempt) {
      view->resize(view->width() + viewportWidth - view->scrollArea()->viewport()->width(), 450);
      QCoreApplication::sendPostedEvents();
    }
    const int viewport = view->scrollArea()->viewport()->width();
    ASSERT_EQ(viewport, viewportWidth);
    int left = viewport, right = 0;
    for (WindowThumbnailCard* c : view->cards()) {
      EXPECT_GE(c->width(), WindowThumbnailCard::kMinimumWidth) << viewport;
      EXPECT_LE(c->width(), WindowThumbnailCard::kMaximumWidth) << viewport;
      left = std::min(left, c->x());
      right = std::max(right, c->geometry().right() + 1);
    }
    EXPECT_GE(left, 16) << viewport;
    EXPECT_LE(right, viewport - 16) << "a card runs past the edge at " << viewport;
    // As many columns as fit: the room left over would not take another.
    EXPECT_LT(viewport - 32 - (right - left), WindowThumbnailCard::kMinimumWidth + 12) << viewport;
  }
}

TEST_F(WindowSelectorViewTest, RecordClosesThePickerAndRecordsOneWindowOrAllChosenInTheirOrder) {
  QPointer<WindowSelectorView> view = openPicker();
  card(*view, 12)->click();
  card(*view, 11)->click();
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return recording.calls.size() == 2; }));
  EXPECT_TRUE(test::waitUntil([&] { return !view; })) << "the picker stayed open";
  EXPECT_EQ(*recording.preparedMode, RecordingMode::windows({beta, alpha}));

  recording.calls.clear();
  QPointer<WindowSelectorView> single = openPicker();
  // One display with windows and one window: Record works at once.
  single->selectTab(1);
  card(*single, 14)->click();
  single->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return recording.calls.size() == 2; }));
  EXPECT_EQ(*recording.preparedMode, RecordingMode::window(gamma));
}

TEST_F(WindowSelectorViewTest, AFailedStartShowsTheAlertAfterThePickerClosed) {
  recording.failPrepare = true;
  QPointer<WindowSelectorView> view = openPicker();
  card(*view, 11)->click();
  view->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return openAlert() != nullptr; }));
  EXPECT_FALSE(view && view->isVisible());
  EXPECT_EQ(openAlert()->text(), "Recording Error");
  EXPECT_TRUE(openAlert()->informativeText().startsWith("Failed to start recording: "));
}

TEST(WindowSelectorViewModelRules, OnlyOtherApplicationsWindowsOfMoreThanFiftyPointsAreListed) {
  ShareableContent desktop;
  desktop.windows = {test::fakeWindow(1, "ours", {0, 0, 300, 300}, applicationBundleIdentifier()),
                     test::fakeWindow(2, "narrow", {0, 0, 50, 300}),
                     test::fakeWindow(3, "just enough", {0, 0, 51, 51}),
                     test::fakeWindow(4, "no application", {0, 0, 300, 300}, ""),
                     test::fakeWindow(5, "other", {0, 0, 300, 300})};
  std::vector<uint32_t> kept;
  for (const auto& window :
       WindowSelectorViewModel::selectableWindows(desktop, applicationBundleIdentifier()))
    kept.push_back(window->windowID);
  EXPECT_EQ(kept, (std::vector<uint32_t>{3, 5}));

  EXPECT_EQ(WindowSelectorViewModel::thumbnailSize({180, 150}), QSize(180, 150));
  EXPECT_EQ(WindowSelectorViewModel::thumbnailSize({300, 150}), QSize(150, 75));
}

TEST_F(WindowSelectorViewTest, AWindowAcrossTwoDisplaysIsListedUnderBoth) {
  const auto across = test::fakeWindow(20, "Across", {1100, 100, 400, 300});
  content.windowList = {across};
  WindowSelectorViewModel model(&content);
  test::awaitTask(model.refreshWindows(true));
  ASSERT_EQ(model.windowsOf(*left).size(), 1u);
  ASSERT_EQ(model.windowsOf(*right).size(), 1u);
  EXPECT_EQ(model.windowsOf(*left)[0], model.windowsOf(*right)[0]);
  EXPECT_TRUE(model.isReady());
}

}  // namespace
