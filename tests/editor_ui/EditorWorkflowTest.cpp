// A person's session on the private desktop: keys and clicks go through the X server (xdotool),
// and the exported movie is read back with the ffmpeg tools.

#include <QAbstractButton>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include "EditorPointer.h"
#include "EditorWindowFixture.h"
#include "editor_ui/AppearancePanel.h"
#include "editor_ui/TransportControls.h"
#include "editor_ui/TrimmerTimelineView.h"
#include "recording/MovieProbe.h"

namespace tk::test {
namespace {

class EditorWorkflowTest : public EditorWindowFixture {
 protected:
  void SetUp() override {
    EditorWindowFixture::SetUp();
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) GTEST_SKIP() << "no xdotool";
  }
  static bool xdotool(const QStringList& arguments) { return test::xdotool(arguments); }
  static bool click(QWidget& widget) { return test::pointerClick(widget); }
};

// Band b of a test movie's frame is white when bit b of the frame's Gray code is set.
bool bandWhite(int frame, int band) {
  return ((frame ^ (frame >> 1)) >> band) & 1;
}

TEST_F(EditorWorkflowTest, SplitDropZoomAndExportMerged) {
  TestMovieSpec spec;
  spec.seconds = 5.0;
  auto& trimmer = open(writeMovie("Session.mov", spec));
  ASSERT_FALSE(trimmer.loadFailed());
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), 60000));
  auto& model = trimmer.viewModel();

  // Cut at 1 s and at 2 s with the keyboard, then drop the middle second.
  for (double at : {1.0, 2.0}) {
    model.seek(at);
    ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - at) < 0.02; }));
    ASSERT_TRUE(xdotool({"key", "--clearmodifiers", "ctrl+s"}));
    ASSERT_TRUE(waitUntil([&] { return model.segments().size() == (at == 1.0 ? 2u : 3u); }));
  }
  // The second segment is dropped with a tap on its block in the timeline's strip.
  auto& strip = trimmer.timeline().segmentStrip();
  ASSERT_TRUE(waitUntil([&] { return strip.blockAt(strip.width() / 2).has_value(); }));
  ASSERT_TRUE(test::tapSegment(strip, 1));
  ASSERT_TRUE(waitUntil([&] { return model.segments()[1].isMarkedForDeletion; }));

  // A zoom from 3.5 s to the end of the movie (3 s asked, 1.5 s left).
  model.seek(3.5);
  ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - 3.5) < 0.02; }));
  ASSERT_TRUE(click(*trimmer.transportControls().addZoomSegmentButton()));
  ASSERT_TRUE(waitUntil([&] { return model.zoomSegments().size() == 1u; }));
  EXPECT_EQ(model.zoomSegments()[0].startTime, 3.5);
  EXPECT_EQ(model.zoomSegments()[0].endTime, 5.0);

  ASSERT_TRUE(click(*trimmer.transportControls().exportMergedButton()));
  ASSERT_TRUE(waitUntil([&] { return trimmer.showExportSuccess() || trimmer.showError(); },
                        std::chrono::seconds(180)));
  ASSERT_TRUE(trimmer.showExportSuccess()) << trimmer.errorMessage();
  const fs::path movie = *trimmer.exportedURL();

  // Kept: 0-1 s and 2-5 s, so 4 s; the zoom now runs from 2.5 s to 4 s of the merged movie.
  const auto facts = probeMovie(movie);
  ASSERT_TRUE(facts);
  EXPECT_NEAR(facts->duration, 4.0, 0.1);

  const int w = spec.width, h = spec.height, bandWidth = w / 8;
  const auto grey = [&](const std::vector<uint8_t>& bgra, int x, int y) { return bgra[(y * w + x) * 4 + 1]; };
  // 1.2 s merged is 2.2 s of the source, unzoomed: the corner patch and the frame's own bands.
  const auto plain = frameAt(movie, 1.2, w, h);
  ASSERT_EQ(plain.size(), size_t(w * h * 4));
  EXPECT_GT(grey(plain, bandWidth / 4, h / 12), 160);
  int matched = -1;
  for (int frame = 64; frame <= 68 && matched < 0; ++frame) {
    bool all = true;
    for (int band = 0; band < 8; ++band)
      all = all && (grey(plain, band * bandWidth + bandWidth / 2, h / 2) > 128) == bandWhite(frame, band);
    if (all) matched = frame;
  }
  EXPECT_GE(matched, 0) << "the frame after the dropped second is not from 2.2 s of the source";

  // 3.2 s merged is 4.2 s of the source, zoomed 2x about the middle: bands 2 to 5 fill the width.
  const auto zoomed = frameAt(movie, 3.2, w, h);
  ASSERT_EQ(zoomed.size(), size_t(w * h * 4));
  // The corner patches (white top, black bottom) are outside the zoomed picture: the same band
  // shows at both corners.
  EXPECT_EQ(grey(zoomed, bandWidth / 4, h / 12) > 128, grey(zoomed, bandWidth / 4, h - h / 12) > 128);
  matched = -1;
  for (int frame = 124; frame <= 128 && matched < 0; ++frame) {
    bool all = true;
    for (int band = 2; band <= 5; ++band) {
      const int x = (band - 2) * 2 * bandWidth + bandWidth;  // the middle of the band, twice as wide
      all = all && (grey(zoomed, x, h / 2) > 128) == bandWhite(frame, band);
    }
    if (all) matched = frame;
  }
  EXPECT_GE(matched, 0) << "the zoomed frame does not show bands 2 to 5 of 4.2 s of the source";
}

}  // namespace
}  // namespace tk::test
