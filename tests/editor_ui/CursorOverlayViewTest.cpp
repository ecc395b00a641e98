#include "editor_ui/CursorOverlayView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace tk {
namespace {

std::vector<CursorPosition> restingAt(QPointF point, int count = 10) {
  std::vector<CursorPosition> positions;
  for (int i = 0; i < count; ++i) {
    CursorPosition p;
    p.timestamp = i * 0.1;
    p.position = point;
    positions.push_back(p);
  }
  return positions;
}

CursorOverlaySettings sharp() {
  auto settings = CursorOverlaySettings::defaultSettings();
  settings.scale = 1;
  settings.motionBlurEnabled = false;
  return settings;
}

// The drawn glyph's bounding box on a transparent image of `size`.
QRect drawnBox(const CursorOverlayView& view, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    view.draw(painter, QSizeF(size));
  }
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 100) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(CursorOverlayViewTest, GlyphSizeFollowsTheHeightOnlyAndSitsOnTheCursor) {
  const auto positions = restingAt({0.5, 0.5});
  const std::vector<CursorClick> clicks;
  const CursorOverlayView view(0.5, {}, sharp(), positions, clicks);
  const QRect small = drawnBox(view, {960, 540});
  const QRect tall = drawnBox(view, {960, 1080});
  const QRect wide = drawnBox(view, {1900, 540});
  ASSERT_FALSE(small.isEmpty());
  // 12 points on a 540-high view (the arrow is 0.95 of it high, plus its outline and shadow).
  EXPECT_NEAR(small.height(), 12 * 0.95 + 3, 2);
  EXPECT_NEAR(tall.height() - small.height(), 12 * 0.95, 2);  // the outline does not grow
  EXPECT_EQ(wide.size(), small.size());
  // The tip is half a glyph up and left of the cursor point.
  EXPECT_NEAR(small.top(), 270 - 6 - 1.5, 2);  // less the outline
  EXPECT_NEAR(small.left(), 480 - 6 - 1.5, 2);
}

TEST(CursorOverlayViewTest, NothingIsDrawnWhenDisabledWithoutSamplesOrOutsideThePicture) {
  const std::vector<CursorClick> clicks;
  auto disabled = sharp();
  disabled.enabled = false;
  const auto inside = restingAt({0.5, 0.5});
  EXPECT_TRUE(drawnBox(CursorOverlayView(0.5, {}, disabled, inside, clicks), {400, 300}).isEmpty());
  const std::vector<CursorPosition> none;
  EXPECT_TRUE(drawnBox(CursorOverlayView(0.5, {}, sharp(), none, clicks), {400, 300}).isEmpty());
}

TEST(CursorOverlayViewTest, OneRendererIsReusedWhileItsInputsStayTheSame) {
  auto positions = restingAt({0.25, 0.75}, 20);
  const std::vector<CursorClick> clicks;
  const int before = CursorOverlayView::rendererBuildCount();
  const auto* first = &CursorOverlayView(0.1, {}, sharp(), positions, clicks).cachedRenderer();
  EXPECT_EQ(&CursorOverlayView(1.2, {}, sharp(), positions, clicks).cachedRenderer(), first);
  positions[10].position = QPointF(0.9, 0.9);  // a sample in the middle: same key, same renderer
  CursorOverlayView(1.2, {}, sharp(), positions, clicks).cachedRenderer();
  EXPECT_EQ(CursorOverlayView::rendererBuildCount(), before + 1);
  positions.pop_back();  // one sample fewer: a new renderer
  CursorOverlayView(1.2, {}, sharp(), positions, clicks).cachedRenderer();
  auto other = sharp();
  other.scale = 2;  // other settings: a new renderer
  CursorOverlayView(1.2, {}, other, positions, clicks).cachedRenderer();
  EXPECT_EQ(CursorOverlayView::rendererBuildCount(), before + 3);
}

}  // namespace
}  // namespace tk
