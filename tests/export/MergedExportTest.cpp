#include <gtest/gtest.h>

#include "export/ExportTestSupport.h"
#include "export/MergedTimeline.h"
#include "export/RoundedCameraCompositorSettings.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "recording/MovieProbe.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

VideoSegment kept(double from, double to) {
  VideoSegment segment;
  segment.startTime = MediaTime::fromSeconds(from, 600);
  segment.endTime = MediaTime::fromSeconds(to, 600);
  return segment;
}

ZoomSegment zoom(double from, double to, double level = 2) {
  ZoomSegment segment;
  segment.startTime = from;
  segment.endTime = to;
  segment.zoomLevel = level;
  segment.easeIn = segment.easeOut = 0.05;
  return segment;
}

TEST(MergedTimelineTest, ZoomCursorAndClicksMoveOntoTheMergedClock) {
  // Kept: 1–2 s and 4–6 s (a spanless 3–3 s in between is skipped), merged at 0–1 s and 1–3 s.
  const MergedTimeline timeline({kept(1, 2), kept(3, 3), kept(4, 6)});
  ASSERT_EQ(timeline.spans().size(), 2u);
  EXPECT_DOUBLE_EQ(timeline.duration(), 3.0);
  EXPECT_EQ(timeline.mergedTime(4.5), 1.5);
  EXPECT_FALSE(timeline.mergedTime(3.0));
  EXPECT_FALSE(timeline.mergedTime(0.5));

  // Inside a kept span: shifted. Across the cut: the pieces meet on the merged clock and join.
  // Across a kept span's start only: cut to it. Wholly dropped: gone.
  const auto moved =
      timeline.zoomSegments({zoom(4.2, 4.8), zoom(1.5, 5.0, 3), zoom(0.2, 1.4), zoom(2.2, 3.5)});
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_DOUBLE_EQ(moved[0].startTime, 0.0);
  EXPECT_DOUBLE_EQ(moved[0].endTime, 0.4);
  EXPECT_DOUBLE_EQ(moved[1].startTime, 0.5);
  EXPECT_DOUBLE_EQ(moved[1].endTime, 2.0);
  EXPECT_EQ(moved[1].zoomLevel, 3);
  EXPECT_EQ(moved[1].easeIn, 0.05);
  EXPECT_NEAR(moved[2].startTime, 1.2, 1e-12);
  EXPECT_NEAR(moved[2].endTime, 1.8, 1e-12);

  // A zoom over two kept spans that do not meet (a dropped span at its middle) stays in two pieces.
  const MergedTimeline gapped({kept(0, 1), kept(2, 3)});
  const auto split = gapped.zoomSegments({zoom(0.5, 2.5)});
  EXPECT_EQ(split.size(), 1u) << "0.5–1 and 2–2.5 meet at merged 1 s";
  const auto apart = MergedTimeline({kept(0, 1), kept(1.5, 2), kept(2.5, 3)}).zoomSegments({zoom(0.5, 1.2)});
  ASSERT_EQ(apart.size(), 1u);
  EXPECT_DOUBLE_EQ(apart[0].endTime, 1.0);

  std::vector<CursorPosition> samples(3);
  samples[0].timestamp = 1.5;
  samples[1].timestamp = 3.5;
  samples[2].timestamp = 5.0;
  const auto cursor = timeline.cursorPositions(samples);
  ASSERT_EQ(cursor.size(), 2u);
  EXPECT_DOUBLE_EQ(cursor[0].timestamp, 0.5);
  EXPECT_DOUBLE_EQ(cursor[1].timestamp, 2.0);
  EXPECT_EQ(cursor[1].id, samples[2].id);
  std::vector<CursorClick> clicks(2);
  clicks[0].timestamp = 0.1;
  clicks[1].timestamp = 4.0;
  const auto movedClicks = timeline.clicks(clicks);
  ASSERT_EQ(movedClicks.size(), 1u);
  EXPECT_DOUBLE_EQ(movedClicks[0].timestamp, 1.0);
}

// The band movie (each frame shows its index; silent up to 1 s, a tone after) in an editor of its own.
class MergedExportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new QTemporaryDir();
    test::TestMovieSpec spec;
    spec.seconds = 3.0;
    spec.silentUntil = 1.0;
    test::writeTestMovie(bands(), spec);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override { TK_REQUIRE_DESKTOP(); }
  test::SharedSettingsRestorer restorer;
  static fs::path bands() { return fs::path(folder_->filePath("bands.mov").toStdString()); }

  static void merge(test::LoadedEditor& editor, std::vector<VideoSegment> segments,
                    std::vector<ZoomSegment> zooms, test::ExportWait& wait) {
    auto& model = editor.model();
    CursorOverlaySettings cursor = CursorOverlaySettings::defaultSettings();
    cursor.enabled = false;
    model.setIsExporting(true);
    model.setExportProgress(0);
    model.exportMergedVideo(*model.asset(), std::move(segments), *model.fileURL(), std::move(zooms), cursor,
                            model.metadata(), false, model.backgroundSettings(), 0, 0, 0, 0, 0, 0,
                            wait.completion());
  }

  static QTemporaryDir* folder_;
};

QTemporaryDir* MergedExportTest::folder_ = nullptr;

TEST_F(MergedExportTest, KeptSegmentsJoinWithTheZoomFollowingThePictureAcrossTheCut) {
  test::LoadedEditor editor(std::nullopt, bands());
  ASSERT_TRUE(editor.loaded());
  // Kept 0–1 s and 1.8–3 s, with a spanless segment between; the zoom at 2.0–2.6 s of the source
  // lies at 1.2–1.8 s of the merged movie.
  test::ExportWait wait;
  std::vector<double> progress;
  QObject::connect(&editor.model(), &VideoTrimmerViewModel::exportProgressChanged,
                   [&] { progress.push_back(editor.model().exportProgress()); });
  merge(editor, {kept(0, 1), kept(1.5, 1.5), kept(1.8, 3.0)}, {zoom(2.0, 2.6)}, wait);
  ASSERT_TRUE(wait.wait());
  ASSERT_TRUE(wait.result->succeeded()) << wait.result->error->localizedDescription();
  EXPECT_EQ(wait.calls, 1);
  EXPECT_FALSE(editor.model().isExporting());
  EXPECT_EQ(editor.model().exportProgress(), 1.0);
  EXPECT_EQ(editor.model().exportTimer(), nullptr);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

  const fs::path out = *wait.result->url;
  EXPECT_EQ(out.extension(), ".mov");
  EXPECT_NE(out.filename().string().find("clip.final (Merged "), std::string::npos);
  auto facts = test::probeMovie(out);
  ASSERT_TRUE(facts);
  EXPECT_NEAR(facts->duration, 2.2, 0.06);
  EXPECT_EQ(facts->audioCodec, "aac");

  VideoFrameReader reader(out);
  const auto shown = [&](double t) {
    return test::frameIndexShown(*reader.frameAt(MediaTime::fromSeconds(t, 600)).pixelBuffer());
  };
  EXPECT_EQ(shown(0.5), 15);
  EXPECT_EQ(shown(0.98), 29);
  EXPECT_EQ(shown(1.02), 54) << "the picture jumps from 1 s to 1.8 s of the source";
  EXPECT_EQ(shown(1.1), 57);
  EXPECT_NE(shown(1.5), 69) << "zoomed where the zoom now lies";
  EXPECT_EQ(shown(2.1), 87) << "not zoomed where the zoom lay on the source's clock";
  // The sound jumps with the picture: silence up to 1 s, the tone after the cut.
  EXPECT_NEAR(test::dominantAudioFrequency(out, 1.1, 2.1), 440, 15);
}

TEST_F(MergedExportTest, MovieWithoutTransformsIsJoinedAsItIsAndRefusalsWriteNothing) {
  test::LoadedEditor editor(std::nullopt, bands());
  ASSERT_TRUE(editor.loaded());
  test::ExportWait plain;
  merge(editor, {kept(2.0, 3.0)}, {}, plain);
  ASSERT_TRUE(plain.wait());
  ASSERT_TRUE(plain.result->succeeded());
  EXPECT_EQ(test::frameIndexShown(*test::frameOf(*plain.result->url, 0.5)), 75);

  // Nothing kept but spanless segments.
  test::ExportWait nothing;
  merge(editor, {kept(1, 1)}, {}, nothing);
  ASSERT_TRUE(nothing.wait());
  EXPECT_FALSE(nothing.result->succeeded());
  EXPECT_FALSE(editor.model().isExporting());

  // A movie without a picture cannot be merged.
  QTemporaryDir dir;
  const fs::path soundOnly = fs::path(dir.path().toStdString()) / "sound-only.mov";
  test::writeSoundOnlyMovie(soundOnly, 1.0);
  test::ExportWait pictureless;
  editor.model().exportMergedVideo(MediaAsset::load(soundOnly), {kept(0, 1)}, soundOnly, {},
                                   CursorOverlaySettings::defaultSettings(), std::nullopt, true, {}, 0, 0, 0,
                                   0, 0, 0, pictureless.completion());
  ASSERT_TRUE(pictureless.wait());
  ASSERT_FALSE(pictureless.result->succeeded());
  EXPECT_EQ(pictureless.result->error->localizedDescription(), "Failed to load source tracks");
  EXPECT_EQ(editor.outputs().size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path().toStdString()), {}), 1);
}

TEST_F(MergedExportTest, MovieWithoutSoundMergesWithoutASoundTrack) {
  const fs::path source = test::soundlessMovie();
  test::LoadedEditor editor(std::nullopt, source);
  ASSERT_TRUE(editor.loaded());
  ASSERT_FALSE(editor.model().asset()->firstTrack(MediaKind::audio));
  const double length = editor.model().asset()->duration().seconds();
  ASSERT_GT(length, 1.5);

  // Kept 0–0.5 s and 1 s to the end, with the background on so the compositor draws every frame.
  test::ExportWait wait;
  editor.model().setIsExporting(true);
  BackgroundSettings background;
  background.type = StudioBackgroundType::solidColor;
  background.color = CodableColor{30 / 255.0, 60 / 255.0, 220 / 255.0, 1};
  CursorOverlaySettings cursor = CursorOverlaySettings::defaultSettings();
  cursor.enabled = false;
  editor.model().exportMergedVideo(*editor.model().asset(), {kept(0, 0.5), kept(1.0, length)},
                                   *editor.model().fileURL(), {}, cursor, std::nullopt, true, background, 40,
                                   0, 0, 0, 0, 0, wait.completion());
  ASSERT_TRUE(wait.wait());
  ASSERT_TRUE(wait.result->succeeded()) << wait.result->error->localizedDescription();
  EXPECT_FALSE(editor.model().isExporting());
  EXPECT_EQ(editor.model().exportProgress(), 1.0);

  auto facts = test::probeMovie(*wait.result->url);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->videoCodec, "h264");
  EXPECT_EQ(facts->width, 320);
  EXPECT_EQ(facts->height, 240);
  EXPECT_TRUE(facts->audioCodec.empty()) << facts->audioCodec;
  EXPECT_TRUE(facts->audioDurations.empty());
  EXPECT_NEAR(facts->duration, length - 0.5, 0.1);
  EXPECT_NEAR(facts->videoDuration, length - 0.5, 0.1);
  for (double t : {0.2, length - 0.7}) {
    auto frame = test::frameOf(*wait.result->url, t);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(test::closeTo(frame->pixel(160, 120), test::kWindowGreen)) << t;
    EXPECT_TRUE(test::closeTo(frame->pixel(2, 2), 0xFF1E3CDC)) << std::hex << frame->pixel(2, 2);
  }
}

TEST_F(MergedExportTest, CancelStopsTheMergedExportAndRemovesItsOutput) {
  test::LoadedEditor editor;  // the recording, with the background on: slower to render
  ASSERT_TRUE(editor.loaded());
  auto& model = editor.model();
  test::ExportWait wait;
  model.setIsExporting(true);
  model.exportMergedVideo(*model.asset(), {kept(0, 3)}, *model.fileURL(), {}, model.cursorOverlaySettings(),
                          std::nullopt, true, model.backgroundSettings(), 60, 20, 0.5, 20, 0, 0,
                          wait.completion());
  ASSERT_TRUE(test::waitUntil([&] { return !editor.outputs().empty() || wait.calls > 0; }));
  model.cancelExport();
  ASSERT_TRUE(wait.wait());
  EXPECT_FALSE(wait.result->succeeded()) << "a cancelled export is no success";
  EXPECT_FALSE(model.isExporting());
  EXPECT_EQ(model.exportTimer(), nullptr);
  EXPECT_TRUE(editor.outputs().empty());
}

}  // namespace
}  // namespace tk
