#include "editor_ui/TrimmerPreviewGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

#include "export/RoundedCameraCompositorSettings.h"

namespace tk {
namespace {

using namespace TrimmerPreviewGeometry;

TEST(TrimmerPreviewGeometryTest, CanvasIsTheLargestRectangleOfTheRatioThatFits) {
  EXPECT_NEAR(canvasSize({1000, 500}, 16.0 / 9).width(), 888.89, 0.01);
  EXPECT_DOUBLE_EQ(canvasSize({1000, 500}, 16.0 / 9).height(), 500);
  EXPECT_DOUBLE_EQ(canvasSize({1000, 500}, 0.5625).width(), 281.25);
  EXPECT_EQ(canvasSize({1000, 500}, 4), QSizeF(1000, 250));  // wider than the area: full width
  // Less than a point high: the width itself is compared with the ratio.
  EXPECT_EQ(canvasSize({1, 0.5}, 2), QSizeF(1, 0.5));
  EXPECT_DOUBLE_EQ(canvasAspectRatio(true, OutputAspectRatio::ratio16x9, {1920, 1080}), 0.5625);
  EXPECT_DOUBLE_EQ(canvasAspectRatio(false, OutputAspectRatio::ratio4x5, {1920, 1080}), 0.8);
  EXPECT_DOUBLE_EQ(previewAspectRatio(OutputAspectRatio::original, {1920, 1080}), 1920.0 / 1080);
  EXPECT_DOUBLE_EQ(previewAspectRatio(OutputAspectRatio::original, {640, 0}), 640);
}

TEST(TrimmerPreviewGeometryTest, ScreenAreaFitsTheMovieByThePreviewRatio) {
  // A landscape movie on a square canvas: full width, its own height.
  EXPECT_EQ(standardScreenArea({500, 500}, 1.0, {1600, 900}), QSizeF(500, 500 * 9.0 / 16));
  // The vertical stack without a camera keeps the original fit on a 9:16 canvas: as high as the
  // canvas and wider than it (the canvas clip cuts the sides).
  const QSizeF area = standardScreenArea({281.25, 500}, 16.0 / 9, {1600, 900});
  EXPECT_DOUBLE_EQ(area.height(), 500);
  EXPECT_GT(area.width(), 281.25);
}

TEST(TrimmerPreviewGeometryTest, VerticalStackBandsOnA1920HighCanvas) {
  const auto bands = verticalStackBands({1080, 1920});
  EXPECT_DOUBLE_EQ(bands.gap, 4);
  EXPECT_DOUBLE_EQ(bands.camera.height(), 670);
  EXPECT_DOUBLE_EQ(bands.screen.height(), 1246);
  EXPECT_DOUBLE_EQ(bands.screen.top(), 674);  // camera above, gap, then screen
}

TEST(TrimmerPreviewGeometryTest, ScreenLayerIsPaddedWhereTheExportPutsIt) {
  RoundedCameraCompositorSettings settings;
  settings.backgroundEnabled = true;
  settings.videoPadding = 120;
  // A 960 × 540 canvas scales padding 120 to 60 on each side; the movie fits what is left.
  const QRectF layer = screenLayerRect(settings, {960, 540}, {960, 540}, {1920, 1080});
  EXPECT_NEAR(layer.top(), 60, 1e-9);
  EXPECT_NEAR(layer.height(), 420, 1e-9);
  EXPECT_NEAR(layer.width(), 420 * 16.0 / 9, 1e-9);
  EXPECT_NEAR(layer.center().x(), 480, 1e-9);
  settings.backgroundEnabled = false;  // off: the whole screen area, no padding
  EXPECT_EQ(screenLayerRect(settings, {960, 540}, {960, 540}, {1920, 1080}), QRectF(0, 0, 960, 540));
}

TEST(TrimmerPreviewGeometryTest, CameraBubbleShrinksDuringAZoomSegment) {
  ZoomSegment segment;
  segment.startTime = 2;
  segment.endTime = 5;
  segment.easeIn = 1;
  segment.easeOut = 1;
  const std::vector<ZoomSegment> segments{segment};
  EXPECT_DOUBLE_EQ(overlayScale(segments, 0.66, 0.9), 1);
  EXPECT_NEAR(overlayScale(segments, 0.66, 1.5), 0.83, 1e-9);
  EXPECT_DOUBLE_EQ(overlayScale(segments, 0.66, 2), 0.66);
  EXPECT_DOUBLE_EQ(overlayScale(segments, 0.66, 5), 0.66);
  EXPECT_NEAR(overlayScale(segments, 0.66, 5.5), 0.83, 1e-9);
  EXPECT_DOUBLE_EQ(overlayScale(segments, 0.66, 6.01), 1);
  EXPECT_DOUBLE_EQ(overlayScale({}, 0.66, 3), 1);
  // A segment at 0.3 s with a 1 s ease-in ramps from time 0 with p = t / 1.
  segment.startTime = 0.3;
  EXPECT_NEAR(overlayScale({segment}, 0.5, 0.25), 1 + 16 * std::pow(0.25, 5) * (0.5 - 1), 1e-12);
}

TEST(TrimmerPreviewGeometryTest, PreviewZoomFollowsSegmentsBeforeKeyframes) {
  ZoomSegment segment;
  segment.startTime = 0;
  segment.endTime = 10;
  segment.zoomLevel = 2;
  ZoomKeyframe keyframe;
  keyframe.time = 0;
  keyframe.level = 3;
  keyframe.center = {0.5, 0.5};
  const QSizeF size(400, 200);
  EXPECT_DOUBLE_EQ(previewZoomTransform(true, {segment}, {keyframe}, nullptr, 5, size).a, 2);
  EXPECT_DOUBLE_EQ(previewZoomTransform(true, {}, {keyframe}, nullptr, 5, size).a, 3);
  EXPECT_TRUE(previewZoomTransform(false, {segment}, {keyframe}, nullptr, 5, size).isIdentity());
  EXPECT_TRUE(previewZoomTransform(true, {}, {}, nullptr, 5, size).isIdentity());
}

TEST(TrimmerPreviewGeometryTest, DragLocationIsNormalisedAndHeldInside) {
  EXPECT_EQ(normalisedDragLocation({100, 50}, {400, 200}), QPointF(0.25, 0.25));
  EXPECT_EQ(normalisedDragLocation({-30, 900}, {400, 200}), QPointF(0, 1));
  EXPECT_EQ(normalisedDragLocation({0.4, 0.7}, {0.5, 0.5}), QPointF(0.4, 0.7));  // no area: as given
}

// Bubble frames below are written top-down; y from the bottom = container height − top − height.
TEST(TrimmerPreviewGeometryTest, CameraBubblePlacementKeepsTheNearerEdges) {
  auto bubble = cameraBubble({1000, 600}, {0.85, 0.18}, 0.22, 1, CameraShape::squircle);
  ASSERT_TRUE(bubble);
  EXPECT_NEAR(bubble->frame.x(), 740, 1e-9);
  EXPECT_NEAR(600 - bubble->frame.bottom(), 382, 1e-9);
  EXPECT_NEAR(bubble->frame.width(), 220, 1e-9);
  EXPECT_NEAR(bubble->cornerRadius, 48.4, 1e-9);

  bubble = cameraBubble({1000, 600}, {0.85, 0.18}, 0.22, 0.66, CameraShape::squircle);
  EXPECT_NEAR(bubble->frame.x(), 814.8, 1e-9);
  EXPECT_NEAR(bubble->frame.right(), 960, 1e-9);  // the right edge stays
  EXPECT_NEAR(600 - bubble->frame.bottom(), 456.8, 1e-9);
  EXPECT_NEAR(bubble->frame.top(), -2, 1e-9);  // the top edge stays, 2 points above the container

  bubble = cameraBubble({1000, 600}, {0.5, 0.5}, 0.22, 1, CameraShape::rectangle);
  EXPECT_EQ(bubble->frame.size(), QSizeF(220, 123.75));
  EXPECT_NEAR(600 - bubble->frame.bottom(), 238.125, 1e-9);
  EXPECT_EQ(bubble->cornerRadius, 0);

  bubble = cameraBubble({300, 200}, {0.5, 0.5}, 0.22, 1, CameraShape::circle);  // the 80-point minimum
  EXPECT_EQ(bubble->frame, QRectF(110, 60, 80, 80));
  EXPECT_EQ(bubble->cornerRadius, 40);

  bubble = cameraBubble({1000, 600}, {0.5, 0.5}, 0.22, 0.5, CameraShape::squircle);  // equal gaps
  EXPECT_NEAR(bubble->frame.x(), 500, 1e-9);
  EXPECT_NEAR(600 - bubble->frame.bottom(), 190, 1e-9);

  EXPECT_EQ(cameraBubble({1000, 600}, {0.5, 0.5}, 0.05, 1, CameraShape::squircle)->frame,
            cameraBubble({1000, 600}, {0.5, 0.5}, 0.1, 1, CameraShape::squircle)->frame);
  EXPECT_EQ(cameraBubble({1000, 600}, {0.5, 0.5}, 0.7, 1, CameraShape::squircle)->frame,
            cameraBubble({1000, 600}, {0.5, 0.5}, 0.5, 1, CameraShape::squircle)->frame);
  EXPECT_FALSE(cameraBubble({0, 600}, {0.5, 0.5}, 0.22, 1, CameraShape::squircle));
}

}  // namespace
}  // namespace tk
