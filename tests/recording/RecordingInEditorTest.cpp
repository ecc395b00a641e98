#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "RecordingTestSupport.h"
#include "editor/VideoTrimmerViewModel.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

// What the coordinator leaves behind, opened by the editor's model as the editor window does.
class RecordingInEditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TK_REQUIRE_DESKTOP();
    display = test::firstDisplay();
    ASSERT_TRUE(display);
  }

  // Records an area of the first display; the result (a movie, or a package folder).
  std::optional<fs::path> record(bool separateLayers) {
    RecordingMode mode = RecordingMode::screenArea(display, QRectF(0, 0, 320, 240));
    auto configuration = test::baseConfiguration(mode, fs::path(folder.path().toStdString()) / "out");
    if (separateLayers) {
      configuration.studioConfig = StudioRecordingConfiguration{};
      configuration.studioConfig->enableSeparateLayers = true;
    }
    if (!harness.start(mode, configuration) || !harness.recordFor(1.5)) return std::nullopt;
    return harness.stop();
  }

  // Loads the movie and waits for it and its metadata.
  void open(VideoTrimmerViewModel& model, const fs::path& movie) {
    bool loaded = false;
    model.loadVideo(movie, [&](std::optional<PlatformError> error) {
      EXPECT_FALSE(error) << error->localizedDescription();
      loaded = true;
    });
    ASSERT_TRUE(test::waitUntil([&] { return loaded && model.metadata().has_value(); }));
  }

  QTemporaryDir folder;
  CaptureDisplayRef display;
  test::RecordingHarness harness;
};

TEST_F(RecordingInEditorTest, AMovieOpensWithTheMetadataSavedBesideIt) {
  const auto movie = record(false);
  ASSERT_TRUE(movie) << harness.error;
  VideoTrimmerViewModel model;
  open(model, *movie);
  EXPECT_EQ(model.metadata()->resolution, QSizeF(320, 240));
  EXPECT_NEAR(model.metadata()->duration, 1.5, 0.6);
  EXPECT_NEAR(model.videoDuration().seconds(), model.metadata()->duration, 0.3);
  ASSERT_EQ(model.segments().size(), 1u);
  EXPECT_EQ(model.segments()[0].endTime, model.videoDuration());
  // The picture the player shows is the recorded area's.
  ASSERT_TRUE(test::waitUntil([&] { return model.player()->currentFrame() != nullptr; }));
  EXPECT_EQ(model.player()->currentFrame()->width(), 320);
  EXPECT_EQ(model.player()->currentFrame()->height(), 240);
}

TEST_F(RecordingInEditorTest, APackagesScreenLayerOpensWithThePackagesMetadata) {
  const auto package = record(true);
  ASSERT_TRUE(package) << harness.error;
  VideoTrimmerViewModel model;
  open(model, *package / ".screen.mov");
  EXPECT_EQ(model.metadata()->resolution, QSizeF(320, 240));
  EXPECT_FALSE(model.isLoading());
}

}  // namespace
}  // namespace tk
