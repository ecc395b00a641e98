// The area overlay's geometry in the display's bottom-left model: every handle, the bounds rules,
// moves, new areas and typed sizes, and the flip at the widget's edge.

#include "selection/AreaOverlayView.h"

#include <gtest/gtest.h>

#include "selection/AreaSelectionStorage.h"

using namespace tk;

namespace {

// A 1920 x 1080 display with a 600 x 450 area in its middle: (660, 315) to (1260, 765).
class AreaOverlayViewTest : public ::testing::Test {
 protected:
  AreaSelectionStorage storage;
  AreaOverlayView view{QSizeF(1920, 1080), QSizeF(600, 450), storage};

  // A whole gesture: press, drag through the points, release.
  void drag(QPointF from, std::initializer_list<QPointF> through) {
    view.mouseDownAt(from);
    for (QPointF point : through) view.mouseDraggedTo(point);
    view.mouseUp();
  }
  // Pulls `handle` by (dx, dy) from its square's centre.
  void pull(ResizeHandle handle, double dx, double dy) {
    const QPointF start = handleSquare(handle, *view.selectionRect()).center();
    drag(start, {start + QPointF(dx, dy)});
  }
  QRectF area() const { return *view.selectionRect(); }
};

TEST_F(AreaOverlayViewTest, StartsCentredAndPublishesTheSameArea) {
  EXPECT_EQ(area(), QRectF(660, 315, 600, 450));
  EXPECT_EQ(storage.selectedArea, area());

  // A display smaller than the starting size still holds the whole area.
  AreaSelectionStorage small;
  AreaOverlayView tiny(QSizeF(500, 400), QSizeF(600, 450), small);
  EXPECT_EQ(*tiny.selectionRect(), QRectF(0, 0, 500, 400));
}

TEST_F(AreaOverlayViewTest, HandleSquaresSitOneOutsideEachCornerAndEdgeMidpoint) {
  const QRectF r = area();
  const struct {
    ResizeHandle handle;
    QPointF centre;
  } expected[] = {
      {ResizeHandle::topLeft, {r.left() - 1, r.bottom() + 1}},
      {ResizeHandle::top, {r.center().x(), r.bottom() + 1}},
      {ResizeHandle::topRight, {r.right() + 1, r.bottom() + 1}},
      {ResizeHandle::right, {r.right() + 1, r.center().y()}},
      {ResizeHandle::bottomRight, {r.right() + 1, r.top() - 1}},
      {ResizeHandle::bottom, {r.center().x(), r.top() - 1}},
      {ResizeHandle::bottomLeft, {r.left() - 1, r.top() - 1}},
      {ResizeHandle::left, {r.left() - 1, r.center().y()}},
  };
  for (const auto& [handle, centre] : expected) {
    EXPECT_EQ(handleSquare(handle, r).center(), centre) << int(handle);
    EXPECT_EQ(view.handle(centre), handle) << int(handle);
    // The square is 10 wide: 5 from its centre is still on it, 6 is not.
    EXPECT_EQ(view.handle(centre + QPointF(5, -5)), handle) << int(handle);
  }
  EXPECT_EQ(view.handle(r.center()), ResizeHandle::none);
  EXPECT_EQ(view.handle(QPointF(r.left() - 1, r.bottom() + 7)), ResizeHandle::none);
}

TEST_F(AreaOverlayViewTest, EveryHandleMovesItsOwnEdgesAndNoOther) {
  const struct {
    ResizeHandle handle;
    QRectF expected;  // after a pull of (+30, +20), y up
  } cases[] = {
      {ResizeHandle::topLeft, QRectF(690, 315, 570, 470)},
      {ResizeHandle::top, QRectF(660, 315, 600, 470)},
      {ResizeHandle::topRight, QRectF(660, 315, 630, 470)},
      {ResizeHandle::right, QRectF(660, 315, 630, 450)},
      {ResizeHandle::bottomRight, QRectF(660, 335, 630, 430)},
      {ResizeHandle::bottom, QRectF(660, 335, 600, 430)},
      {ResizeHandle::bottomLeft, QRectF(690, 335, 570, 430)},
      {ResizeHandle::left, QRectF(690, 315, 570, 450)},
  };
  for (const auto& [handle, expected] : cases) {
    AreaSelectionStorage fresh;
    AreaOverlayView each(QSizeF(1920, 1080), QSizeF(600, 450), fresh);
    const QPointF from = handleSquare(handle, *each.selectionRect()).center();
    each.mouseDownAt(from);
    EXPECT_EQ(each.activeHandle(), handle);
    each.mouseDraggedTo(from + QPointF(30, 20));
    each.mouseUp();
    EXPECT_EQ(*each.selectionRect(), expected) << int(handle);
    EXPECT_EQ(fresh.selectedArea, expected) << int(handle);
  }
}

TEST_F(AreaOverlayViewTest, APulledEdgeStopsAtTheMinimumSideAndWidensAgainAtOnce) {
  const double right = area().right();
  const QPointF from = handleSquare(ResizeHandle::left, area()).center();
  view.mouseDownAt(from);
  view.mouseDraggedTo(from + QPointF(900, 0));  // far past the right edge
  EXPECT_EQ(area().width(), AreaOverlayView::kMinimumSide);
  EXPECT_EQ(area().right(), right);
  view.mouseDraggedTo(from + QPointF(850, 0));  // 50 back
  EXPECT_EQ(area().width(), AreaOverlayView::kMinimumSide + 50);
  EXPECT_EQ(area().right(), right);
  view.mouseUp();
}

TEST_F(AreaOverlayViewTest, AHandleThatReachesTheDisplayEdgeKeepsTheOppositeEdgesWhereTheyAre) {
  // Left past the display's left edge: the right edge stays.
  pull(ResizeHandle::left, -2000, 0);
  EXPECT_EQ(area(), QRectF(0, 315, 1260, 450));
  // Bottom past the display's bottom: the top stays.
  pull(ResizeHandle::bottom, 0, -2000);
  EXPECT_EQ(area(), QRectF(0, 0, 1260, 765));
  // Top past the display's top: cut at the edge.
  pull(ResizeHandle::top, 0, 2000);
  EXPECT_EQ(area(), QRectF(0, 0, 1260, 1080));
  // Right past the right edge, and both edges of a corner at once.
  pull(ResizeHandle::right, 2000, 0);
  EXPECT_EQ(area(), QRectF(0, 0, 1920, 1080));
  view.setSelectionSize(QSizeF(100, 100));
  pull(ResizeHandle::topRight, 5000, 5000);
  EXPECT_EQ(area(), QRectF(0, 0, 1920, 1080));
  view.setSelectionSize(QSizeF(100, 100));
  pull(ResizeHandle::bottomLeft, -5000, -5000);
  EXPECT_EQ(area(), QRectF(0, 0, 100, 100));
}

TEST_F(AreaOverlayViewTest, MovingStopsFlushWithEachEdgeAndKeepsTheSize) {
  const QPointF inside = area().center();
  drag(inside, {inside + QPointF(5000, 0)});
  EXPECT_EQ(area(), QRectF(1320, 315, 600, 450));
  const QPointF again = area().center();
  drag(again, {again + QPointF(0, 5000)});
  EXPECT_EQ(area(), QRectF(1320, 630, 600, 450));
  const QPointF third = area().center();
  drag(third, {third + QPointF(-5000, -5000)});
  EXPECT_EQ(area(), QRectF(0, 0, 600, 450));
  // Each event moves by the distance since the one before.
  const QPointF fourth = area().center();
  drag(fourth, {fourth + QPointF(10, 10), fourth + QPointF(25, 40)});
  EXPECT_EQ(area(), QRectF(25, 40, 600, 450));
}

TEST_F(AreaOverlayViewTest, APressInsideOnAHandleSquareResizesInsteadOfMoving) {
  // The inner half of the left handle's square lies inside the area.
  const QPointF onHandle(area().left() + 3, area().center().y());
  view.mouseDownAt(onHandle);
  EXPECT_EQ(view.activeHandle(), ResizeHandle::left);
  EXPECT_TRUE(view.isDragging());
  view.mouseDraggedTo(onHandle + QPointF(40, 0));
  view.mouseUp();
  EXPECT_EQ(area(), QRectF(700, 315, 560, 450));
}

TEST_F(AreaOverlayViewTest, ADragOutsideTheAreaDrawsANewOne) {
  drag({100, 200}, {{400, 120}});
  EXPECT_EQ(area(), QRectF(100, 120, 300, 80));
  // A drag of 3 points gives the minimum area at the smaller point.
  drag({50, 60}, {{47, 63}});
  EXPECT_EQ(area(), QRectF(47, 60, 20, 20));
  // Near the right and top edges the minimum area moves back inside.
  drag({1919, 1079}, {{1918, 1078}});
  EXPECT_EQ(area(), QRectF(1900, 1060, 20, 20));
  // A press without a drag changes nothing.
  view.mouseDownAt({500, 500});
  view.mouseUp();
  EXPECT_EQ(area(), QRectF(1900, 1060, 20, 20));
  // Nor does a drag that no press began.
  view.mouseDraggedTo({10, 10});
  EXPECT_EQ(area(), QRectF(1900, 1060, 20, 20));
}

TEST_F(AreaOverlayViewTest, ConstrainingKeepsEveryRectangleInsideTheDisplay) {
  EXPECT_EQ(view.constrainToBounds({-10, -20, 100, 100}), QRectF(0, 0, 100, 100));
  EXPECT_EQ(view.constrainToBounds({1900, 1000, 100, 100}), QRectF(1900, 1000, 20, 80));
  EXPECT_EQ(view.constrainToBounds({1910, 1075, 5, 5}), QRectF(1900, 1060, 20, 20));
  EXPECT_EQ(view.constrainToBounds({0, 0, 5000, 5000}), QRectF(0, 0, 1920, 1080));
}

TEST_F(AreaOverlayViewTest, ATypedSizeKeepsTheOriginWhereItFitsAndStaysInside) {
  view.setSelectionSize({1000, 500});
  EXPECT_EQ(area(), QRectF(660, 315, 1000, 500));
  EXPECT_EQ(storage.selectedArea, area());
  view.setSelectionSize({1500, 900});
  EXPECT_EQ(area(), QRectF(420, 180, 1500, 900));
  view.setSelectionSize({1, 1});
  EXPECT_EQ(area(), QRectF(420, 180, 20, 20));
}

TEST_F(AreaOverlayViewTest, WidgetPositionsAreFlippedIntoTheBottomLeftModel) {
  view.resize(1920, 1080);
  // The widget's top-left corner is the display's top-left: y = 1080 in the model.
  EXPECT_EQ(view.fromWidget({0, 0}), QPointF(0, 1080));
  EXPECT_EQ(view.fromWidget({100, 1000}), QPointF(100, 80));
  // The area (660, 315, 600, 450) is drawn from widget row 1080 - 765 = 315 down.
  EXPECT_EQ(view.toWidget(area()), QRectF(660, 315, 600, 450));
  view.setSelectionSize({600, 100});
  EXPECT_EQ(view.toWidget(area()), QRectF(660, 665, 600, 100));
}

TEST_F(AreaOverlayViewTest, TheDrawnHandlesSitWhereTheFlippedAreaIs) {
  // Off the centre both ways, so a handle drawn at the unflipped place shows somewhere else.
  view.setSelectionSize({600, 100});
  view.moveSelection(QPointF(560, 365), QPointF(960, 365));
  ASSERT_EQ(area(), QRectF(260, 315, 600, 100));
  view.resize(1920, 1080);
  QImage drawn = view.grab().toImage();
  drawn.setDevicePixelRatio(1);
  drawn = drawn.scaled(1920, 1080);
  const auto yellow = [&](QPointF at) {
    const QColor seen = drawn.pixelColor(at.toPoint());
    return std::abs(seen.red() - 255) < 24 && std::abs(seen.green() - 204) < 24 && seen.blue() < 40;
  };
  for (ResizeHandle handle : allResizeHandles) {
    if (handle == ResizeHandle::none) continue;
    const QPointF centre = handleSquare(handle, area()).center();
    const QPointF onWidget(centre.x(), 1080 - centre.y());
    EXPECT_TRUE(yellow(onWidget)) << "no handle drawn at " << onWidget.x() << "," << onWidget.y() << " for "
                                  << int(handle);
    EXPECT_FALSE(yellow(centre)) << "a handle drawn at the unflipped " << centre.x() << "," << centre.y();
  }
}

}  // namespace
