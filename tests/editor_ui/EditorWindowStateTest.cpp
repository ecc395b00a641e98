// What the editor window shows and asks around loading, playing and exporting.

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "EditorWindowFixture.h"
#include "editor_ui/AppearancePanel.h"
#include "editor_ui/SliderRow.h"
#include "editor_ui/TransportControls.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "editor_ui/TrimmerZoomSegmentsTrackView.h"
#include "editor_ui/ZoomEditorHost.h"
#include "editor_ui/ZoomKeyframeEditor.h"
#include "editor_ui/ZoomSegmentEditor.h"

namespace tk::test {
namespace {

using EditorWindowStateTest = EditorWindowFixture;

QAbstractButton* buttonNamed(QMessageBox* box, const QString& text) {
  if (!box) return nullptr;
  for (auto* button : box->buttons())
    if (button->text() == text) return button;
  return nullptr;
}

TEST_F(EditorWindowStateTest, TheTimelineShowsOnlyAMovieThatHasLoaded) {
  const fs::path movie = writeMovie("Take.mov");
  window = std::make_unique<QWidget>();
  auto* layout = new QVBoxLayout(window.get());
  view = new VideoTrimmerView(movie, window.get());
  layout->addWidget(view);
  std::vector<bool> shownWhileLoading;
  QObject::connect(&view->viewModel(), &VideoTrimmerViewModel::isLoadingChanged, view, [&] {
    if (view->viewModel().isLoading()) shownWhileLoading.push_back(view->timelineSlot()->isVisible());
  });
  window->show();
  EXPECT_TRUE(view->viewModel().isLoading());
  EXPECT_FALSE(view->timelineSlot()->isVisible());
  ASSERT_TRUE(waitUntil([&] { return !view->viewModel().isLoading() && view->playbackTimerRunning(); }));
  EXPECT_TRUE(view->timelineSlot()->isVisible());
  for (bool shown : shownWhileLoading) EXPECT_FALSE(shown);
  window->close();

  const fs::path broken = fs::path(folder.path().toStdString()) / "broken.mov";
  std::ofstream(broken) << "not a movie";
  auto& failed = open(broken);
  ASSERT_TRUE(failed.loadFailed());
  EXPECT_FALSE(failed.timelineSlot()->isVisible());
  window->close();
}

TEST_F(EditorWindowStateTest, TheCameraLayerPlaysWithoutSound) {
  // A camera layer from another program may carry a sound track: only the main player is heard.
  writeMovie(".camera.mov");
  auto& trimmer = open(writeMovie(".screen.mov"));
  trimmer.setIncludeCameraInExport(true);
  EXPECT_TRUE(trimmer.cameraPlayer().isMuted());
  ASSERT_TRUE(waitUntil([&] { return trimmer.cameraPlayer().status() == MediaPlayer::Status::readyToPlay; }));
  trimmer.viewModel().player()->play();
  ASSERT_TRUE(waitUntil([&] {
    return trimmer.cameraPlayer().rate() > 0 && trimmer.cameraPlayer().currentTime().seconds() > 0.2;
  })) << "the camera never played along";
  EXPECT_FALSE(trimmer.cameraPlayer().usesAudioClock());
  trimmer.viewModel().player()->pause();
  window->close();
}

TEST_F(EditorWindowStateTest, ClosingAsksDuringAnExportAndNotAfterOneThatSucceeded) {
  auto& trimmer = open(writeMovie("Take.mov"));
  ASSERT_FALSE(trimmer.loadFailed());
  auto& model = trimmer.viewModel();
  trimmer.appearancePanel().backgroundSwitch()->click();  // an edit
  ASSERT_TRUE(trimmer.hasUnsavedEdits());

  trimmer.appearancePanel().exportButton()->click();
  ASSERT_TRUE(model.isExporting());
  window->close();  // in the same turn: the export is still running
  ASSERT_NE(trimmer.discardPrompt(), nullptr) << "closing during an export did not ask";
  EXPECT_EQ(trimmer.discardPrompt()->windowTitle(), "Stop Export?");
  EXPECT_TRUE(window->isVisible());
  ASSERT_TRUE(buttonNamed(trimmer.discardPrompt(), "Stop Export"));
  auto* keep = buttonNamed(trimmer.discardPrompt(), "Cancel");
  ASSERT_TRUE(keep);
  keep->click();
  ASSERT_TRUE(waitUntil([&] { return trimmer.discardPrompt() == nullptr; }));

  ASSERT_TRUE(waitUntil([&] { return trimmer.showExportSuccess() || trimmer.showError(); },
                        std::chrono::seconds(120)))
      << "the export never ended";
  ASSERT_TRUE(trimmer.showExportSuccess()) << trimmer.errorMessage();
  trimmer.alert()->close();
  // What was exported is saved: closing now asks nothing.
  EXPECT_FALSE(trimmer.hasUnsavedEdits());
  trimmer.appearancePanel().backgroundSwitch()->click();
  EXPECT_TRUE(trimmer.hasUnsavedEdits());  // an edit after the export still counts
  trimmer.appearancePanel().backgroundSwitch()->click();
  window->close();
  EXPECT_EQ(trimmer.discardPrompt(), nullptr);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(EditorWindowStateTest, StoppingTheExportFromTheClosePromptClosesTheWindow) {
  auto& trimmer = open(writeMovie("Take.mov"));
  ASSERT_FALSE(trimmer.loadFailed());
  trimmer.appearancePanel().exportButton()->click();
  ASSERT_TRUE(trimmer.viewModel().isExporting());
  window->close();
  auto* stop = buttonNamed(trimmer.discardPrompt(), "Stop Export");
  ASSERT_TRUE(stop);
  stop->click();
  ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));
  EXPECT_EQ(trimmer.viewModel().player(), nullptr);  // torn down
  EXPECT_FALSE(trimmer.showError());                 // a stopped export is not a failure
}

TEST_F(EditorWindowStateTest, TimeSlidersReachEveryFrameOfAnHourLongMovie) {
  TestMovieSpec hour;
  hour.frameRate = 1;  // one frame a second keeps the hour quick to write
  hour.seconds = 3600;
  hour.withAudio = false;
  RecordingMetadata metadata;
  ZoomSegment segment;
  segment.startTime = 1800;
  segment.endTime = 1803;
  metadata.zoomSegments.push_back(segment);
  ZoomKeyframe keyframe;
  keyframe.time = 2400;
  metadata.zoomKeyframes.push_back(keyframe);
  auto& trimmer = open(writeMovie("hour.mov", hour, metadata));
  ASSERT_FALSE(trimmer.loadFailed());
  auto& model = trimmer.viewModel();
  ASSERT_TRUE(waitUntil([&] { return !model.zoomSegments().empty() && !model.zoomKeyframes().empty(); }));
  ASSERT_NEAR(model.videoDuration().seconds(), 3600, 1);

  trimmer.setSelectedZoomSegmentId(model.zoomSegments().front().id);
  auto* editor = trimmer.zoomEditors().segmentEditor();
  ASSERT_TRUE(editor);
  editor->disclosureButton()->click();
  for (SliderRow* row : {editor->startRow(), editor->endRow()})
    EXPECT_LE(3600.0 / row->slider()->maximum(), 1.0 / 60) << "positions farther apart than a frame";
  QTest::keyClick(editor->startRow()->slider(), Qt::Key_Right);
  EXPECT_NEAR(model.zoomSegments().front().startTime, 1800.05, 0.006);
  QTest::keyClick(editor->endRow()->slider(), Qt::Key_Left);
  EXPECT_NEAR(model.zoomSegments().front().endTime, 1802.95, 0.006);
  QTest::keyClick(editor->endRow()->slider(), Qt::Key_PageUp);
  EXPECT_NEAR(model.zoomSegments().front().endTime, 1803.95, 0.006);

  trimmer.setSelectedZoomSegmentId(std::nullopt);
  trimmer.setSelectedZoomKeyframeId(model.zoomKeyframes().front().id);
  auto* keyframes = trimmer.zoomEditors().keyframeEditor();
  ASSERT_TRUE(keyframes);
  EXPECT_LE(3600.0 / keyframes->timeRow()->slider()->maximum(), 1.0 / 60);
  QTest::keyClick(keyframes->timeRow()->slider(), Qt::Key_Left);
  EXPECT_NEAR(model.zoomKeyframes().front().time, 2399.95, 0.006);
  window->close();
}

TEST_F(EditorWindowStateTest, TheZoomTrackDrawsOnlyWhatShowsOfAHundredThousandSegments) {
  auto& trimmer = open(writeMovie("Take.mov"));
  ASSERT_FALSE(trimmer.loadFailed());
  auto& model = trimmer.viewModel();
  std::vector<ZoomSegment> many(100'000);
  for (size_t i = 0; i < many.size(); ++i) {
    many[i].startTime = 2.0 * i / many.size();
    many[i].endTime = many[i].startTime + 0.000015;
  }
  many[50'000].endTime = many[50'000].startTime + 0.5;  // one wide enough to show its level
  model.setZoomSegments(many);
  trimmer.setSelectedZoomSegmentId(many[50'000].id);
  auto* track = trimmer.timeline().zoomSegmentsTrack();
  ASSERT_TRUE(track);
  const QImage picture = track->grab().toImage();
  EXPECT_GT(track->paintedBars(), 10);
  EXPECT_LE(track->paintedBars(), 2 * track->width()) << "bars drawn that add nothing to the picture";
  // The selected bar is drawn on top: its white outline shows at its left edge.
  const auto bars = track->placedBars();
  const auto& chosen = bars[50'000];
  const QRectF outline = chosen.bar.rect(chosen.centre);
  int brightest = 0;
  for (int dy = -2; dy <= 2; ++dy)
    brightest =
        std::max(brightest, qGray(picture.pixel(QPoint(int(outline.center().x()), int(outline.top()) + dy))));
  EXPECT_GT(brightest, 200) << "no white outline on the selected bar";
  window->close();
}

TEST_F(EditorWindowStateTest, ACameraLayerThatCannotBeReadIsToldAndLeftOut) {
  std::ofstream(fs::path(folder.path().toStdString()) / ".camera.mov") << "not a movie";
  auto& trimmer = open(writeMovie(".screen.mov"));
  ASSERT_FALSE(trimmer.loadFailed());
  ASSERT_EQ(trimmer.notices().size(), 1);
  EXPECT_TRUE(trimmer.notices().front().contains("camera recording could not be read"));
  EXPECT_TRUE(trimmer.noticeBanner()->isVisible());
  EXPECT_FALSE(trimmer.appearancePanel().cameraSwitch()->isEnabled());
  trimmer.setIncludeCameraInExport(true);
  EXPECT_FALSE(trimmer.viewModel().cameraURL());                       // the export leaves it out too
  EXPECT_TRUE(trimmer.appearancePanel().exportButton()->isEnabled());  // the screen still exports
  window->close();
}

TEST_F(EditorWindowStateTest, AFileOfSoundOnlyIsToldAndCannotBeExported) {
  TestMovieSpec sound;
  sound.withVideo = false;
  auto& trimmer = open(writeMovie("voice.mov", sound));
  ASSERT_FALSE(trimmer.loadFailed()) << trimmer.errorMessage();
  ASSERT_EQ(trimmer.notices().size(), 1);
  EXPECT_TRUE(trimmer.notices().front().contains("no video"));
  EXPECT_TRUE(trimmer.noticeBanner()->isVisible());
  EXPECT_FALSE(trimmer.appearancePanel().exportButton()->isEnabled());
  EXPECT_FALSE(trimmer.transportControls().exportMergedButton()->isEnabled());
  EXPECT_FALSE(trimmer.transportControls().splitButton()->isEnabled());
  window->close();
}

TEST_F(EditorWindowStateTest, AFailedLoadDisablesTheExportsAndItsAlertShowsAllItsText) {
  // A long name without spaces cannot be wrapped at a space.
  const fs::path broken = fs::path(folder.path().toStdString()) / (std::string(160, 'x') + ".mov");
  std::ofstream(broken) << "not a movie";
  auto& trimmer = open(broken);
  ASSERT_TRUE(trimmer.loadFailed());
  EXPECT_FALSE(trimmer.appearancePanel().exportButton()->isEnabled());
  EXPECT_FALSE(trimmer.transportControls().exportMergedButton()->isEnabled());
  EXPECT_FALSE(trimmer.transportControls().splitButton()->isEnabled());
  EXPECT_FALSE(trimmer.transportControls().addZoomSegmentButton()->isEnabled());

  ASSERT_TRUE(trimmer.alert());
  ASSERT_TRUE(waitUntil([&] { return trimmer.alert()->isVisible(); }));
  auto* label = trimmer.alert()->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  ASSERT_TRUE(label);
  const QRect needed =
      label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
  EXPECT_LE(needed.width(), label->width()) << "the alert's text runs past its edge";
  EXPECT_LE(needed.height(), label->height()) << "the alert's text runs past its bottom";
  const QRect inBox(label->mapTo(trimmer.alert(), QPoint()), label->size());
  EXPECT_TRUE(trimmer.alert()->rect().contains(inBox));
  window->close();
}

TEST_F(EditorWindowStateTest, AHugeZoomLevelIsShownShort) {
  auto& trimmer = open(writeMovie("Take.mov"));
  ASSERT_FALSE(trimmer.loadFailed());
  ZoomSegment segment;
  segment.startTime = 0.5;
  segment.endTime = 1.5;
  segment.zoomLevel = 1e308;
  trimmer.viewModel().setZoomSegments({segment});
  trimmer.setSelectedZoomSegmentId(segment.id);
  auto* editor = trimmer.zoomEditors().segmentEditor();
  ASSERT_TRUE(editor);
  EXPECT_LE(editor->zoomRow()->valueText()->text().size(), 8)
      << editor->zoomRow()->valueText()->text().toStdString();
  EXPECT_EQ(SliderRow::number(1e308, 1), "1e+308");
  EXPECT_EQ(SliderRow::number(1.5, 1), "1.5");
  window->close();
}

TEST_F(EditorWindowStateTest, TheExportProgressIsReadableOverThePreview) {
  // The cursor overlay draws over the preview's middle, where the progress card stands.
  RecordingMetadata metadata;
  for (int i = 0; i < 20; ++i) {
    CursorPosition sample;
    sample.timestamp = i * 0.1;
    sample.position = QPointF(0.5, 0.5);
    metadata.cursorPositions.push_back(sample);
  }
  auto& trimmer = open(writeMovie("Take.mov", {}, metadata));
  ASSERT_FALSE(trimmer.loadFailed());
  auto& model = trimmer.viewModel();
  ASSERT_TRUE(waitUntil([&] { return model.metadata().has_value(); }));
  auto cursor = model.cursorOverlaySettings();
  cursor.enabled = true;
  cursor.scale = 3;
  model.setCursorOverlaySettings(cursor);
  ASSERT_TRUE(waitForPicture());
  model.setIsExporting(true);
  model.setExportProgress(0.42);
  auto& area = trimmer.playerArea();
  ASSERT_TRUE(area.exportProgressOverlay().isVisible());
  EXPECT_EQ(area.exportProgressText().text(), "Exporting: 42%");
  const QImage shown = window->grab().toImage();
  // Behind the digits lies the card's own colour, not the preview: every pixel of the text's box is
  // the card's colour or the text's (or a blend of the two).
  const QRect text(area.exportProgressText().mapTo(window.get(), QPoint()), area.exportProgressText().size());
  const QColor back = area.exportProgressOverlay().palette().color(QPalette::Window);
  const QColor ink = area.exportProgressText().palette().color(QPalette::WindowText);
  int strays = 0, background = 0;
  for (int y = text.top(); y <= text.bottom(); ++y)
    for (int x = text.left(); x <= text.right(); ++x) {
      const QColor c = shown.pixelColor(x, y);
      // A blend of back and ink has channels between theirs.
      bool between = true;
      for (auto [v, a, b] : {std::tuple{c.red(), back.red(), ink.red()},
                             {c.green(), back.green(), ink.green()},
                             {c.blue(), back.blue(), ink.blue()}})
        between = between && v >= std::min(a, b) - 12 && v <= std::max(a, b) + 12;
      if (!between) ++strays;
      if (colourDistance(c.rgb(), back.rgb()) <= 12) ++background;
    }
  EXPECT_EQ(strays, 0) << "the preview shows through the progress text";
  // The digits are thin: most of their box is the card.
  EXPECT_GT(background, text.width() * text.height() / 2) << "the card does not stand behind the text";
  model.setIsExporting(false);
  window->close();
}

}  // namespace
}  // namespace tk::test
