// Pixel checks of the drawn overlays against their specified sizes, insets and colours.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cmath>

#include "overlays/CustomCursorView.h"
#include "overlays/MouseButtonColors.h"
#include "overlays/MousePointerView.h"
#include "overlays/OverlayPainting.h"
#include "overlays/RippleEffectView.h"
#include "overlays/ScreenMagnifierView.h"

namespace tk {
namespace {

using Type = MouseEventType;

QColor at(const QImage& image, int x, int y) {
  return image.pixelColor(x, y);
}

// Same hue as `expected` (colour channels within a few steps) at the given opacity.
::testing::AssertionResult looksLike(const QColor& actual, const QColor& expected, double opacity,
                                     int tolerance = 14) {
  const int alpha = int(std::lround(expected.alphaF() * opacity * 255));
  if (std::abs(actual.red() - expected.red()) > tolerance ||
      std::abs(actual.green() - expected.green()) > tolerance ||
      std::abs(actual.blue() - expected.blue()) > tolerance || std::abs(actual.alpha() - alpha) > tolerance) {
    return ::testing::AssertionFailure()
           << "got rgba(" << actual.red() << "," << actual.green() << "," << actual.blue() << ","
           << actual.alpha() << ") want rgba(" << expected.red() << "," << expected.green() << ","
           << expected.blue() << "," << alpha << ")";
  }
  return ::testing::AssertionSuccess();
}

// Lengths of the runs of visible pixels along the row through the centre, going right.
std::vector<std::pair<int, int>> runsRightOfCentre(const QImage& image, int threshold = 40) {
  std::vector<std::pair<int, int>> runs;  // (first radius, length)
  const int cx = image.width() / 2, cy = image.height() / 2;
  int start = -1;
  for (int x = cx; x <= image.width(); ++x) {
    const bool on = x < image.width() && at(image, x, cy).alpha() >= threshold;
    if (on && start < 0) start = x;
    if (!on && start >= 0) {
      runs.push_back({start - cx, x - start});
      start = -1;
    }
  }
  return runs;
}

TEST(MousePointerView, RestingRingIsBlackOuterAndGrayMiddleOnSeventyPixels) {
  const QImage image = MousePointerView{}.render();
  ASSERT_EQ(image.size(), QSize(70, 70));
  // Outer ring: inset 4, width 4, so radius 29..33 from the centre; black at 0.3.
  EXPECT_TRUE(looksLike(at(image, 35 + 31, 35), Qt::black, 0.3));
  EXPECT_TRUE(looksLike(at(image, 35, 35 - 32), Qt::black, 0.3));
  // Middle ring: inset 8, width 4, radius 25..29; gray at 0.3.
  EXPECT_TRUE(looksLike(at(image, 35 - 28, 35), MouseButtonColors::gray(), 0.3));
  // Inside and the corners stay clear; the pointer shows through.
  EXPECT_EQ(at(image, 35, 35).alpha(), 0);
  EXPECT_EQ(at(image, 35 + 20, 35).alpha(), 0);
  EXPECT_EQ(at(image, 1, 1).alpha(), 0);
}

TEST(MousePointerView, PressedButtonsColourTheMiddleRingAndDropTheOuterOne) {
  const struct {
    Type type;
    QColor colour;
  } cases[] = {{Type::leftMouseDown, MouseButtonColors::blue()},
               {Type::leftMouseDragged, MouseButtonColors::blue()},
               {Type::rightMouseDown, MouseButtonColors::purple()},
               {Type::rightMouseDragged, MouseButtonColors::purple()},
               {Type::otherMouseDown, MouseButtonColors::orange()},
               {Type::otherMouseDragged, MouseButtonColors::orange()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.type));
    MousePointerView view;
    view.event = c.type;
    const QImage image = view.render();
    EXPECT_TRUE(looksLike(at(image, 35 + 27, 35), c.colour, 0.8));
    EXPECT_EQ(at(image, 35 + 32, 35).alpha(), 0) << "no outer ring while a button is down";
    // The gray inner hairline sits at radius 25, just inside the middle ring.
    EXPECT_GT(at(image, 35 - 25, 35).alpha(), at(MousePointerView{}.render(), 35 - 25, 35).alpha());
  }
  MousePointerView released;
  released.event = Type::leftMouseUp;
  EXPECT_TRUE(looksLike(at(released.render(), 35 + 31, 35), Qt::black, 0.3));
}

TEST(MousePointerView, HiddenSystemPointerGetsACentreDot) {
  MousePointerView view;
  view.showMouse = false;
  view.event = Type::rightMouseDown;
  const QImage image = view.render();
  EXPECT_TRUE(looksLike(at(image, 35, 35), MouseButtonColors::purple(), 0.8));
  EXPECT_EQ(at(image, 35 + 6, 35).alpha(), 0);  // the dot is 8 across
}

TEST(CustomCursorView, CircleHasGlowBodyAndWhiteRingAtItsSize) {
  CustomCursorView view;
  view.size = 24;
  view.event = Type::leftMouseDown;
  const QImage image = view.render(0);
  ASSERT_EQ(image.size(), QSize(48, 48));
  const int c = 24;
  // Body: radius 12, blue at 0.8 (with a little glow beneath).
  const QColor body = at(image, c + 11, c);
  EXPECT_GT(body.blue(), 200);
  EXPECT_LT(body.red(), 40);
  EXPECT_NEAR(body.alpha(), 0.8 * 255, 16);
  // Ring: diameter 0.7 * 24, width 2: radius 7.4..9.4, white over the body.
  const QColor ring = at(image, c + 8, c);
  EXPECT_GT(ring.red(), 180);
  EXPECT_GT(ring.green(), 180);
  // Glow: a faint halo just outside the body, nothing far out.
  EXPECT_GT(at(image, c + 14, c).alpha(), 0);
  EXPECT_LT(at(image, c + 14, c).alpha(), 52);
  EXPECT_LT(at(image, 1, 1).alpha(), 3);
}

TEST(CustomCursorView, UnpressedFirstDrawingIsGrayAtLowerOpacity) {
  CustomCursorView view;
  view.size = 24;
  const QImage image = view.render(0);
  const QColor body = at(image, 24 + 11, 24);
  EXPECT_NEAR(body.alpha(), 0.6 * 255 + 0.2 * 0.4 * 255 * 0.5, 25);
  EXPECT_NEAR(body.red(), MouseButtonColors::gray().red(), 12);
  // `custom` draws exactly the circle cursor.
  CustomCursorView custom = view;
  custom.style = CursorStyle::custom;
  EXPECT_EQ(custom.render(0), image);
  // Without the system pointer a white dot marks it.
  view.showMouse = false;
  EXPECT_EQ(at(view.render(0), 24, 24), QColor(Qt::white));
}

TEST(CustomCursorView, ArrowPointsUpLeftAndPointerUp) {
  CustomCursorView arrow;
  arrow.size = 40;
  arrow.style = CursorStyle::arrow;
  arrow.event = Type::rightMouseDown;
  const QImage image = arrow.render(0);
  ASSERT_EQ(image.size(), QSize(80, 80));
  // The shape's square starts at 20; the unit point (0.3, 0.5) is inside, (0.7, 0.5) is not.
  const QColor inside = at(image, 20 + 12, 20 + 20);
  EXPECT_GT(inside.alpha(), 200);
  EXPECT_GT(inside.red(), inside.green());  // purple
  EXPECT_LT(at(image, 20 + 28, 20 + 20).alpha(), 70);
  // Tip at the top left, nothing at the mirrored bottom-right corner.
  EXPECT_GT(at(image, 20 + 10, 20 + 10).alpha(), 120);
  EXPECT_LT(at(image, 20 + 30, 20 + 33).alpha(), 70);

  CustomCursorView pointer = arrow;
  pointer.style = CursorStyle::pointer;
  const QImage tab = pointer.render(0);
  EXPECT_GT(at(tab, 40, 20 + 12).alpha(), 200);    // (0.5, 0.3): inside, under the point
  EXPECT_LT(at(tab, 20 + 6, 20 + 6).alpha(), 70);  // (0.15, 0.15): outside
  EXPECT_GT(at(tab, 40, 20 + 30).alpha(), 200);    // (0.5, 0.75)
  EXPECT_LT(at(tab, 40, 20 + 36).alpha(), 70);     // (0.5, 0.9): below the base
}

TEST(CustomCursorView, ClickPulsesOnlyWhenTheFlagTurnsOnWhileShown) {
  CustomCursorView view;
  view.size = 20;
  view.setAnimating(true, 10.0);
  EXPECT_DOUBLE_EQ(view.animationScale(10.15), 1.3);
  EXPECT_GT(view.animationScale(10.05), 1.0);
  EXPECT_LT(view.animationScale(10.25), 1.3);
  EXPECT_DOUBLE_EQ(view.animationScale(10.31), 1.0);
  // The pulse enlarges the drawing: the body reaches further out at its peak.
  const int edge = 20 + 11;  // just outside the resting body of radius 10
  EXPECT_GT(at(view.render(10.15), edge, 20).alpha(), at(view.render(10.5), edge, 20).alpha() + 60);

  CustomCursorView still;
  still.enableScaleAnimation = false;
  still.setAnimating(true, 10.0);
  EXPECT_FALSE(still.isPulsing(10.1));
  EXPECT_EQ(still.render(10.15), CustomCursorView{}.render(0));
}

TEST(RippleEffectView, RingsGrowAndFadeWithEaseOut) {
  const RippleEffectView view(QColor(255, 0, 0), ClickType::leftClick);
  EXPECT_DOUBLE_EQ(view.rippleScale(0), 0.1);
  EXPECT_DOUBLE_EQ(view.rippleOpacity(0), 0.8);
  EXPECT_DOUBLE_EQ(view.rippleScale(0.6), 1.0);
  EXPECT_DOUBLE_EQ(view.rippleOpacity(0.6), 0.0);
  // Ease-out: more than half the growth in the first half of the time.
  EXPECT_GT(view.rippleScale(0.3), 0.1 + 0.9 * 0.6);
  EXPECT_EQ(view.render(0.6).pixelColor(100, 100).alpha(), 0);

  const RippleEffectView twice(QColor(255, 0, 0), ClickType::doubleClick);
  EXPECT_DOUBLE_EQ(twice.rippleOpacity(0.4), 0.0);
  EXPECT_DOUBLE_EQ(twice.rippleOpacity(0.5), 0.0);
}

TEST(RippleEffectView, LeftClickDrawsThreeRingsOfTheUserColourAroundADot) {
  const QColor user = QColor::fromRgbF(0, 0.5f, 1, 0.5f);
  const RippleEffectView view(user, ClickType::leftClick);
  const double elapsed = 0.2;
  const double scale = view.rippleScale(elapsed), opacity = view.rippleOpacity(elapsed);
  const QImage image = view.render(elapsed);
  ASSERT_EQ(image.size(), QSize(200, 200));
  const auto runs = runsRightOfCentre(image, 8);
  // The dot (radius 20) and three rings at 100 * (scale - 0.1 i), each line 3 * its scale wide.
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_EQ(runs[0].first, 0);
  EXPECT_NEAR(runs[0].second, 20, 1);
  for (int ring = 0; ring < 3; ++ring) {
    const double ringScale = scale - 0.1 * ring;
    const auto& run = runs[size_t(3 - ring)];
    EXPECT_NEAR(run.first + run.second / 2.0, 100 * ringScale, 1.5) << ring;
    EXPECT_NEAR(run.second, 3 * ringScale, 2.0) << ring;
  }
  EXPECT_TRUE(looksLike(at(image, 100 + 5, 100), user, opacity, 6));
  const int outer = int(std::lround(100 * scale)) + 100;
  EXPECT_TRUE(looksLike(at(image, outer, 100), user, opacity, 40));
  // The same ring to the left and above: the drawing is centred.
  EXPECT_EQ(at(image, 199 - outer, 100).alpha(), at(image, outer, 100).alpha());
}

TEST(RippleEffectView, RightAndDoubleClicksIgnoreTheUserColour) {
  const QColor user(0, 255, 0);
  const RippleEffectView right(user, ClickType::rightClick);
  const QImage purple = right.render(0.2);
  EXPECT_EQ(runsRightOfCentre(purple, 8).size(), 3u);  // dot and two rings
  EXPECT_TRUE(looksLike(at(purple, 105, 100), MouseButtonColors::purple(), right.rippleOpacity(0.2), 6));

  const RippleEffectView twice(user, ClickType::doubleClick);
  // Late enough that the smallest ring has left the dot.
  ASSERT_GT(twice.rippleScale(0.15) - 0.3, 0.25);
  const QImage yellow = twice.render(0.15);
  EXPECT_EQ(runsRightOfCentre(yellow, 8).size(), 5u);  // dot and four rings
  EXPECT_TRUE(looksLike(at(yellow, 105, 100), MouseButtonColors::yellow(), twice.rippleOpacity(0.15), 6));
  // Right clicks draw wider lines than left ones, double clicks thinner.
  EXPECT_EQ(RippleEffectView::style(ClickType::rightClick, user).lineWidth, 4);
  EXPECT_EQ(RippleEffectView::style(ClickType::doubleClick, user).lineWidth, 2);
}

TEST(ScreenMagnifierView, ShowsEveryPixelAsASharpThreeByThreeBlockInABlueFrame) {
  QImage shot(ScreenMagnifierView::kRegion, QImage::Format_RGB32);
  shot.fill(Qt::white);
  shot.setPixelColor(10, 20, Qt::red);
  shot.setPixelColor(20, 10, Qt::green);
  const QImage image = ScreenMagnifierView::render(shot);
  ASSERT_EQ(image.size(), QSize(402, 348));
  for (int dy = 0; dy < 3; ++dy) {
    for (int dx = 0; dx < 3; ++dx) {
      EXPECT_EQ(at(image, 30 + dx, 60 + dy), QColor(Qt::red));
      EXPECT_EQ(at(image, 60 + dx, 30 + dy), QColor(Qt::green));
    }
  }
  EXPECT_EQ(at(image, 29, 60), QColor(Qt::white));
  EXPECT_EQ(at(image, 33, 60), QColor(Qt::white));
  // Frame: 2 pixels of blue at 0.5 over the picture along every edge.
  const QColor frame = at(image, 0, 100);
  EXPECT_LT(frame.red(), 160);
  EXPECT_GT(frame.blue(), 240);
  EXPECT_EQ(at(image, 401, 100), frame);
  EXPECT_EQ(at(image, 200, 347), frame);
  EXPECT_EQ(at(image, 3, 100), QColor(Qt::white));
}

TEST(OverlayPainting, CoveredRegionKeepsOnlyWhatIsDrawn) {
  const QImage ring = MousePointerView{}.render();
  const QRegion region = OverlayPainting::coveredRegion(ring, 32);
  EXPECT_TRUE(region.contains(QPoint(35 + 31, 35)));
  EXPECT_FALSE(region.contains(QPoint(35, 35)));
  EXPECT_FALSE(region.contains(QPoint(0, 0)));
  EXPECT_LT(region.boundingRect().width(), 70);
}

}  // namespace
}  // namespace tk
