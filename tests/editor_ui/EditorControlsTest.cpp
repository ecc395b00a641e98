#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "EditorWindowFixture.h"
#include "editor_ui/AppearancePanel.h"
#include "editor_ui/AspectBar.h"
#include "editor_ui/GradientPresetButton.h"
#include "editor_ui/GradientPresetPicker.h"
#include "editor_ui/SliderRow.h"
#include "editor_ui/TransportControls.h"
#include "editor_ui/TrimmerActions.h"
#include "editor_ui/ZoomEditorHost.h"
#include "editor_ui/ZoomKeyframeEditor.h"
#include "editor_ui/ZoomSegmentEditor.h"

namespace tk::test {
namespace {

class EditorControlsTest : public EditorWindowFixture {
 protected:
  VideoTrimmerView& openMovie(double seconds = 4.0) {
    TestMovieSpec spec;
    spec.seconds = seconds;
    auto& trimmer = open(writeMovie("Take " + std::to_string(++takes) + ".mov", spec));
    EXPECT_FALSE(trimmer.loadFailed());
    return trimmer;
  }
  void activate() {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 60000));
  }
  void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(window.get(), static_cast<Qt::Key>(key), modifiers);
  }
  int takes = 0;
  QMessageBox* openPrompt() const { return view ? view->discardPrompt() : nullptr; }
  static std::vector<QUuid> ids(const std::vector<ZoomSegment>& list) {
    std::vector<QUuid> out;
    for (const auto& s : list) out.push_back(s.id);
    return out;
  }
  static void dragToEnd(SliderRow& row, bool upper) {
    row.slider()->setValue(upper ? row.slider()->maximum() : row.slider()->minimum());
  }
};

TEST(PlaybackTimeTest, FormatsMinutesSecondsAndHundredths) {
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(59.999), "00:59.99");
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(61.5), "01:01.50");
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(6000), "100:00.00");
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(-1), "00:00.00");
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(std::nan("")), "00:00.00");
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(-0.0), "00:00.00");
  EXPECT_EQ(TrimmerActions::formatPlaybackTime(INFINITY), "00:00.00");
}

TEST_F(EditorControlsTest, PlaybackRowSplitAndTheirKeys) {
  auto& trimmer = openMovie();
  auto& transport = trimmer.transportControls();
  activate();
  EXPECT_EQ(transport.segmentLabel()->text(), "Segment 1/1");
  EXPECT_EQ(transport.timeLabel()->text(), "00:00.00 / 00:04.00");
  EXPECT_EQ(transport.playButton()->text(), "Play");

  key(Qt::Key_Space);
  EXPECT_TRUE(trimmer.isPlaying());
  EXPECT_EQ(transport.playButton()->text(), "Pause");
  ASSERT_TRUE(waitUntil([&] { return trimmer.currentTime() > 0.3; }));
  key(Qt::Key_Space);
  EXPECT_FALSE(trimmer.isPlaying());
  EXPECT_EQ(trimmer.viewModel().player()->rate(), 0.0);

  trimmer.viewModel().seek(1.5);
  ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - 1.5) < 0.02; }));
  key(Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(trimmer.viewModel().segments().size(), 2u);
  EXPECT_EQ(trimmer.viewModel().segments()[1].startTime.seconds(), 1.5);
  EXPECT_EQ(transport.timeLabel()->text(), "00:01.50 / 00:04.00");
  // The label names the segment under the playhead: a cut's time begins the later span.
  EXPECT_EQ(transport.segmentLabel()->text(), "Segment 2/2");
  trimmer.viewModel().seek(0.5);
  ASSERT_TRUE(waitUntil([&] { return transport.segmentLabel()->text() == "Segment 1/2"; }))
      << transport.segmentLabel()->text().toStdString();
  trimmer.viewModel().seek(4.0);  // the movie's end belongs to the last span
  ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - 4.0) < 0.05; }));
  EXPECT_EQ(transport.segmentLabel()->text(), "Segment 2/2");
}

TEST_F(EditorControlsTest, ZoomSelectionFollowsAddAndDelete) {
  auto& trimmer = openMovie(10.0);
  auto& model = trimmer.viewModel();
  auto& transport = trimmer.transportControls();
  EXPECT_TRUE(transport.deleteSegmentButton()->isHidden());
  EXPECT_TRUE(transport.deleteKeyframeButton()->isHidden());

  model.addZoomSegment(5, 3, 2);
  trimmer.viewModel().seek(1.0);
  ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - 1.0) < 0.02; }));
  transport.addZoomSegmentButton()->click();  // before the existing one, and still the one selected
  ASSERT_EQ(model.zoomSegments().size(), 2u);
  EXPECT_EQ(model.zoomSegments()[0].startTime, 1.0);
  EXPECT_EQ(model.zoomSegments()[0].endTime, 4.0);
  EXPECT_EQ(model.zoomSegments()[0].zoomLevel, 2.0);
  EXPECT_EQ(trimmer.selectedZoomSegmentId(), model.zoomSegments()[0].id);
  EXPECT_FALSE(transport.deleteSegmentButton()->isHidden());
  transport.deleteSegmentButton()->click();  // takes back the one added, never the older one
  ASSERT_EQ(model.zoomSegments().size(), 1u);
  EXPECT_EQ(model.zoomSegments()[0].startTime, 5.0);
  // The older one is selected now, and its editor shows its middle first.
  ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - 6.5) < 0.05; }))
      << trimmer.currentTime();

  // At the very end the new segment starts earlier so that all of its least length is inside.
  const double end = model.asset()->duration().seconds();
  trimmer.viewModel().seek(end - 0.02);
  ASSERT_TRUE(waitUntil([&] { return trimmer.currentTime() > end - 0.1; })) << trimmer.currentTime();
  transport.addZoomSegmentButton()->click();
  ASSERT_EQ(model.zoomSegments().size(), 2u);
  const ZoomSegment atEnd = model.zoomSegments()[1];
  EXPECT_NEAR(atEnd.startTime, end - 0.5, 0.01);
  EXPECT_NEAR(atEnd.endTime, end, 0.01);
  EXPECT_EQ(trimmer.selectedZoomSegmentId(), atEnd.id);
  transport.deleteSegmentButton()->click();
  model.addZoomSegment(1, 3, 2);

  model.addZoomSegment(8.5, 1, 2);
  const auto three = ids(model.zoomSegments());
  trimmer.setSelectedZoomSegmentId(three[1]);
  transport.deleteSegmentButton()->click();  // the middle: the former third is selected
  EXPECT_EQ(ids(model.zoomSegments()), (std::vector<QUuid>{three[0], three[2]}));
  EXPECT_EQ(trimmer.selectedZoomSegmentId(), three[2]);
  transport.deleteSegmentButton()->click();  // the last: the new last is selected
  EXPECT_EQ(trimmer.selectedZoomSegmentId(), three[0]);
  transport.deleteSegmentButton()->click();  // the only one: nothing
  EXPECT_TRUE(model.zoomSegments().empty());
  EXPECT_FALSE(trimmer.selectedZoomSegmentId());
  EXPECT_TRUE(transport.deleteSegmentButton()->isHidden());

  ZoomKeyframe keyframe;
  keyframe.time = 2;
  model.setZoomKeyframes({keyframe});
  trimmer.setSelectedZoomKeyframeId(keyframe.id);
  EXPECT_FALSE(transport.deleteKeyframeButton()->isHidden());
  ASSERT_NE(trimmer.zoomEditors().keyframeEditor(), nullptr);
  transport.deleteKeyframeButton()->click();
  EXPECT_TRUE(model.zoomKeyframes().empty());
  EXPECT_FALSE(trimmer.selectedZoomKeyframeId());
  EXPECT_EQ(trimmer.zoomEditors().keyframeEditor(), nullptr);
}

TEST_F(EditorControlsTest, EditorsEditTheLiveItemAndASegmentWinsOverAKeyframe) {
  auto& trimmer = openMovie(10.0);
  auto& model = trimmer.viewModel();
  model.addZoomSegment(2, 3, 2);
  const QUuid id = model.zoomSegments()[0].id;
  ZoomKeyframe keyframe;
  keyframe.time = 1;
  model.setZoomKeyframes({keyframe});
  trimmer.setSelectedZoomKeyframeId(keyframe.id);
  trimmer.setSelectedZoomSegmentId(id);
  auto* editor = trimmer.zoomEditors().segmentEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(trimmer.zoomEditors().keyframeEditor(), nullptr);

  model.moveZoomSegment(id, 6.0);  // dragged on the timeline
  EXPECT_EQ(editor->working().startTime, 6.0);
  editor->zoomRow()->slider()->setValue(editor->zoomRow()->slider()->maximum());
  ASSERT_EQ(model.zoomSegments().size(), 1u);
  EXPECT_EQ(model.zoomSegments()[0].startTime, 6.0);  // the drag survives the slider move
  EXPECT_EQ(model.zoomSegments()[0].zoomLevel, 3.0);
  EXPECT_EQ(trimmer.zoomEditors().segmentEditor(), editor);  // the same item keeps its editor

  editor->closeButton()->click();
  EXPECT_FALSE(trimmer.selectedZoomSegmentId());
  ASSERT_TRUE(waitUntil([&] { return trimmer.zoomEditors().keyframeEditor() != nullptr; }));
  trimmer.zoomEditors().keyframeEditor()->deleteButton()->click();
  EXPECT_TRUE(model.zoomKeyframes().empty());
  EXPECT_TRUE(trimmer.zoomEditors().isHidden());
}

TEST_F(EditorControlsTest, ExportMergedWithEverySegmentDroppedSaysSo) {
  auto& trimmer = openMovie(2.0);
  auto& model = trimmer.viewModel();
  model.toggleSegmentDeletion(model.segments()[0].id);
  trimmer.transportControls().exportMergedButton()->click();
  ASSERT_TRUE(waitUntil([&] { return trimmer.showError(); }));
  EXPECT_EQ(trimmer.errorMessage(), "No active segments to export");
  EXPECT_EQ(trimmer.alert()->windowTitle(), "Export Failed");
  EXPECT_FALSE(model.isExporting());
}

TEST_F(EditorControlsTest, BackgroundCardShowsItsRowsOnlyWhileOn) {
  auto& trimmer = openMovie(2.0);
  auto& panel = trimmer.appearancePanel();
  auto& model = trimmer.viewModel();
  EXPECT_FALSE(panel.backgroundSwitch()->isChecked());
  EXPECT_TRUE(panel.backgroundRows()->isHidden());

  panel.backgroundSwitch()->click();
  EXPECT_TRUE(model.backgroundEnabled());
  EXPECT_FALSE(panel.backgroundRows()->isHidden());
  EXPECT_EQ(panel.paddingRow()->valueText()->text(), "120");
  EXPECT_EQ(panel.cornerRow()->valueText()->text(), "28");
  EXPECT_EQ(panel.screenShadowOpacityRow()->valueText()->text(), "40%");
  EXPECT_EQ(panel.screenShadowBlurRow()->valueText()->text(), "30");

  auto look = trimmer.appearance();
  look.paddingPixels = 120.9;
  trimmer.setAppearance(look);
  EXPECT_EQ(panel.paddingRow()->valueText()->text(), "120");
  dragToEnd(*panel.paddingRow(), true);
  dragToEnd(*panel.cornerRow(), false);
  dragToEnd(*panel.screenShadowOpacityRow(), true);
  dragToEnd(*panel.screenShadowBlurRow(), true);
  EXPECT_EQ(trimmer.appearance().paddingPixels, 320);
  EXPECT_EQ(trimmer.appearance().backgroundCornerRadius, 0);
  EXPECT_EQ(trimmer.appearance().screenShadowOpacity, 1);
  EXPECT_EQ(trimmer.appearance().screenShadowRadius, 60);
  EXPECT_EQ(panel.cornerRow()->valueText()->text(), "0");
  EXPECT_EQ(panel.screenShadowOpacityRow()->valueText()->text(), "100%");
  dragToEnd(*panel.paddingRow(), false);
  EXPECT_EQ(panel.paddingRow()->valueText()->text(), "40");

  // The first look is the model's own gradient; picking a preset replaces only the gradient.
  EXPECT_EQ(trimmer.selectedGradientPreset(), GradientPreset::purple);
  EXPECT_EQ(model.backgroundSettings().gradient->angle, 45);
  BackgroundSettings settings = model.backgroundSettings();
  settings.opacity = 0.7;
  model.setBackgroundSettings(settings);
  panel.gradientPicker()->buttons().front()->click();
  EXPECT_EQ(trimmer.selectedGradientPreset(), GradientPreset::sunset);
  EXPECT_EQ(model.backgroundSettings().gradient->angle, 135);
  EXPECT_EQ(model.backgroundSettings().gradient->colors.size(), 3u);
  EXPECT_EQ(model.backgroundSettings().opacity, 0.7);
  EXPECT_EQ(model.backgroundSettings().type, StudioBackgroundType::gradient);
}

TEST_F(EditorControlsTest, CursorCardWritesTheWholeSettingsAndHidesByItsSwitches) {
  auto& trimmer = openMovie(2.0);
  auto& panel = trimmer.appearancePanel();
  auto& model = trimmer.viewModel();
  // No metadata, so no cursor data: the switch shows on but cannot be flipped; the rows work.
  EXPECT_TRUE(panel.cursorSwitch()->isChecked());
  EXPECT_FALSE(panel.cursorSwitch()->isEnabled());
  EXPECT_FALSE(panel.cursorRows()->isHidden());
  EXPECT_EQ(panel.cursorScaleRow()->valueText()->text(), "1.5");
  EXPECT_EQ(panel.cursorSmoothRow()->valueText()->text(), "50%");
  EXPECT_EQ(panel.motionBlurRow()->valueText()->text(), "25%");
  QStringList speeds;
  for (auto* segment : panel.speedSegments()) speeds << segment->text();
  EXPECT_EQ(speeds, (QStringList{"Slow", "Mellow", "Quick", "Rapid"}));
  EXPECT_TRUE(panel.speedSegments()[2]->isChecked());

  int changes = 0;
  QObject::connect(&model, &VideoTrimmerViewModel::cursorOverlaySettingsChanged, [&] { ++changes; });
  dragToEnd(*panel.cursorScaleRow(), true);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(model.cursorOverlaySettings().scale, 3.0);
  EXPECT_EQ(panel.cursorScaleRow()->valueText()->text(), "3.0");
  dragToEnd(*panel.cursorScaleRow(), false);
  EXPECT_EQ(panel.cursorScaleRow()->valueText()->text(), "1.0");
  panel.speedSegments()[0]->click();
  EXPECT_EQ(model.cursorOverlaySettings().animationSpeed, CursorAnimationSpeed::slow);
  EXPECT_EQ(model.cursorOverlaySettings().clickScale, 1.3);  // never touched by the card

  panel.motionBlurSwitch()->click();
  EXPECT_FALSE(model.cursorOverlaySettings().motionBlurEnabled);
  EXPECT_TRUE(panel.motionBlurRow()->isHidden());
  EXPECT_FALSE(panel.cursorSmoothRow()->isHidden());

  CursorOverlaySettings off = model.cursorOverlaySettings();
  off.enabled = false;
  model.setCursorOverlaySettings(off);
  EXPECT_TRUE(panel.cursorRows()->isHidden());
  off.enabled = true;
  model.setCursorOverlaySettings(off);
  EXPECT_FALSE(panel.cursorRows()->isHidden());
  EXPECT_EQ(panel.cursorScaleRow()->valueText()->text(), "1.0");  // kept while hidden
}

TEST_F(EditorControlsTest, CameraCardNeedsTheCameraLayer) {
  {
    auto& trimmer = openMovie(2.0);
    auto& panel = trimmer.appearancePanel();
    EXPECT_FALSE(panel.cameraSwitch()->isEnabled());
    trimmer.setIncludeCameraInExport(true);
    EXPECT_TRUE(panel.cameraRows()->isHidden());  // no layer file: no rows even when included
    window.reset();
  }
  writeCameraLayer();
  auto& trimmer = openMovie(2.0);
  auto& panel = trimmer.appearancePanel();
  ASSERT_TRUE(panel.cameraSwitch()->isEnabled());
  EXPECT_TRUE(panel.cameraRows()->isHidden());
  panel.cameraSwitch()->click();
  EXPECT_TRUE(trimmer.includeCameraInExport());
  EXPECT_FALSE(panel.cameraRows()->isHidden());
  QStringList rows;
  for (int i = 0; i < panel.cameraRows()->layout()->count(); ++i) {
    QWidget* row = panel.cameraRows()->layout()->itemAt(i)->widget();
    if (auto* slider = qobject_cast<SliderRow*>(row))
      rows << slider->label()->text();
    else if (auto* label = qobject_cast<QLabel*>(row))
      rows << label->text();
    else if (qobject_cast<QFrame*>(row))
      rows << "divider";
    else if (const auto pair = row->findChildren<SliderRow*>(Qt::FindDirectChildrenOnly); !pair.empty())
      for (auto* side : pair) rows << side->label()->text();  // two settings side by side
    else
      rows << row->findChild<QLabel*>()->text();
  }
  EXPECT_EQ(rows,
            (QStringList{"Shape", "Size", "Shrink", "Ease", "divider", "Camera Shadow", "Opacity", "Blur"}));
  EXPECT_EQ(panel.sizeRow()->valueText()->text(), "22%");
  EXPECT_EQ(panel.shrinkRow()->valueText()->text(), "66%");
  EXPECT_EQ(panel.easeRow()->valueText()->text(), "0.22");
  EXPECT_EQ(panel.cameraShadowOpacityRow()->valueText()->text(), "40%");
  EXPECT_EQ(panel.cameraShadowBlurRow()->valueText()->text(), "12");
  auto look = trimmer.appearance();
  look.cameraShadowRadius = 12.9;
  trimmer.setAppearance(look);
  EXPECT_EQ(panel.cameraShadowBlurRow()->valueText()->text(), "12");

  dragToEnd(*panel.sizeRow(), false);
  EXPECT_DOUBLE_EQ(trimmer.appearance().pipWidthFraction, 0.1);
  dragToEnd(*panel.sizeRow(), true);
  EXPECT_DOUBLE_EQ(trimmer.appearance().pipWidthFraction, 0.5);
  dragToEnd(*panel.easeRow(), false);
  EXPECT_DOUBLE_EQ(trimmer.appearance().easeDuration, 0.05);
  panel.shapeSegments()[1]->click();
  EXPECT_EQ(trimmer.appearance().cameraShape, CameraShape::circle);

  panel.cameraSwitch()->click();  // off: rows hidden, values kept, the export names no camera
  EXPECT_TRUE(panel.cameraRows()->isHidden());
  EXPECT_EQ(trimmer.appearance().cameraShape, CameraShape::circle);
  EXPECT_FALSE(trimmer.viewModel().cameraURL());
}

TEST_F(EditorControlsTest, ExportRunsOnceACancelShowsNothingAndASuccessNamesTheFile) {
  auto& trimmer = openMovie(3.0);
  auto& model = trimmer.viewModel();
  auto& panel = trimmer.appearancePanel();

  panel.exportButton()->click();
  ASSERT_TRUE(model.isExporting());
  EXPECT_FALSE(panel.exportButton()->isEnabled());
  EXPECT_FALSE(trimmer.transportControls().exportMergedButton()->isEnabled());
  const auto running = model.exportSession();
  trimmer.actions().exportAdvanced();  // a shortcut or a stale click: refused
  trimmer.actions().exportTrimmedVideo();
  EXPECT_EQ(model.exportSession(), running);

  trimmer.playerArea().exportCancelButton().click();
  EXPECT_FALSE(model.isExporting());
  pumpEvents(std::chrono::milliseconds(500));
  EXPECT_FALSE(trimmer.showError());
  EXPECT_FALSE(trimmer.showExportSuccess());
  EXPECT_EQ(trimmer.alert(), nullptr);

  ASSERT_TRUE(waitUntil([&] { return !model.exportSession(); }, std::chrono::seconds(30)));
  panel.exportButton()->click();
  ASSERT_TRUE(waitUntil([&] { return trimmer.showExportSuccess() || trimmer.showError(); },
                        std::chrono::seconds(120)));
  ASSERT_TRUE(trimmer.showExportSuccess()) << trimmer.errorMessage();
  ASSERT_TRUE(trimmer.exportedURL());
  EXPECT_TRUE(fs::exists(*trimmer.exportedURL()));
  EXPECT_EQ(trimmer.alert()->text(),
            "Trimmed video saved to:\n" + QString::fromStdString(trimmer.exportedURL()->filename().string()));
}

TEST_F(EditorControlsTest, ClosingAnEditedWindowAsksFirst) {
  {  // unchanged: Ctrl+W closes at once
    auto& trimmer = openMovie(2.0);
    (void)trimmer;
    activate();
    key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(openPrompt(), nullptr);
    window.reset();
  }
  auto& trimmer = openMovie(2.0);
  activate();
  trimmer.appearancePanel().backgroundSwitch()->click();
  EXPECT_TRUE(trimmer.hasUnsavedEdits());
  key(Qt::Key_Escape);
  ASSERT_NE(openPrompt(), nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(openPrompt()->windowModality(), Qt::WindowModal);
  EXPECT_TRUE(trimmer.viewModel().player());  // nothing torn down while it asks

  QAbstractButton* cancel = nullptr;
  QAbstractButton* discard = nullptr;
  for (auto* button : openPrompt()->buttons()) {
    if (button->text() == "Cancel") cancel = button;
    if (button->text() == "Discard") discard = button;
  }
  ASSERT_TRUE(cancel && discard);
  cancel->click();
  ASSERT_TRUE(waitUntil([&] { return openPrompt() == nullptr; }));
  EXPECT_TRUE(window->isVisible());

  // Undoing the edit makes the window unchanged again.
  trimmer.appearancePanel().backgroundSwitch()->click();
  EXPECT_FALSE(trimmer.hasUnsavedEdits());
  trimmer.transportControls().addZoomSegmentButton()->click();
  EXPECT_TRUE(trimmer.hasUnsavedEdits());
  window->close();  // the close box
  ASSERT_NE(openPrompt(), nullptr);
  EXPECT_TRUE(window->isVisible());
  for (auto* button : openPrompt()->buttons())
    if (button->text() == "Discard") button->click();
  ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));
  EXPECT_EQ(trimmer.viewModel().player(), nullptr);  // torn down on the real close
}

}  // namespace
}  // namespace tk::test
