#include "editor_ui/VideoTrimmerView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "EditorWindowFixture.h"
#include "editor_ui/DraggableCameraView.h"
#include "editor_ui/TrimmerPreviewGeometry.h"
#include "platform/player/PlayerView.h"

namespace tk::test {
namespace {

using VideoTrimmerViewTest = EditorWindowFixture;

TEST_F(VideoTrimmerViewTest, LoadsTheMovieKeepsRunningWhileHiddenAndTearsDownOnClose) {
  auto& trimmer = open(writeMovie("Take 1.mov"));
  ASSERT_FALSE(trimmer.loadFailed());
  EXPECT_EQ(trimmer.videoNaturalSize(), QSizeF(320, 180));
  EXPECT_TRUE(trimmer.overlayTimerRunning());
  EXPECT_EQ(trimmer.viewModel().window(), window.get());
  EXPECT_GE(window->minimumWidth(), VideoTrimmerView::kMinimumWidth);
  EXPECT_GE(window->minimumHeight(), VideoTrimmerView::kMinimumHeight);
  EXPECT_FALSE(trimmer.viewModel().cameraURL());  // no camera layer beside this movie

  trimmer.viewModel().player()->play();
  EXPECT_TRUE(waitUntil([&] { return trimmer.isPlaying() && trimmer.currentTime() > 0.3; }));

  window->hide();  // hiding is not closing: everything keeps running
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_TRUE(trimmer.playbackTimerRunning());
  ASSERT_NE(trimmer.viewModel().player(), nullptr);

  window->show();
  window->close();
  EXPECT_FALSE(trimmer.playbackTimerRunning());
  EXPECT_FALSE(trimmer.overlayTimerRunning());
  EXPECT_EQ(trimmer.viewModel().player(), nullptr);
  window.reset();  // the view and its model go with the window, under the sanitizers
}

TEST_F(VideoTrimmerViewTest, MinimumWindowFitsA1366By768Screen) {
  auto& trimmer = open(writeMovie("small.mov"), QSize(1000, 720));
  const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
  EXPECT_LE(least.width(), 1366);
  EXPECT_LE(least.height(), 720);  // leaves room for the title bar on a 768-high screen
  EXPECT_GE(trimmer.playerArea().height(), TrimmerPlayerArea::kMinimumHeight);
}

TEST_F(VideoTrimmerViewTest, AFailedLoadSaysSoInsteadOfSpinning) {
  const fs::path broken = fs::path(folder.path().toStdString()) / "broken.mov";
  std::ofstream(broken) << "not a movie";
  auto& trimmer = open(broken);
  ASSERT_TRUE(trimmer.loadFailed());
  EXPECT_TRUE(trimmer.showError());
  ASSERT_TRUE(trimmer.alert());
  EXPECT_EQ(trimmer.alert()->windowTitle(), "Could Not Load Video");
  // The alert may break the text anywhere (zero-width breaks) but says the same.
  EXPECT_EQ(trimmer.alert()->text().remove(QChar(0x200B)).toStdString(), trimmer.errorMessage());
  EXPECT_FALSE(trimmer.errorMessage().empty());
  EXPECT_EQ(trimmer.playerArea().loadingText().text().toStdString(), trimmer.errorMessage());
  EXPECT_FALSE(trimmer.playbackTimerRunning());
  window->close();
}

TEST_F(VideoTrimmerViewTest, CameraLayerIsTiedToTheMainPlayerOnlyWhileIncluded) {
  writeCameraLayer();
  auto& trimmer = open(writeMovie(".screen.mov"));
  EXPECT_FALSE(trimmer.viewModel().cameraURL());   // the export names the layer only while included
  EXPECT_FALSE(trimmer.cameraPlayer().hasItem());  // not included yet
  EXPECT_FALSE(trimmer.hasCameraSync());

  trimmer.setIncludeCameraInExport(true);
  EXPECT_EQ(trimmer.viewModel().cameraURL(), trimmer.cameraLayerURL());
  EXPECT_TRUE(trimmer.cameraPlayer().hasItem());
  EXPECT_TRUE(trimmer.hasCameraSync());
  EXPECT_TRUE(trimmer.playerArea().preview().cameraView().isVisible());
  ASSERT_TRUE(waitUntil([&] { return trimmer.cameraPlayer().status() == MediaPlayer::Status::readyToPlay; }));

  auto* main = trimmer.viewModel().player();
  main->seek(MediaTime::fromSeconds(1.0, 600));  // a jump more than 0.05 s away: the camera follows
  EXPECT_TRUE(
      waitUntil([&] { return std::abs(trimmer.cameraPlayer().currentTime().seconds() - 1.0) < 0.02; }));
  main->play();
  EXPECT_TRUE(waitUntil([&] { return trimmer.cameraPlayer().rate() > 0; }));
  main->pause();
  EXPECT_TRUE(waitUntil([&] { return trimmer.cameraPlayer().rate() == 0; }));

  trimmer.setIncludeCameraInExport(false);  // the item goes, the overlay clock stops, the tie stays
  EXPECT_FALSE(trimmer.cameraPlayer().hasItem());
  EXPECT_FALSE(trimmer.overlayTimerRunning());
  EXPECT_TRUE(trimmer.hasCameraSync());
  EXPECT_FALSE(trimmer.playerArea().preview().cameraView().isVisible());
  window->close();
  EXPECT_FALSE(trimmer.hasCameraSync());
}

TEST_F(VideoTrimmerViewTest, WithoutACameraLayerIncludingTheCameraTiesNothing) {
  auto& trimmer = open(writeMovie("alone.mov"));
  trimmer.setIncludeCameraInExport(true);
  EXPECT_FALSE(trimmer.cameraPlayer().hasItem());
  EXPECT_FALSE(trimmer.hasCameraSync());
  EXPECT_FALSE(trimmer.playerArea().preview().cameraView().isVisible());
  window->close();
}

// Keyframes at 0.5 s and 1.5 s, none selected.
std::vector<ZoomKeyframe> twoKeyframes() {
  ZoomKeyframe first, last;
  first.time = 0.5;
  first.center = {0.2, 0.2};
  first.level = 1.0;  // no zoom, so the drag maps straight onto the layer
  last.time = 1.5;
  last.center = {0.3, 0.3};
  last.level = 1.0;
  return {first, last};
}

TEST_F(VideoTrimmerViewTest, DraggingOnThePreviewMovesTheKeyframeCentre) {
  auto& trimmer = open(writeMovie("drag.mov"));
  auto& preview = trimmer.playerArea().preview();
  const QRectF layer = preview.screenLayerRect();
  const QPoint from = layer.center().toPoint();
  const QPoint to = (layer.topLeft() + QPointF(layer.width() * 0.75, layer.height() * 0.25)).toPoint();

  // No keyframes: nothing to move.
  QTest::mousePress(&preview, Qt::LeftButton, {}, from);
  QTest::mouseRelease(&preview, Qt::LeftButton, {}, to);
  EXPECT_FALSE(trimmer.selectedZoomKeyframeId());

  trimmer.viewModel().setZoomKeyframes(twoKeyframes());
  QTest::mousePress(&preview, Qt::LeftButton, {}, from);
  QTest::mouseMove(&preview, to);
  QTest::mouseRelease(&preview, Qt::LeftButton, {}, to);
  const auto& keyframes = trimmer.viewModel().zoomKeyframes();
  ASSERT_EQ(keyframes.size(), 2u);
  EXPECT_EQ(keyframes[0].center, QPointF(0.2, 0.2));  // the first is untouched
  EXPECT_NEAR(keyframes[1].center.x(), (to.x() - layer.x()) / layer.width(), 1e-9);
  EXPECT_NEAR(keyframes[1].center.y(), (to.y() - layer.y()) / layer.height(), 1e-9);
  EXPECT_EQ(trimmer.selectedZoomKeyframeId(), keyframes[1].id);

  // With the first selected, a drag ending beyond the layer's top left clamps its centre to 0.
  trimmer.setSelectedZoomKeyframeId(keyframes[0].id);
  QTest::mousePress(&preview, Qt::LeftButton, {}, from);
  QTest::mouseRelease(&preview, Qt::LeftButton, {}, QPoint(-5, -5));
  EXPECT_EQ(trimmer.viewModel().zoomKeyframes()[0].center, QPointF(0, 0));
  window->close();
}

TEST_F(VideoTrimmerViewTest, CameraBubbleDragWritesTheCentreBackAndLeavesOtherPressesToThePreview) {
  writeCameraLayer();
  auto& trimmer = open(writeMovie(".screen.mov"));
  trimmer.setIncludeCameraInExport(true);
  auto& preview = trimmer.playerArea().preview();
  auto& bubble = preview.cameraView();
  ASSERT_TRUE(bubble.hasInitializedFrame());
  const auto expected =
      TrimmerPreviewGeometry::cameraBubble(bubble.size(), {0.85, 0.18}, 0.22, 1, CameraShape::squircle);
  EXPECT_EQ(bubble.bubbleFrame(), expected->frame);

  const QPoint start = bubble.bubbleFrame().center().toPoint();
  const QPoint end = start + QPoint(-200, 60);
  QTest::mousePress(&bubble, Qt::LeftButton, {}, start);
  EXPECT_TRUE(bubble.isDragging());
  EXPECT_DOUBLE_EQ(bubble.borderWidth(), 2.5);
  QTest::mouseMove(&bubble, end);
  const QRectF dragged = bubble.bubbleFrame();
  EXPECT_NE(dragged, expected->frame);
  // Updates of the state while dragging do not move the bubble from under the mouse.
  trimmer.setPipCenterNormalized({0.1, 0.9});
  EXPECT_EQ(bubble.bubbleFrame(), dragged);
  QTest::mouseRelease(&bubble, Qt::LeftButton, {}, end);
  const QPointF centre = bubble.bubbleFrame().center();
  const QPointF written(centre.x() / bubble.width(), centre.y() / bubble.height());
  EXPECT_TRUE(waitUntil([&] {
    const QPointF c = trimmer.appearance().pipCenterNormalized;
    return std::abs(c.x() - written.x()) < 1e-9 && std::abs(c.y() - written.y()) < 1e-9;
  }));

  // A press outside the bubble is the preview's: the keyframe drag still works with the camera shown.
  trimmer.viewModel().setZoomKeyframes(twoKeyframes());
  const QRectF layer = preview.screenLayerRect();
  const QPoint inside = (layer.topLeft() + QPointF(layer.width() * 0.25, layer.height() * 0.75)).toPoint();
  ASSERT_FALSE(bubble.bubbleFrame().contains(inside));
  QTest::mousePress(&bubble, Qt::LeftButton, {}, inside);
  QTest::mouseRelease(&bubble, Qt::LeftButton, {}, inside);
  EXPECT_FALSE(bubble.isDragging());
  EXPECT_NEAR(trimmer.viewModel().zoomKeyframes()[1].center.x(), (inside.x() - layer.x()) / layer.width(),
              1e-9);
  window->close();
}

TEST_F(VideoTrimmerViewTest, CanvasFollowsTheAspectRatioAndTheVerticalStack) {
  auto& trimmer = open(writeMovie("aspect.mov"));
  auto& area = trimmer.playerArea();
  auto& preview = area.preview();
  auto ratio = [&] { return static_cast<double>(preview.width()) / preview.height(); };
  EXPECT_NEAR(ratio(), 16.0 / 9, 0.02);
  trimmer.setSelectedAspect(OutputAspectRatio::ratio1x1);
  EXPECT_NEAR(ratio(), 1.0, 0.02);
  EXPECT_TRUE(preview.width() == area.width() || preview.height() == area.height());  // touches two sides
  // Without a camera in the output there is no vertical stack to offer.
  trimmer.setIncludeCameraInExport(true);  // no camera layer beside this movie
  trimmer.setVerticalStack(true);
  EXPECT_FALSE(trimmer.verticalStack());
  EXPECT_NEAR(ratio(), 1.0, 0.02);
  window->close();

  writeCameraLayer();
  auto& stacked = open(writeMovie(".screen.mov"), QSize(1200, 1000));
  auto& stackedPreview = stacked.playerArea().preview();
  stacked.setVerticalStack(true);  // the camera layer exists but is not included yet
  EXPECT_FALSE(stacked.verticalStack());
  stacked.setIncludeCameraInExport(true);
  stacked.setVerticalStack(true);
  EXPECT_TRUE(stackedPreview.isVerticalStack());
  EXPECT_NEAR(static_cast<double>(stackedPreview.width()) / stackedPreview.height(), 0.5625, 0.02);
  EXPECT_FALSE(stackedPreview.cameraView().isVisible());  // the camera has its own band
  // The stack: background, camera band over screen band, the camera's picture in its band.
  ASSERT_TRUE(waitUntil([&] { return stacked.cameraPlayer().currentFrame() != nullptr; }));
  stackedPreview.repaint();
  const QImage image = stackedPreview.grab().toImage();
  const auto bands = TrimmerPreviewGeometry::verticalStackBands(stackedPreview.size());
  EXPECT_NEAR(bands.camera.height() / stackedPreview.height(), 0.35, 0.01);
  // The camera's first frame fills its band (cropped at the sides), white patch at the top left.
  const QRectF shown = PlayerView::targetRect({320, 180}, bands.camera.adjusted(8, 4, -8, -4),
                                              PlayerView::VideoGravity::resizeAspectFill);
  const double scale = shown.width() / 320;
  // The crop takes most of the patch's 20 columns: probe just inside the band's visible left edge.
  const double visibleLeft = bands.camera.left() + 8 + 1;
  ASSERT_LT(visibleLeft, shown.left() + 20 * scale);
  EXPECT_GT(qGray(image.pixel(QPointF(visibleLeft, shown.top() + 10 * scale).toPoint())), 200);
  EXPECT_LT(qGray(image.pixel((shown.topLeft() + QPointF(16, 170) * scale).toPoint())), 40);
  stacked.setIncludeCameraInExport(false);  // leaving the camera out ends the stack
  EXPECT_FALSE(stacked.verticalStack());
  EXPECT_FALSE(stackedPreview.isVerticalStack());
  window->close();
}

TEST_F(VideoTrimmerViewTest, HeaderSwitchesTheColourSchemeAndCtrlWCloses) {
  auto& trimmer = open(writeMovie("header.mov"));
  EXPECT_GT(trimmer.palette().color(QPalette::Window).lightness(), 128);  // light, whatever the desktop
  int changes = 0;
  QObject::connect(&trimmer, &VideoTrimmerView::stateChanged, [&] { ++changes; });
  trimmer.darkModeSwitch()->click();
  EXPECT_TRUE(trimmer.forceDarkMode());
  EXPECT_LT(trimmer.palette().color(QPalette::Window).lightness(), 128);
  // Setting it from code shows it on the switch without the switch writing it again.
  changes = 0;
  trimmer.setForceDarkMode(false);
  EXPECT_FALSE(trimmer.darkModeSwitch()->isChecked());
  EXPECT_EQ(changes, 1);

  window->activateWindow();
  ASSERT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));
  QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); }));
  EXPECT_EQ(trimmer.viewModel().player(), nullptr);  // closing tore it down
}

TEST_F(VideoTrimmerViewTest, ExportStateAndAlertsShowWhatTheyAreGiven) {
  auto& trimmer = open(writeMovie("export.mov"));
  auto& area = trimmer.playerArea();
  auto& model = trimmer.viewModel();
  EXPECT_FALSE(area.exportProgressOverlay().isVisible());
  model.setIsExporting(true);
  model.setExportProgress(0.427);
  EXPECT_TRUE(area.exportProgressOverlay().isVisible());
  EXPECT_EQ(area.exportProgressText().text(), "Exporting: 42%");
  area.exportCancelButton().click();
  EXPECT_FALSE(model.isExporting());
  EXPECT_FALSE(area.exportProgressOverlay().isVisible());

  trimmer.presentExportSuccess(fs::path("/tmp/out/export (Edited 2026-12-07 01.00.00).mp4"));
  ASSERT_TRUE(trimmer.alert());
  EXPECT_EQ(trimmer.alert()->windowTitle(), "Export Successful");
  EXPECT_EQ(trimmer.alert()->text(), "Trimmed video saved to:\nexport (Edited 2026-12-07 01.00.00).mp4");
  EXPECT_EQ(trimmer.alert()->buttons().size(), 2);
  trimmer.presentExportSuccess(std::nullopt);
  EXPECT_EQ(trimmer.alert()->text(), "");
  EXPECT_EQ(trimmer.alert()->buttons().size(), 1);
  trimmer.presentError("The disk is full.");
  EXPECT_EQ(trimmer.alert()->windowTitle(), "Export Failed");
  EXPECT_EQ(trimmer.alert()->text(), "The disk is full.");
  window->close();
}

}  // namespace
}  // namespace tk::test
