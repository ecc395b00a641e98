#include "overlays/CursorOverlayController.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <QWindow>
#include <cstdlib>

#include "overlays/DesktopDriver.h"
#include "overlays/KeyboardShortcutHandler.h"
#include "overlays/OverlayWindow.h"
#include "platform/x11/SystemCursor.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

using test::waitUntil;
using test::xdotool;

struct Click {
  QPointF point;
  ClickType type;
};

MouseEvent press(MouseEventType type, QPointF at, int count = 1) {
  MouseEvent event;
  event.type = type;
  event.location = at;
  event.clickCount = count;
  return event;
}

// Click classification and the threshold, fed with events directly and a clock of our own.
class ClickFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    controller.setClock([this] { return clock; });
    controller.setClickHandler([this](QPointF point, ClickType type) { clicks.push_back({point, type}); });
  }
  CursorOverlayController controller;
  double clock = 100;
  std::vector<Click> clicks;
};

TEST_F(ClickFilter, ClassifiesPressesAndIgnoresEverythingElse) {
  controller.setClickThreshold(0);
  controller.handleMouseClick(press(MouseEventType::leftMouseDown, {1, 2}, 1));
  controller.handleMouseClick(press(MouseEventType::leftMouseDown, {1, 2}, 2));
  controller.handleMouseClick(press(MouseEventType::leftMouseDown, {1, 2}, 3));
  controller.handleMouseClick(press(MouseEventType::rightMouseDown, {1, 2}, 2));
  for (MouseEventType other :
       {MouseEventType::otherMouseDown, MouseEventType::leftMouseUp, MouseEventType::rightMouseUp,
        MouseEventType::mouseMoved, MouseEventType::leftMouseDragged, MouseEventType::scrollWheel}) {
    controller.handleMouseClick(press(other, {1, 2}));
  }
  ASSERT_EQ(clicks.size(), 4u);
  EXPECT_EQ(clicks[0].type, ClickType::leftClick);
  EXPECT_EQ(clicks[1].type, ClickType::doubleClick);
  EXPECT_EQ(clicks[2].type, ClickType::leftClick);  // a triple click is no double click
  EXPECT_EQ(clicks[3].type, ClickType::rightClick);
  EXPECT_EQ(clicks[3].point, QPointF(1, 2));
}

TEST_F(ClickFilter, ThresholdIsMeasuredFromTheLastAcceptedClick) {
  test::CapturedLines lines;
  controller.handleMouseClick(press(MouseEventType::leftMouseDown, {5, 5}));
  clock += 0.3;
  controller.handleMouseClick(press(MouseEventType::rightMouseDown, {6, 6}));
  clock += 0.3;  // 0.6 s after the accepted click, 0.3 s after the filtered one
  controller.handleMouseClick(press(MouseEventType::leftMouseDown, {7, 7}));
  ASSERT_EQ(clicks.size(), 2u);
  EXPECT_EQ(clicks[1].point, QPointF(7, 7));
  EXPECT_DOUBLE_EQ(*controller.lastClickTime(), 100.6);
  EXPECT_TRUE(lines.contains("   ⏭️ Filtered rapid click (threshold: 0.5s, elapsed: 0.300s)"));
  EXPECT_TRUE(lines.contains("   📍 Position: (7, 7)"));
}

TEST_F(ClickFilter, AcceptedClickPublishesAndAnimatesForAMoment) {
  controller.setEnableRippleEffect(false);
  controller.handleMouseClick(press(MouseEventType::rightMouseDown, {40.7, -3.2}));
  EXPECT_EQ(controller.lastClickPosition(), QPointF(40.7, -3.2));
  EXPECT_EQ(controller.lastClickType(), ClickType::rightClick);
  EXPECT_TRUE(controller.isAnimating());
  EXPECT_TRUE(waitUntil([&] { return !controller.isAnimating(); }, std::chrono::seconds(30)));
}

// The live overlays on the private desktop, driven through XTest.
class LiveOverlays : public ::testing::Test {
 protected:
  void SetUp() override {
    TK_REQUIRE_DESKTOP();
    ASSERT_TRUE(moveTo(50, 50));
    controller = std::make_unique<CursorOverlayController>();
    controller->setClickHandler([this](QPointF point, ClickType type) { clicks.push_back({point, type}); });
    controller->setCursorMoveHandler([this](QPointF point) { moves.push_back(point); });
    controller->setHighlightEnabled(true);
    controller->startMouseMonitoring();
    ASSERT_TRUE(controller->isMonitoring());
  }
  void TearDown() override {
    if (controller) controller->stopMouseMonitoring();
  }

  // Moves the pointer to a root point and waits until the move is reported: every event sent
  // before has then been handled too.
  bool settleAt(int x, int y) {
    if (!moveTo(x, y)) return false;
    const QPointF expected(x, 1080 - y);
    return waitUntil([&] { return !moves.empty() && moves.back() == expected; });
  }
  static QPointF global(int x, int y) { return QPointF(x, 1080 - y); }
  bool moveTo(int x, int y) {
    input.movePointer(x, y);
    return true;
  }

  test::ForeignClient input;

  std::unique_ptr<CursorOverlayController> controller;
  std::vector<Click> clicks;
  std::vector<QPointF> moves;
};

// A window of this application that counts the presses it receives.
class CountingWindow : public QWidget {
 public:
  explicit CountingWindow(QRect frame)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(40, 160, 90));
    setPalette(colours);
    setGeometry(frame);
    show();
  }
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST_F(LiveOverlays, ClicksArriveWithTheirTypeInTheBottomLeftSpace) {
  controller->setClickThreshold(0);
  ASSERT_TRUE(moveTo(300, 200) && xdotool({"click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return clicks.size() == 1; }));
  EXPECT_EQ(clicks[0].type, ClickType::leftClick);
  EXPECT_EQ(clicks[0].point, global(300, 200));

  ASSERT_TRUE(moveTo(400, 250) && xdotool({"click", "3"}));
  ASSERT_TRUE(waitUntil([&] { return clicks.size() == 2; }));
  EXPECT_EQ(clicks[1].type, ClickType::rightClick);
  EXPECT_EQ(clicks[1].point, global(400, 250));

  ASSERT_TRUE(moveTo(500, 300) && xdotool({"click", "--repeat", "2", "--delay", "60", "1"}));
  ASSERT_TRUE(waitUntil([&] { return clicks.size() == 4; }));
  EXPECT_EQ(clicks[2].type, ClickType::leftClick);
  EXPECT_EQ(clicks[3].type, ClickType::doubleClick);
  EXPECT_EQ(clicks[3].point, global(500, 300));
}

TEST_F(LiveOverlays, RapidClicksInsideTheThresholdAreDropped) {
  test::CapturedLines lines;
  ASSERT_TRUE(moveTo(600, 400) && xdotool({"click", "--repeat", "3", "--delay", "30", "1"}));
  ASSERT_TRUE(settleAt(610, 400));
  EXPECT_EQ(clicks.size(), 1u);
  EXPECT_TRUE(lines.contains("   ⏭️ Filtered rapid click (threshold: 0.5s"));
}

TEST_F(LiveOverlays, ScrollingIsNoClickAndNoMove) {
  ASSERT_TRUE(settleAt(700, 300));
  const QRect before = controller->mousePointerWindow().geometry();
  moves.clear();
  ASSERT_TRUE(xdotool({"click", "4", "click", "5", "click", "6", "click", "7"}));
  ASSERT_TRUE(settleAt(705, 300));
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(moves.size(), 1u);
  EXPECT_EQ(before, QRect(665, 265, 70, 70));
}

TEST_F(LiveOverlays, MovesAndDragsReachTheMoveHandler) {
  ASSERT_TRUE(settleAt(700, 500));
  // The press's place is read from the server when the press is handled, so move on after it.
  ASSERT_TRUE(xdotool({"mousedown", "1"}));
  ASSERT_TRUE(waitUntil([&] { return clicks.size() == 1; }));
  ASSERT_TRUE(moveTo(720, 520) && xdotool({"mouseup", "1"}));
  ASSERT_TRUE(waitUntil([&] { return !moves.empty() && moves.back() == global(720, 520); }));
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].point, global(700, 500));
}

TEST_F(LiveOverlays, EventsOnOurOwnWindowsAreNotReported) {
  CountingWindow own(QRect(800, 300, 200, 200));
  ASSERT_TRUE(waitUntil([&] { return own.isVisible() && own.windowHandle()->isExposed(); }));
  ASSERT_TRUE(moveTo(900, 400) && xdotool({"click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return own.presses == 1; }));
  ASSERT_TRUE(settleAt(100, 100));
  EXPECT_TRUE(clicks.empty());
  for (const QPointF& move : moves) EXPECT_NE(move, global(900, 400));
}

TEST_F(LiveOverlays, PointerWindowFollowsThePointerAndLetsClicksThrough) {
  test::ForeignClient other;
  const QColor green(40, 160, 90);
  other.window(QRect(1000, 500, 200, 200), green);
  ASSERT_TRUE(moveTo(1100, 600));
  OverlayWindow& pointer = controller->mousePointerWindow();
  ASSERT_TRUE(
      waitUntil([&] { return pointer.isOrderedIn() && pointer.geometry() == QRect(1065, 565, 70, 70); }));
  EXPECT_EQ(pointer.windowTitle(), "Mouse Pointer");
  ASSERT_TRUE(xdotool({"click", "1"}));
  EXPECT_TRUE(waitUntil([&] { return other.presses() == 1; }));
  EXPECT_TRUE(waitUntil([&] { return clicks.size() == 1; }));

  // No compositor here: the ring is cut to what it draws, so the window beneath shows through
  // its middle and the outer ring shows as its own opaque colour.
  ASSERT_FALSE(pointer.isTranslucent());
  ASSERT_TRUE(settleAt(1100, 620));
  EXPECT_TRUE(waitUntil([&] { return other.screenPixel({1100, 620}) == green; }));
  EXPECT_TRUE(waitUntil([&] { return other.screenPixel({1100 + 31, 620}) == QColor(Qt::black); }));
  EXPECT_EQ(other.screenPixel({1100 + 34, 620 + 33}), green);  // the square's corner
}

TEST_F(LiveOverlays, RippleAppearsAtTheClickAndGoes) {
  controller->setClickThreshold(0);
  ASSERT_TRUE(moveTo(500, 500) && xdotool({"click", "1"}));
  OverlayWindow& ripple = controller->rippleWindow();
  ASSERT_TRUE(waitUntil([&] { return ripple.isOrderedIn(); }));
  EXPECT_EQ(ripple.geometry(), QRect(400, 400, 200, 200));
  EXPECT_EQ(ripple.windowTitle(), "Ripple Effect");
  EXPECT_TRUE(waitUntil([&] { return !ripple.isOrderedIn(); }, std::chrono::seconds(30)));
}

TEST_F(LiveOverlays, CustomCursorReplacesTheRingAtTwiceItsSize) {
  controller->stopMouseMonitoring();
  controller->setCustomCursorStyle(CursorStyle::arrow);
  controller->setCustomCursorSize(30);
  controller->setUseCustomCursor(true);
  controller->startMouseMonitoring();
  ASSERT_TRUE(settleAt(900, 700));
  OverlayWindow& pointer = controller->mousePointerWindow();
  EXPECT_EQ(pointer.geometry(), QRect(870, 670, 60, 60));
  // The arrow's tip is up and to the left of the pointer.
  EXPECT_GT(pointer.picture().pixelColor(20, 20).alpha(), 100);
  EXPECT_LT(pointer.picture().pixelColor(40, 42).alpha(), 60);
}

TEST_F(LiveOverlays, MagnifierShowsThreeTimesThePixelsUnderThePointerButNeverItself) {
  test::ForeignClient other;
  const uint32_t red = other.window(QRect(500, 300, 300, 300), QColor(255, 0, 0));
  other.window(QRect(0, 0, 100, 100), QColor(0, 0, 255), red);
  controller->setMagnifierEnabled(true);
  OverlayWindow& magnifier = controller->magnifierWindow();

  for (const int x : {560, 561, 562}) {
    SCOPED_TRACE(x);
    const QPoint pointer(x, 390);
    ASSERT_TRUE(settleAt(pointer.x(), pointer.y()));
    ASSERT_TRUE(waitUntil([&] {
      return magnifier.isOrderedIn() &&
             magnifier.geometry() == QRect(pointer - QPoint(201, 174), QSize(402, 348));
    }));
    EXPECT_EQ(magnifier.windowTitle(), "Screen Magnifier");
    const QPoint origin = pointer - QPoint(67, 58);
    auto shown = [&](QPoint root) {
      const QPoint block = (root - origin) * 3 + QPoint(1, 1);
      return magnifier.picture().pixelColor(block);
    };
    EXPECT_EQ(shown({503, 342}), QColor(0, 0, 255));
    EXPECT_EQ(shown({613, 342}), QColor(255, 0, 0));
    EXPECT_EQ(shown({503, 432}), QColor(255, 0, 0));
    // Left of the red window lies bare root: black, not the magnifier's own picture.
    EXPECT_EQ(shown({496, 342}), QColor(0, 0, 0));
    // And the screen shows the magnified picture where the window is.
    const QPoint onScreen = magnifier.geometry().topLeft() + (QPoint(503, 342) - origin) * 3;
    // The server paints the moved window on its own time: wait for it rather than read once.
    EXPECT_TRUE(waitUntil([&] { return other.screenPixel(onScreen + QPoint(1, 1)) == QColor(0, 0, 255); }));
  }
  controller->setMagnifierEnabled(false);
  EXPECT_FALSE(magnifier.isOrderedIn());
}

TEST_F(LiveOverlays, CtrlShiftMTogglesTheMagnifier) {
  KeyboardShortcutHandler& shortcuts = KeyboardShortcutHandler::shared();
  CursorOverlayController* overlay = controller.get();
  shortcuts.registerShortcut(KeyboardShortcutHandler::ShortcutKey::toggleMagnifier,
                             [overlay] { overlay->setMagnifierEnabled(!overlay->isMagnifierEnabled()); });
  shortcuts.startShortcutMonitoring();
  shortcuts.startShortcutMonitoring();
  ASSERT_TRUE(shortcuts.holdsDesktopGrab());
  ASSERT_TRUE(xdotool({"key", "ctrl+m", "shift+m", "ctrl+shift+m"}));
  ASSERT_TRUE(waitUntil([&] { return overlay->isMagnifierEnabled(); }));
  ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+m"}));
  ASSERT_TRUE(waitUntil([&] { return !overlay->isMagnifierEnabled(); }));
  // Ctrl+M and Shift+M did nothing: one more Ctrl+Shift+M turns it on, not off.
  ASSERT_TRUE(xdotool({"key", "ctrl+shift+m"}));
  ASSERT_TRUE(waitUntil([&] { return overlay->isMagnifierEnabled(); }));
  shortcuts.registerShortcut(KeyboardShortcutHandler::ShortcutKey::toggleMagnifier, {});
}

TEST_F(LiveOverlays, SystemPointerComesBackAfterStopFailedStartAndDestruction) {
  controller->stopMouseMonitoring();
  controller->setCustomCursorStyle(CursorStyle::circle);
  controller->setUseCustomCursor(true);
  EXPECT_FALSE(SystemCursor::isHidden());
  controller->startMouseMonitoring();
  EXPECT_TRUE(SystemCursor::isHidden());
  controller->stopMouseMonitoring();
  EXPECT_FALSE(SystemCursor::isHidden());

  // Turning the custom cursor off while monitoring shows the pointer at once, and back.
  controller->startMouseMonitoring();
  controller->setUseCustomCursor(false);
  EXPECT_FALSE(SystemCursor::isHidden());
  controller->setUseCustomCursor(true);
  EXPECT_TRUE(SystemCursor::isHidden());
  controller.reset();
  EXPECT_FALSE(SystemCursor::isHidden());

  // A start that cannot reach the mouse leaves the pointer alone.
  const std::string display = std::getenv("DISPLAY");
  setenv("DISPLAY", ":59999", 1);
  CursorOverlayController failing;
  failing.setCustomCursorStyle(CursorStyle::circle);
  failing.setUseCustomCursor(true);
  failing.startMouseMonitoring();
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_FALSE(failing.isMonitoring());
  EXPECT_FALSE(SystemCursor::isHidden());
  failing.stopMouseMonitoring();
  EXPECT_FALSE(SystemCursor::isHidden());
}

}  // namespace
}  // namespace tk
