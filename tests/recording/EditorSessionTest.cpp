// From a recording to an exported cut, as a person does it: the coordinator records an area and
// hands the movie to the editor; keys and clicks reach the editor through the X server (xdotool);
// the merged movie is read back with the ffmpeg tools.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include "MovieProbe.h"
#include "RecordingTestSupport.h"
#include "editor_ui/EditorPointer.h"
#include "editor_ui/TransportControls.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "editor_ui/VideoTrimmerView.h"
#include "platform/qt/SettingsStore.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

class EditorSessionTest : public test::CoordinatorTest {
 protected:
  static constexpr QRect kArea{400, 300, 320, 240};

  void SetUp() override {
    test::CoordinatorTest::SetUp();
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "no xdotool";
  }
  static bool xdotool(const QStringList& arguments) { return test::xdotool(arguments); }
  static bool click(QWidget& widget) { return test::pointerClick(widget); }
  QRectF areaInGlobal() const {
    return QRectF(kArea.x(), display->frame.height() - kArea.bottom() - 1, kArea.width(), kArea.height());
  }
};

TEST_F(EditorSessionTest, RecordSplitDropZoomAndExportMerged) {
  // Black around a green middle that is larger than half the area: zoomed 2x about the middle,
  // the whole picture is green; unzoomed, the corners are black.
  test::PatternWindow black(kArea, Qt::black);
  ASSERT_TRUE(black.showAndWait());
  test::PatternWindow green(QRect(kArea.x() + 70, kArea.y() + 50, 180, 140), QColor(0, 255, 0));
  ASSERT_TRUE(green.showAndWait());
  // The pointer rests in the middle, so the zoom that follows it stays centred.
  ASSERT_TRUE(xdotool(
      {"mousemove", "--sync", QString::number(kArea.center().x()), QString::number(kArea.center().y())}));

  QTemporaryDir settingsDir;
  SettingsStore::useFileForStandard(settingsDir.filePath("settings.ini"));
  SettingsStore::standard().setBool("trimAfterRecord", true);
  RecordingCoordinator coordinator;
  RecordingMode mode = RecordingMode::screenArea(display, areaInGlobal());
  auto configuration = config(mode);
  configuration.studioConfig = StudioRecordingConfiguration{};
  configuration.studioConfig->enableSeparateLayers = true;
  test::awaitTask(coordinator.prepareRecording(mode, configuration));
  test::awaitTask(coordinator.startRecording());
  ASSERT_TRUE(
      test::waitUntil([&] { return coordinator.recordingDuration() >= 3.6; }, std::chrono::seconds(20)));
  test::awaitTask(coordinator.stopRecording());
  SettingsStore::useFileForStandard({});
  auto* completed = coordinator.recordingState().get<RecordingState::Completed>();
  ASSERT_TRUE(completed);
  const fs::path screenLayer = completed->fileURL / ".screen.mov";

  auto& editor = VideoTrimmerManager::shared();
  ASSERT_TRUE(test::waitUntil([&] { return editor.openTrimmerWindow(screenLayer) != nullptr; }));
  QWidget* window = editor.openTrimmerWindow(screenLayer);
  auto* trimmer = window->findChild<VideoTrimmerView*>();
  ASSERT_TRUE(trimmer);
  ASSERT_TRUE(test::waitUntil([&] { return !trimmer->viewModel().isLoading() || trimmer->loadFailed(); }));
  ASSERT_FALSE(trimmer->loadFailed()) << trimmer->errorMessage();
  auto& model = trimmer->viewModel();
  const double recorded = model.videoDuration().seconds();
  ASSERT_GT(recorded, 3.0);
  window->raise();
  window->activateWindow();
  ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == window; }));

  // Cut at 1 s and 2 s with the keyboard and drop the second between them.
  for (double at : {1.0, 2.0}) {
    model.seek(at);
    ASSERT_TRUE(test::waitUntil([&] { return std::abs(trimmer->currentTime() - at) < 0.02; }));
    const size_t before = model.segments().size();
    ASSERT_TRUE(xdotool({"key", "--clearmodifiers", "ctrl+s"}));
    ASSERT_TRUE(test::waitUntil([&] { return model.segments().size() == before + 1; }));
  }
  // The second segment is dropped with a tap on its block in the timeline's strip.
  auto& strip = trimmer->timeline().segmentStrip();
  ASSERT_TRUE(test::waitUntil([&] { return strip.blockAt(strip.width() / 2).has_value(); }));
  ASSERT_TRUE(test::tapSegment(strip, 1));
  ASSERT_TRUE(test::waitUntil([&] { return model.segments()[1].isMarkedForDeletion; }));

  // A zoom from 2.5 s of the recording to its end.
  model.seek(2.5);
  ASSERT_TRUE(test::waitUntil([&] { return std::abs(trimmer->currentTime() - 2.5) < 0.02; }));
  ASSERT_TRUE(click(*trimmer->transportControls().addZoomSegmentButton()));
  ASSERT_TRUE(test::waitUntil([&] { return model.zoomSegments().size() == 1u; }));
  EXPECT_EQ(model.zoomSegments()[0].startTime, 2.5);

  ASSERT_TRUE(click(*trimmer->transportControls().exportMergedButton()));
  ASSERT_TRUE(test::waitUntil([&] { return trimmer->showExportSuccess() || trimmer->showError(); },
                              std::chrono::seconds(180)));
  ASSERT_TRUE(trimmer->showExportSuccess()) << trimmer->errorMessage();
  const fs::path merged = *trimmer->exportedURL();

  // One second is gone; the zoom starts at 1.5 s of the merged movie and is whole from there.
  const auto facts = test::probeMovie(merged);
  ASSERT_TRUE(facts);
  EXPECT_NEAR(facts->duration, recorded - 1.0, 0.15);
  const int w = facts->width, h = facts->height;
  ASSERT_GT(w, 0);
  const auto pixel = [&](const std::vector<uint8_t>& bgra, double fx, double fy) {
    const size_t at = (size_t(fy * (h - 1)) * w + size_t(fx * (w - 1))) * 4;
    return QColor(bgra[at + 2], bgra[at + 1], bgra[at]);
  };
  const auto isGreen = [](QColor c) { return c.green() > 150 && c.red() < 100 && c.blue() < 100; };
  const auto isBlack = [](QColor c) { return c.green() < 60 && c.red() < 60 && c.blue() < 60; };

  const auto plain = test::frameAt(merged, 0.3, w, h);
  ASSERT_EQ(plain.size(), size_t(w * h * 4));
  EXPECT_TRUE(isBlack(pixel(plain, 0.03, 0.04)));
  EXPECT_TRUE(isGreen(pixel(plain, 0.35, 0.5)));

  const auto zoomed = test::frameAt(merged, 1.9, w, h);
  ASSERT_EQ(zoomed.size(), size_t(w * h * 4));
  for (auto [fx, fy] : {std::pair{0.03, 0.04}, {0.97, 0.04}, {0.03, 0.96}, {0.97, 0.96}})
    EXPECT_TRUE(isGreen(pixel(zoomed, fx, fy))) << "corner " << fx << "," << fy << " is not zoomed in";

  // The edits are in the movie just exported: closing asks nothing.
  window->close();
  EXPECT_FALSE(trimmer->discardPrompt());
  ASSERT_TRUE(test::waitUntil([&] { return editor.openTrimmerWindow(screenLayer) == nullptr; }));
}

}  // namespace
}  // namespace tk
