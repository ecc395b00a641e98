#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "support/TestMovies.h"
#include "support/TestSupport.h"

#include "editor/VideoTrimmerViewModel.h"
#include "model/MetadataRecorder.h"
#include "model/RecordingPackage.h"

namespace tk {
namespace {

// A ten-second movie (small, 10 fps, a tone) written once, with metadata saved by the recording
// side's own recorder under the names the coordinator uses: beside the movie, and in a package.
class VideoTrimmerViewModelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new QTemporaryDir();
    test::TestMovieSpec spec;
    spec.width = 64;
    spec.height = 36;
    spec.frameRate = 10;
    spec.seconds = 10.0;
    spec.silentUntil = 5.0;
    test::writeTestMovie(movie(), spec);

    const auto package =
        RecordingPackage::create(root() / "Recording-package", std::chrono::system_clock::now());
    std::filesystem::create_directories(package.packageURL);
    std::filesystem::copy_file(movie(), package.screenVideoURL);
    packageMovie_ = new std::filesystem::path(package.screenVideoURL);
    saveMetadata(package.metadataURL, 2);
    // Beside a plain movie the coordinator saves "<name>.metadata.json".
    saveMetadata(root() / "Recording.metadata.json", 3);
  }
  static void TearDownTestSuite() {
    delete packageMovie_;
    delete folder_;
  }

  // `clicks` clicks and two zoom events (at 1 s and 2 s) with the recorder on a fake clock.
  static void saveMetadata(const std::filesystem::path& file, int clicks) {
    double now = 0;
    MetadataRecorder recorder(QSizeF(64, 36), 10, [&] { return now; });
    recorder.startRecording(std::chrono::system_clock::now());
    for (int i = 0; i < clicks; ++i) {
      now = 0.5 + i;
      recorder.recordCursorPosition(QPointF(0.1 * i, 0.2));
      recorder.recordClick(ClickType::rightClick, QPointF(0.1 * i, 0.2));
    }
    now = 1.0;
    recorder.recordZoomEvent(QPointF(0.25, 0.8), 2.0, 0.5, EasingFunction::easeInOut);
    now = 2.0;
    recorder.recordZoomEvent(QPointF(0.5, 0.5), 1.5, 0.5, EasingFunction::easeInOut);
    recorder.stopRecording(10.0);
    recorder.saveMetadata(file);
  }

  static std::filesystem::path root() { return folder_->path().toStdString(); }
  static std::filesystem::path movie() { return root() / "Recording.mov"; }

  // Loads a movie and waits until the model is ready; counts completions.
  void load(VideoTrimmerViewModel& model, const std::filesystem::path& file) {
    model.loadVideo(file, [this](std::optional<PlatformError> error) {
      ++completions_;
      error_ = std::move(error);
    });
    ASSERT_TRUE(test::waitUntil([&] { return completions_ > 0; }));
  }

  static QTemporaryDir* folder_;
  static std::filesystem::path* packageMovie_;
  int completions_ = 0;
  std::optional<PlatformError> error_;
};

QTemporaryDir* VideoTrimmerViewModelTest::folder_ = nullptr;
std::filesystem::path* VideoTrimmerViewModelTest::packageMovie_ = nullptr;

class RecordingExport : public ExportSession {
 public:
  void cancel() override { ++cancels; }
  int cancels = 0;
};

TEST_F(VideoTrimmerViewModelTest, LoadingCompletesOnceAndSeedsDurationSegmentWaveformAndMetadata) {
  test::CapturedLines lines;
  VideoTrimmerViewModel model;
  EXPECT_TRUE(model.isLoading());
  int loadingChanges = 0;
  QObject::connect(&model, &VideoTrimmerViewModel::isLoadingChanged, [&] { ++loadingChanges; });
  load(model, movie());
  EXPECT_FALSE(error_);
  EXPECT_FALSE(model.isLoading());
  EXPECT_EQ(loadingChanges, 1);
  EXPECT_EQ(model.fileURL(), movie());
  ASSERT_TRUE(model.asset());
  EXPECT_EQ(model.videoDuration(), MediaTime(6000, 600));
  ASSERT_EQ(model.segments().size(), 1u);
  EXPECT_EQ(model.segments()[0].startTime, MediaTime::zero());
  EXPECT_EQ(model.segments()[0].endTime, MediaTime(10, 1));
  EXPECT_FALSE(model.segments()[0].isMarkedForDeletion);
  EXPECT_TRUE(lines.contains("✅ Player item ready to play"));
  EXPECT_TRUE(lines.contains("✅ Video is ready. Initializing UI."));

  ASSERT_TRUE(
      test::waitUntil([&] { return !model.isGeneratingWaveform() && !model.waveformSamples().empty(); }));
  EXPECT_EQ(model.waveformSamples().size(), 500u);
  EXPECT_LT(model.waveformSamples()[100], 0.02f);
  EXPECT_NEAR(model.waveformSamples()[400], 1.0f, 0.05f);

  // The metadata beside the movie, its events turned into keyframes and segments.
  ASSERT_TRUE(test::waitUntil([&] { return model.metadata().has_value(); }));
  EXPECT_EQ(model.metadata()->cursorClicks.size(), 3u);
  EXPECT_EQ(model.zoomKeyframes().size(), 2u);
  ASSERT_EQ(model.zoomSegments().size(), 2u);
  EXPECT_EQ(model.zoomSegments()[1].startTime, 0.5);
  EXPECT_EQ(model.zoomSegments()[1].endTime, 3.5);
  EXPECT_TRUE(lines.contains("📍 Loaded 3 cursor positions spanning 0.50s to 2.50s"));
  EXPECT_TRUE(lines.contains("🖱️ Loaded 3 click events"));
  EXPECT_TRUE(lines.contains("   Click 2: rightClick at 1.50s"));
  EXPECT_TRUE(lines.contains("📍 Loaded 2 zoom segments"));

  // Later time jumps change nothing: no second completion, the segments stay.
  model.seek(4.0);
  test::waitUntil([&] { return model.player()->currentTime() == MediaTime(4, 1); });
  test::pumpEvents(std::chrono::milliseconds(100));
  EXPECT_EQ(completions_, 1);
  EXPECT_EQ(loadingChanges, 1);
  EXPECT_EQ(model.segments().size(), 1u);
}

TEST_F(VideoTrimmerViewModelTest, APackageScreenLayerFindsThePackagesMetadata) {
  VideoTrimmerViewModel model;
  load(model, *packageMovie_);
  ASSERT_TRUE(test::waitUntil([&] { return model.metadata().has_value(); }));
  EXPECT_EQ(model.metadata()->cursorClicks.size(), 2u);
}

TEST_F(VideoTrimmerViewModelTest, AFailedItemReportsItsErrorOnceAndStaysLoading) {
  const auto broken = root() / "broken.mov";
  std::ofstream(broken) << "no movie here";
  test::CapturedLines lines;
  VideoTrimmerViewModel model;
  load(model, broken);
  ASSERT_TRUE(error_);
  EXPECT_NE(error_->localizedDescription().find("broken.mov"), std::string::npos);
  EXPECT_TRUE(lines.contains("❌ Player item failed: "));
  EXPECT_TRUE(model.isLoading());
  test::pumpEvents(std::chrono::milliseconds(100));
  EXPECT_EQ(completions_, 1);

  VideoTrimmerViewModel folderModel;
  completions_ = 0;
  load(folderModel, root());
  ASSERT_TRUE(error_);
  EXPECT_EQ(error_->domain(), "VideoTrimmer");
  EXPECT_EQ(error_->code(), -1);
  EXPECT_EQ(error_->localizedDescription(), "Failed to load asset");
}

TEST_F(VideoTrimmerViewModelTest, CutsSplitTheSegmentUnderThePlayheadAndToggleKeepOrDrop) {
  test::CapturedLines lines;
  VideoTrimmerViewModel model;
  load(model, movie());
  model.addCutAtCurrentTime();  // at 0: refused
  EXPECT_TRUE(lines.contains("⚠️ Invalid cut time"));
  EXPECT_EQ(model.segments().size(), 1u);

  const QUuid first = model.segments()[0].id;
  model.toggleSegmentDeletion(first);
  EXPECT_TRUE(model.segments()[0].isMarkedForDeletion);
  EXPECT_TRUE(lines.contains("🔄 Toggled segment 0 to Inactive"));

  model.seek(4.0);
  ASSERT_TRUE(test::waitUntil([&] { return model.player()->currentTime() == MediaTime(4, 1); }));
  model.addCutAtCurrentTime();
  ASSERT_EQ(model.segments().size(), 2u);
  // A dropped segment splits into two kept halves with fresh ids.
  EXPECT_EQ(model.segments()[0].startTime, MediaTime::zero());
  EXPECT_EQ(model.segments()[0].endTime, MediaTime(4, 1));
  EXPECT_EQ(model.segments()[1].startTime, MediaTime(4, 1));
  EXPECT_EQ(model.segments()[1].endTime, MediaTime(10, 1));
  EXPECT_FALSE(model.segments()[0].isMarkedForDeletion || model.segments()[1].isMarkedForDeletion);
  EXPECT_NE(model.segments()[0].id, first);
  EXPECT_TRUE(lines.contains("✂️ Cut added at 4.0s - now have 2 segments"));

  model.seek(7.5);
  ASSERT_TRUE(test::waitUntil([&] { return model.player()->currentTime() == MediaTime(15, 2); }));
  model.addCutAtCurrentTime();
  ASSERT_EQ(model.segments().size(), 3u);
  EXPECT_EQ(model.segments()[1].endTime, MediaTime(15, 2));
  EXPECT_EQ(model.segments()[2].startTime, MediaTime(15, 2));
  model.addCutAtCurrentTime();  // a second cut at the same time: no empty segment
  EXPECT_EQ(model.segments().size(), 3u);
  EXPECT_TRUE(lines.contains("⚠️ A cut is already at 7.5s"));

  const QUuid middle = model.segments()[1].id;
  model.toggleSegmentDeletion(middle);
  model.toggleSegmentDeletion(middle);
  EXPECT_FALSE(model.segments()[1].isMarkedForDeletion);
  EXPECT_TRUE(lines.contains("🔄 Toggled segment 1 to Active"));
  model.toggleSegmentDeletion(QUuid::createUuid());  // unknown: nothing
  EXPECT_EQ(model.segments().size(), 3u);

  // At the very end: not before the duration, refused.
  model.seek(10.0);
  ASSERT_TRUE(test::waitUntil([&] { return model.player()->currentTime() == MediaTime(10, 1); }));
  model.addCutAtCurrentTime();
  EXPECT_EQ(model.segments().size(), 3u);
}

TEST_F(VideoTrimmerViewModelTest, ZoomEditsStayClampedSortedAndWrittenBackToTheMetadata) {
  test::CapturedLines lines;
  VideoTrimmerViewModel model;
  load(model, movie());
  ASSERT_TRUE(test::waitUntil([&] { return model.metadata().has_value(); }));
  const auto inMetadata = [&] { return model.metadata()->zoomSegments == model.zoomSegments(); };

  model.addZoomSegment(-2, 3, 2);
  model.addZoomSegment(9.8, 3, 5);
  // The two converted from the file's events (0-0.5, 0.5-3.5) and the two added, by start; equal
  // starts keep their order.
  ASSERT_EQ(model.zoomSegments().size(), 4u);
  EXPECT_EQ(model.zoomSegments()[0].endTime, 0.5);
  EXPECT_EQ(model.zoomSegments()[1].startTime, 0.0);  // asked for at -2 s
  EXPECT_EQ(model.zoomSegments()[1].endTime, 3.0);
  const ZoomSegment last = model.zoomSegments()[3];
  EXPECT_NEAR(last.startTime, 9.5, 1e-9);  // moved back to keep half a second inside the movie
  EXPECT_EQ(last.endTime, 10.0);
  EXPECT_EQ(last.zoomLevel, 3.0);
  EXPECT_EQ(last.easeIn, 0.8);
  EXPECT_TRUE(inMetadata());
  EXPECT_TRUE(lines.contains("🔍 Added zoom segment: 9.50s - 10.00s @ 5.0x"));

  ZoomSegment edited = last;
  edited.zoomLevel = 0.5;
  edited.easeIn = 0.01;
  edited.easeOut = 3;
  edited.startTime = 1.2;
  edited.endTime = 1.3;
  model.updateZoomSegment(edited);
  auto found = std::find_if(model.zoomSegments().begin(), model.zoomSegments().end(),
                            [&](const ZoomSegment& s) { return s.id == last.id; });
  ASSERT_NE(found, model.zoomSegments().end());
  EXPECT_EQ(found->zoomLevel, 1.0);
  EXPECT_EQ(found->easeIn, 0.05);
  EXPECT_EQ(found->easeOut, 2.0);
  EXPECT_NEAR(found->endTime, 1.7, 1e-9);
  EXPECT_TRUE(
      std::is_sorted(model.zoomSegments().begin(), model.zoomSegments().end(),
                     [](const ZoomSegment& a, const ZoomSegment& b) { return a.startTime < b.startTime; }));
  EXPECT_TRUE(inMetadata());

  model.addZoomSegment(2, 4, 2);
  const QUuid fourSeconds =
      std::find_if(model.zoomSegments().begin(), model.zoomSegments().end(), [](const ZoomSegment& s) {
        return s.startTime == 2 && s.endTime == 6;
      })->id;
  model.moveZoomSegment(fourSeconds, 8);
  found = std::find_if(model.zoomSegments().begin(), model.zoomSegments().end(),
                       [&](const ZoomSegment& s) { return s.id == fourSeconds; });
  EXPECT_EQ(found->startTime, 6.0);
  EXPECT_EQ(found->endTime, 10.0);
  model.updateZoomSegmentStart(fourSeconds, 12);
  found = std::find_if(model.zoomSegments().begin(), model.zoomSegments().end(),
                       [&](const ZoomSegment& s) { return s.id == fourSeconds; });
  EXPECT_EQ(found->startTime, 9.5);
  model.updateZoomSegmentEnd(fourSeconds, 1);
  found = std::find_if(model.zoomSegments().begin(), model.zoomSegments().end(),
                       [&](const ZoomSegment& s) { return s.id == fourSeconds; });
  EXPECT_EQ(found->endTime, 10.0);
  EXPECT_TRUE(inMetadata());

  // Keyframes: an edit that moves one past another re-sorts the list, and the metadata follows.
  ZoomKeyframe moved = model.zoomKeyframes()[0];
  moved.time = 5;
  model.updateZoomKeyframe(moved);
  EXPECT_EQ(model.zoomKeyframes()[1].id, moved.id);
  EXPECT_EQ(model.zoomKeyframes()[0].time, 2.0);
  EXPECT_EQ(model.metadata()->zoomKeyframes, model.zoomKeyframes());
  // The window's delete removes from the list and syncs.
  auto keyframes = model.zoomKeyframes();
  keyframes.pop_back();
  model.setZoomKeyframes(keyframes);
  model.syncZoomKeyframesToMetadata();
  EXPECT_EQ(model.metadata()->zoomKeyframes.size(), 1u);
}

TEST_F(VideoTrimmerViewModelTest, CleanupDetachesThePlayerAndCancelsTheExport) {
  VideoTrimmerViewModel model;
  load(model, movie());
  auto running = std::make_shared<RecordingExport>();
  model.setExportSession(running);
  model.setIsExporting(true);
  model.setExportProgress(0.4);
  model.cancelExport();
  EXPECT_EQ(running->cancels, 1);
  EXPECT_FALSE(model.isExporting());
  EXPECT_EQ(model.exportProgress(), 0.0);

  model.setIsExporting(true);
  model.cleanup();
  EXPECT_EQ(running->cancels, 2);
  EXPECT_EQ(model.player(), nullptr);
  EXPECT_EQ(model.playerView()->player(), nullptr);
  EXPECT_FALSE(model.asset());
  EXPECT_FALSE(model.fileURL());
  EXPECT_FALSE(model.exportSession());
  EXPECT_EQ(model.segments().size(), 1u);  // published lists stay
  model.setupTimeObserver();               // no player: nothing
  model.seek(-1);
  EXPECT_EQ(model.currentTime(), -1.0);
  test::CapturedLines lines;
  model.addCutAtCurrentTime();
  EXPECT_TRUE(lines.contains("⚠️ Invalid cut time"));
}

TEST_F(VideoTrimmerViewModelTest, NothingAsynchronousOutlivesTheModel) {
  // Destroyed at each stage of loading: before the item is ready, while the waveform and the
  // metadata are read. Anything that still ran afterwards would touch freed memory, and a
  // completion called then would reach an editor that is gone.
  int lateCompletions = 0;
  for (int wait : {0, 1, 5, 20, 60}) {
    auto model = std::make_unique<VideoTrimmerViewModel>();
    auto gone = std::make_shared<bool>(false);
    model->loadVideo(movie(), [gone, &lateCompletions](std::optional<PlatformError>) {
      if (*gone) ++lateCompletions;
    });
    test::pumpEvents(std::chrono::milliseconds(wait));
    *gone = true;
    model.reset();
  }
  test::pumpEvents(std::chrono::milliseconds(300));
  EXPECT_EQ(lateCompletions, 0);
}

}  // namespace
}  // namespace tk
