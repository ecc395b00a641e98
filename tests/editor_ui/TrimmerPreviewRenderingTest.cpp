// The preview's pixels: padding, corners, shadow, background and the recorded cursor, and the same
// frame as the export's compositor draws it.

#include <QImage>
#include <QPainter>

#include "EditorWindowFixture.h"
#include "export/RoundedCameraCompositor.h"

namespace tk::test {
namespace {

class TrimmerPreviewRenderingTest : public EditorWindowFixture {
 protected:
  // A solid background, padded by the defaults; the frame shown is the movie's first (black).
  VideoTrimmerView& openPadded(const std::optional<RecordingMetadata>& metadata = std::nullopt) {
    auto& trimmer = open(writeMovie("padded.mov", {}, metadata));
    BackgroundSettings background;
    background.type = StudioBackgroundType::solidColor;
    background.color = CodableColor{0.2, 0.6, 0.3, 1};
    trimmer.viewModel().setBackgroundSettings(background);
    trimmer.viewModel().setBackgroundEnabled(true);
    EXPECT_TRUE(waitForPicture());
    return trimmer;
  }
  // Seeks the main player and waits until the view's clock shows the time.
  bool showAt(double t) {
    bool done = false;
    view->viewModel().player()->seek(MediaTime::fromSeconds(t, 600), [&](bool) { done = true; });
    return waitUntil([&] { return done && std::abs(view->currentTime() - t) < 0.01; });
  }
  static constexpr QRgb kBackground = qRgb(51, 153, 77);
};

TEST_F(TrimmerPreviewRenderingTest, PaddingCornersAndShadowAroundTheScreen) {
  auto& trimmer = openPadded();
  auto& preview = trimmer.playerArea().preview();
  const QRectF layer = preview.screenLayerRect();
  const double s = preview.pixelScale();
  ASSERT_NEAR(layer.top(), 120 * s, 1);  // padding 120 output pixels, scaled to the canvas
  const QImage image = previewImage();
  auto at = [&](QPointF p) { return image.pixel(p.toPoint()); };

  // Padding: the background, both beside and above the screen.
  EXPECT_LE(colourDistance(at({layer.left() / 2, layer.center().y()}), kBackground), 3);
  EXPECT_LE(colourDistance(at({layer.center().x(), layer.top() / 3}), kBackground), 3);
  // Inside: the picture (frame 0 is black away from its corner patches).
  EXPECT_LE(qGray(at(layer.center())), 20);
  // The rounded corner cuts the picture off: its very corner shows the (shadowed) background.
  const QRgb corner = at(layer.bottomRight() - QPointF(2, 2));
  EXPECT_GT(qGreen(corner), 40);
  EXPECT_LE(qGray(at(layer.bottomRight() - QPointF(2 + 28 * s, 2))), 20);  // beside the curve: picture
  // Shadow: darker just below the screen than just above it (it falls downwards), and both darker
  // than the open background.
  const QRgb below = at({layer.center().x(), layer.bottom() + 4});
  const QRgb above = at({layer.center().x(), layer.top() - 4});
  EXPECT_LT(qGreen(below), qGreen(above));
  EXPECT_LT(qGreen(above), qGreen(kBackground));
  window->close();
}

TEST_F(TrimmerPreviewRenderingTest, BackgroundOffWithOriginalAspectIsBlackAndUnpadded) {
  auto& trimmer = openPadded();
  trimmer.viewModel().setBackgroundEnabled(false);
  auto& preview = trimmer.playerArea().preview();
  const QRectF layer = preview.screenLayerRect();
  EXPECT_NEAR(layer.left(), 0, 1);
  EXPECT_NEAR(layer.top(), 0, 1);
  EXPECT_NEAR(layer.width(), preview.width(), 1);
  EXPECT_NEAR(layer.height(), preview.height(), 1);
  // Off but square: the background still shows beside the unpadded screen.
  trimmer.setSelectedAspect(OutputAspectRatio::ratio1x1);
  const QImage image = previewImage();
  EXPECT_LE(colourDistance(image.pixel(image.width() / 2, 3), kBackground), 3);
  EXPECT_LE(qGray(image.pixel(image.width() / 2, image.height() / 2)), 20);
  window->close();
}

TEST_F(TrimmerPreviewRenderingTest, GradientRunsTheEditorsWay) {
  auto& trimmer = openPadded();
  BackgroundSettings background;
  background.gradient = GradientSettings{{{1, 0, 0, 1}, {0, 0, 1, 1}}, 90, std::nullopt};  // left to right
  trimmer.viewModel().setBackgroundSettings(background);
  QImage image = previewImage();
  const int y = image.height() / 2;
  EXPECT_GT(qRed(image.pixel(4, y)), 200);
  EXPECT_GT(qBlue(image.pixel(image.width() - 5, y)), 200);
  background.gradient->angle = 0;  // first colour at the bottom
  trimmer.viewModel().setBackgroundSettings(background);
  image = previewImage();
  EXPECT_GT(qRed(image.pixel(image.width() / 2, image.height() - 12)), 200);
  EXPECT_GT(qBlue(image.pixel(image.width() / 2, 11)), 200);
  window->close();
}

// The cursor rests top left for the first second, then bottom right.
RecordingMetadata cursorMetadata() {
  RecordingMetadata metadata;
  metadata.duration = 2;
  metadata.resolution = QSizeF(320, 180);
  for (int i = 0; i <= 60; ++i) {
    CursorPosition p;
    p.timestamp = i / 30.0;
    p.position = i < 30 ? QPointF(0.3, 0.3) : QPointF(0.7, 0.7);
    metadata.cursorPositions.push_back(p);
  }
  return metadata;
}

TEST_F(TrimmerPreviewRenderingTest, RecordedCursorIsDrawnWhereItWasAtTheTime) {
  auto& trimmer = openPadded(cursorMetadata());
  trimmer.viewModel().setBackgroundEnabled(false);
  ASSERT_TRUE(waitUntil([&] { return trimmer.viewModel().metadata().has_value(); }));
  auto& preview = trimmer.playerArea().preview();
  auto& model = trimmer.viewModel();
  auto withCursor = [&](bool enabled) {
    auto settings = model.cursorOverlaySettings();
    settings.enabled = enabled;
    model.setCursorOverlaySettings(settings);
    return previewImage();
  };
  // Pixels the cursor changes in a box about a normalised point of the picture.
  auto cursorPixelsNear = [&](QPointF n) {
    const QImage on = withCursor(true), off = withCursor(false);
    const QRectF layer = preview.screenLayerRect();
    const QPoint c = (layer.topLeft() + QPointF(n.x() * layer.width(), n.y() * layer.height())).toPoint();
    int count = 0;
    for (int y = c.y() - 20; y <= c.y() + 20; ++y)
      for (int x = c.x() - 20; x <= c.x() + 20; ++x)
        if (colourDistance(on.pixel(x, y), off.pixel(x, y)) > 60) ++count;
    return count;
  };
  ASSERT_TRUE(showAt(0.5));
  EXPECT_GT(cursorPixelsNear({0.3, 0.3}), 10);
  EXPECT_EQ(cursorPixelsNear({0.7, 0.7}), 0);
  ASSERT_TRUE(showAt(1.9));
  EXPECT_EQ(cursorPixelsNear({0.3, 0.3}), 0);
  EXPECT_GT(cursorPixelsNear({0.7, 0.7}), 10);
  window->close();
}

TEST_F(TrimmerPreviewRenderingTest, KeyframeZoomEnlargesThePictureUnlessZoomPreviewIsOff) {
  auto& trimmer = openPadded();
  trimmer.viewModel().setBackgroundEnabled(false);
  ZoomKeyframe keyframe;  // twice as large about the top left from the start
  keyframe.time = 0;
  keyframe.center = {0.1, 0.1};
  keyframe.level = 2;
  trimmer.viewModel().setZoomKeyframes({keyframe});
  ASSERT_TRUE(showAt(0.1));  // frame 3: its first band is black, its top-left patch white
  auto& preview = trimmer.playerArea().preview();
  ASSERT_DOUBLE_EQ(trimmer.previewZoomTransform(0.1, preview.screenArea()).a, 2);
  const QRectF layer = preview.screenLayerRect();
  // A point just right of the patch: covered by the patch only when the picture is zoomed.
  const QPoint probe = (layer.topLeft() + QPointF(0.1 * layer.width(), 0.05 * layer.height())).toPoint();
  EXPECT_GT(qGray(previewImage().pixel(probe)), 200);
  trimmer.setEnableZoomPreview(false);
  EXPECT_LT(qGray(previewImage().pixel(probe)), 40);
  window->close();
}

TEST_F(TrimmerPreviewRenderingTest, PreviewAgreesWithTheExportsRenderingOfTheSameFrame) {
  auto& trimmer = openPadded();
  BackgroundSettings background;
  background.gradient = gradientSettings(GradientPreset::sunset);
  trimmer.viewModel().setBackgroundSettings(background);
  auto& preview = trimmer.playerArea().preview();
  const QImage shown = previewImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(shown.size(), preview.size());

  auto frame = trimmer.viewModel().player()->currentFrame();
  ASSERT_TRUE(frame);
  auto settings = std::make_shared<const RoundedCameraCompositorSettings>(preview.compositorSettings());
  auto out = PixelBuffer::create(shown.width(), shown.height());
  RoundedCameraCompositor compositor;
  compositor.renderFrame(*out, settings, trimmer.currentTime(), frame.get(), nullptr);

  // Every pixel but the preview's rounded canvas corners.
  long long total = 0, far = 0, count = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) {
      const bool nearCorner = (x < 10 || x >= shown.width() - 10) && (y < 10 || y >= shown.height() - 10);
      if (nearCorner) continue;
      const int d = colourDistance(shown.pixel(x, y), out->pixel(x, y));
      total += d;
      far += d > 24;
      ++count;
    }
  EXPECT_LT(static_cast<double>(total) / count, 3.0);
  EXPECT_LT(static_cast<double>(far) / count, 0.01);
  window->close();
}

}  // namespace
}  // namespace tk::test
