#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "editor/StudioEditorViewModel.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

// A three-second band movie (each frame shows its index, 30 fps, a tone from 1 s), loaded.
class StudioEditorViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    test::TestMovieSpec spec;
    spec.seconds = 3.0;
    spec.silentUntil = 1.0;
    test::writeTestMovie(movie(), spec);
    model.setRevealHandler([this](const fs::path& file) { revealed.push_back(file); });
    model.loadVideo(movie());
    EXPECT_TRUE(model.isLoading());
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
  }
  fs::path movie() const { return fs::path(folder.path().toStdString()) / "bands.mov"; }
  fs::path out(const char* name) const { return fs::path(folder.path().toStdString()) / name; }
  bool exportTo(const fs::path& file) {
    bool ended = false;
    auto connection = QObject::connect(&model, &StudioEditorViewModel::exportFinished, [&] { ended = true; });
    model.exportVideo(file);
    const bool done = test::waitUntil([&] { return ended; });
    QObject::disconnect(connection);
    return done;
  }

  QTemporaryDir folder;
  StudioEditorViewModel model;
  std::vector<fs::path> revealed;
};

TEST_F(StudioEditorViewModelTest, SplitAndToggleEditTheTimelineAndExportKeepsTheActiveParts) {
  ASSERT_EQ(model.segments().size(), 1u);
  EXPECT_NEAR(model.duration(), 3.0, 0.05);
  EXPECT_TRUE(model.segments()[0].isActive);
  EXPECT_EQ(model.segments()[0].timeRange.start, MediaTime::zero());

  test::CapturedLines lines;
  model.splitSegment(1.0);
  model.splitSegment(2.0);
  ASSERT_EQ(model.segments().size(), 3u);
  // The halves meet without a gap, and a split exactly on a boundary takes the later segment.
  EXPECT_EQ(model.segments()[0].timeRange.end(), MediaTime(600, 600));
  EXPECT_EQ(model.segments()[1].timeRange.start, MediaTime(600, 600));
  EXPECT_EQ(model.segments()[1].timeRange.end(), model.segments()[2].timeRange.start);
  model.splitSegment(1.0);
  EXPECT_TRUE(lines.contains("⚠️ Split time outside valid range"));
  model.splitSegment(1.0004);  // rounds onto the boundary at 1/600 s
  EXPECT_EQ(model.segments().size(), 3u);
  model.splitSegment(9.0);
  EXPECT_TRUE(lines.contains("⚠️ No segment found at time 9.0"));
  EXPECT_EQ(model.segments().size(), 3u);

  const QUuid middle = model.segments()[1].id;
  model.toggleSegment(middle);
  EXPECT_FALSE(model.segments()[1].isActive);
  EXPECT_TRUE(lines.contains("🔄 Toggled segment 1 to Inactive"));
  model.toggleSegment(middle);
  model.toggleSegment(middle);
  EXPECT_FALSE(model.segments()[1].isActive);
  model.toggleSegment(QUuid::createUuid());  // unknown: nothing

  ASSERT_TRUE(exportTo(out("studio.mov")));
  EXPECT_FALSE(model.isExporting());
  EXPECT_FALSE(model.errorMessage()) << *model.errorMessage();
  ASSERT_EQ(revealed, std::vector<fs::path>{out("studio.mov")});
  auto result = MediaAsset::load(out("studio.mov"));
  EXPECT_NEAR(result.duration().seconds(), 2.0, 0.06);
  VideoFrameReader reader(out("studio.mov"));
  EXPECT_EQ(test::frameIndexShown(*reader.frameAt(MediaTime::fromSeconds(0.5, 600)).pixelBuffer()), 15);
  EXPECT_EQ(test::frameIndexShown(*reader.frameAt(MediaTime::fromSeconds(1.5, 600)).pixelBuffer()), 75)
      << "the cut second is left out";
}

TEST_F(StudioEditorViewModelTest, FailuresEndInTheErrorMessageAndDestroyStopsPlayback) {
  // An existing file is never replaced: the export fails and says so.
  std::ofstream(out("taken.mov")) << "keep";
  ASSERT_TRUE(exportTo(out("taken.mov")));
  ASSERT_TRUE(model.errorMessage());
  EXPECT_EQ(model.errorMessage()->rfind("Export failed: ", 0), 0u);
  EXPECT_TRUE(revealed.empty());
  EXPECT_EQ(fs::file_size(out("taken.mov")), 4u);

  // Nothing switched on leaves nothing to export.
  model.toggleSegment(model.segments()[0].id);
  ASSERT_TRUE(exportTo(out("none.mov")));
  EXPECT_TRUE(model.errorMessage());
  EXPECT_FALSE(fs::exists(out("none.mov")));

  model.play();
  EXPECT_TRUE(model.isPlaying());
  model.destroy();
  EXPECT_EQ(model.player(), nullptr);
  test::CapturedLines lines;
  model.destroy();
  EXPECT_TRUE(lines.contains("⚠️ Already destroyed"));
  model.loadVideo(movie());
  EXPECT_EQ(model.player(), nullptr) << "a destroyed model loads nothing";
  model.exportVideo(out("after.mov"));
  EXPECT_EQ(model.errorMessage(), "No video to export");
}

TEST(StudioEditorSoundlessTest, MovieWithoutSoundExportsWithoutASoundTrackAndOneWithoutAPictureIsRefused) {
  QTemporaryDir folder;
  const fs::path dir = folder.path().toStdString();
  const auto exportOf = [&](const fs::path& source, const fs::path& out) {
    StudioEditorViewModel model;
    model.setRevealHandler([](const fs::path&) {});
    model.loadVideo(source);
    EXPECT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    bool ended = false;
    QObject::connect(&model, &StudioEditorViewModel::exportFinished, [&] { ended = true; });
    model.splitSegment(0.5);
    if (model.segments().size() == 2) model.toggleSegment(model.segments()[0].id);
    model.exportVideo(out);
    if (model.isExporting()) {
      EXPECT_TRUE(test::waitUntil([&] { return ended; }));
    }
    return model.errorMessage();
  };

  test::TestMovieSpec spec;
  spec.seconds = 2.0;
  spec.withAudio = false;
  test::writeTestMovie(dir / "silent.mov", spec);
  const auto silentError = exportOf(dir / "silent.mov", dir / "silent-out.mov");
  EXPECT_FALSE(silentError) << *silentError;
  ASSERT_TRUE(fs::exists(dir / "silent-out.mov"));
  const auto result = MediaAsset::load(dir / "silent-out.mov");
  EXPECT_FALSE(result.firstTrack(MediaKind::audio));
  ASSERT_TRUE(result.firstTrack(MediaKind::video));
  EXPECT_NEAR(result.duration().seconds(), 1.5, 0.06) << "the switched-off first half second is left out";
  VideoFrameReader reader(dir / "silent-out.mov");
  EXPECT_EQ(test::frameIndexShown(*reader.frameAt(MediaTime::fromSeconds(0.5, 600)).pixelBuffer()), 30);

  spec.withAudio = true;
  spec.withVideo = false;
  test::writeTestMovie(dir / "sound-only.mov", spec);
  EXPECT_EQ(exportOf(dir / "sound-only.mov", dir / "sound-only-out.mov"),
            "Export error: Failed to load source tracks");
  EXPECT_FALSE(fs::exists(dir / "sound-only-out.mov"));
}

}  // namespace
}  // namespace tk
