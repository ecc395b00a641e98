// Exports started from the editor window's own buttons, read back from the files they wrote.

#include <unistd.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <fstream>

#include "EditorWindowFixture.h"
#include "editor_ui/AppearancePanel.h"
#include "editor_ui/TransportControls.h"
#include "export/AdvancedVideoExporter.h"
#include "export/ExportSessionHandle.h"
#include "recording/MovieProbe.h"

namespace tk::test {
namespace {

constexpr QRgb kBackdrop = qRgb(30, 60, 220);

BackgroundSettings solid(QRgb colour) {
  BackgroundSettings background;
  background.type = StudioBackgroundType::solidColor;
  background.color = CodableColor{qRed(colour) / 255.0, qGreen(colour) / 255.0, qBlue(colour) / 255.0, 1};
  return background;
}

// A recording's metadata with the cursor held at `where` (y from the top) for `seconds`.
RecordingMetadata cursorHeldAt(QPointF where, double seconds, QSizeF size = {320, 180}) {
  RecordingMetadata metadata;
  metadata.duration = seconds;
  metadata.resolution = size;
  metadata.frameRate = 30;
  for (int i = 0; i <= seconds * 30; ++i) {
    CursorPosition sample;
    sample.timestamp = i / 30.0;
    sample.position = where;
    metadata.cursorPositions.push_back(sample);
  }
  return metadata;
}

// One decoded frame of a movie, read pixel by pixel.
struct Frame {
  std::vector<uint8_t> bgra;
  int width = 0, height = 0;
  QRgb at(int x, int y) const {
    const uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
    return qRgb(p[2], p[1], p[0]);
  }
  int grey(int x, int y) const { return qGreen(at(x, y)); }
};

Frame frameOf(const fs::path& movie, double seconds) {
  Frame frame;
  if (auto facts = probeMovie(movie)) {
    frame.width = facts->width;
    frame.height = facts->height;
    frame.bgra = frameAt(movie, seconds, frame.width, frame.height);
  }
  return frame;
}

class WindowExportTest : public EditorWindowFixture {
 protected:
  // A second editor window, beside the fixture's own.
  VideoTrimmerView& openAnother(const fs::path& movie) {
    other = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(other.get());
    layout->setContentsMargins(0, 0, 0, 0);
    auto* trimmer = new VideoTrimmerView(movie, other.get());
    layout->addWidget(trimmer);
    other->resize(1200, 750);
    other->show();
    EXPECT_TRUE(
        waitUntil([&] { return !trimmer->viewModel().isLoading() && trimmer->playbackTimerRunning(); }));
    return *trimmer;
  }

  // Waits for the alert that ends an export and dismisses it; the movie, or empty after a failure.
  static fs::path outcome(VideoTrimmerView& trimmer) {
    EXPECT_TRUE(waitUntil([&] { return trimmer.showExportSuccess() || trimmer.showError(); },
                          std::chrono::seconds(240)))
        << "the export never ended";
    const bool ok = trimmer.showExportSuccess();
    EXPECT_TRUE(ok) << trimmer.errorMessage();
    fs::path movie = ok && trimmer.exportedURL() ? *trimmer.exportedURL() : fs::path();
    if (trimmer.alert()) trimmer.alert()->reject();
    EXPECT_TRUE(waitUntil([&] { return !trimmer.showExportSuccess() && !trimmer.showError(); }));
    return movie;
  }

  static fs::path exportEdited(VideoTrimmerView& trimmer) {
    trimmer.appearancePanel().exportButton()->click();
    return outcome(trimmer);
  }

  static bool backdrop(QRgb colour) { return colourDistance(colour, kBackdrop) < 40; }

  std::unique_ptr<QWidget> other;
};

TEST_F(WindowExportTest, ThePictureSitsWhereThePreviewShowsItOverTheSameBackdrop) {
  auto& trimmer = open(writeMovie("Wide.mov", {}, cursorHeldAt({0.9, 0.1}, 2)));
  ASSERT_FALSE(trimmer.loadFailed());
  auto& model = trimmer.viewModel();
  ASSERT_TRUE(model.cursorOverlaySettings().enabled);
  model.setBackgroundSettings(solid(kBackdrop));

  // Background off: the picture at its own size in the middle, the backdrop above and below it.
  for (OutputAspectRatio ratio : {OutputAspectRatio::ratio1x1, OutputAspectRatio::ratio9x16}) {
    SCOPED_TRACE(std::string(rawValue(ratio)));
    trimmer.setSelectedAspect(ratio);
    const fs::path movie = exportEdited(trimmer);
    ASSERT_FALSE(movie.empty());
    const Frame f = frameOf(movie, 1.0);
    const QSize canvas = AdvancedVideoExporter::evenCanvasSize(ratio, QSizeF(320, 180));
    ASSERT_EQ(QSize(f.width, f.height), canvas);
    const int top = f.height - ((f.height - 180) / 2 + 180);  // the picture's first row
    EXPECT_NEAR(top, (f.height - 180) / 2, 1);
    EXPECT_TRUE(backdrop(f.at(160, top / 2))) << std::hex << f.at(160, top / 2);
    EXPECT_TRUE(backdrop(f.at(160, top + 180 + top / 2))) << std::hex << f.at(160, top + 180 + top / 2);
    // The corner patches: white at the picture's top left, black at its bottom left.
    EXPECT_GT(f.grey(5, top + 10), 200);
    EXPECT_LT(f.grey(5, top + 170), 50);
  }

  // Background on: the padded picture in the middle of the backdrop.
  model.setBackgroundEnabled(true);
  trimmer.setSelectedAspect(OutputAspectRatio::ratio1x1);
  const fs::path padded = exportEdited(trimmer);
  ASSERT_FALSE(padded.empty());
  const Frame f = frameOf(padded, 1.0);
  ASSERT_EQ(f.width, 320);
  EXPECT_TRUE(backdrop(f.at(160, 20)));
  EXPECT_TRUE(backdrop(f.at(160, 300)));
  EXPECT_TRUE(backdrop(f.at(5, 160)));
  EXPECT_FALSE(backdrop(f.at(160, 160)));

  // Zoomed 2x on the cursor at a quarter of the picture, as the preview zooms the picture: that
  // point comes to the middle and the picture's top row stays at its place, row 70.
  auto& zooming = open(writeMovie("Zoom.mov", {}, cursorHeldAt({0.25, 0.25}, 2)));
  zooming.viewModel().setBackgroundSettings(solid(kBackdrop));
  zooming.viewModel().addZoomSegment(0.2, 1.8, 2.0);
  zooming.setSelectedAspect(OutputAspectRatio::ratio1x1);
  const fs::path zoomed = exportEdited(zooming);
  ASSERT_FALSE(zoomed.empty());
  const Frame z = frameOf(zoomed, 1.5);
  ASSERT_EQ(z.width, 320);
  EXPECT_TRUE(backdrop(z.at(160, 60)));
  for (QPoint p : {QPoint(10, 80), QPoint(160, 100), QPoint(310, 130)})
    EXPECT_FALSE(backdrop(z.at(p.x(), p.y()))) << p.x() << "," << p.y();
}

TEST_F(WindowExportTest, TwoWindowsExportingAtOnceEachKeepTheirOwnLook) {
  auto& first = open(writeMovie("First.mov"));
  auto& second = openAnother(writeMovie("Second.mov"));
  constexpr QRgb kRed = qRgb(220, 30, 30);
  first.viewModel().setBackgroundEnabled(true);
  first.viewModel().setBackgroundSettings(solid(kRed));
  second.viewModel().setBackgroundEnabled(true);
  second.viewModel().setBackgroundSettings(solid(kBackdrop));
  second.setSelectedAspect(OutputAspectRatio::ratio1x1);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    first.appearancePanel().exportButton()->click();
    second.appearancePanel().exportButton()->click();
    const fs::path a = outcome(first), b = outcome(second);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    for (double t : {0.1, 1.5}) {
      const Frame fa = frameOf(a, t), fb = frameOf(b, t);
      ASSERT_EQ(QSize(fa.width, fa.height), QSize(320, 180));
      ASSERT_EQ(QSize(fb.width, fb.height), QSize(320, 320));
      EXPECT_LT(colourDistance(fa.at(3, 3), kRed), 40) << std::hex << fa.at(3, 3);
      EXPECT_TRUE(backdrop(fb.at(3, 3))) << std::hex << fb.at(3, 3);
    }
  }
}

TEST_F(WindowExportTest, CancelThenExportKeepsTheNewExportShownUntilItEnds) {
  TestMovieSpec spec;
  spec.seconds = 4;
  auto& trimmer = open(writeMovie("Again.mov", spec, cursorHeldAt({0.5, 0.5}, 4)));
  auto& model = trimmer.viewModel();
  trimmer.appearancePanel().exportButton()->click();
  ASSERT_TRUE(model.isExporting());
  std::weak_ptr<ExportSession> cancelled = model.exportSession();
  ASSERT_FALSE(cancelled.expired());
  trimmer.playerArea().exportCancelButton().click();
  ASSERT_FALSE(model.isExporting());

  trimmer.appearancePanel().exportButton()->click();
  ASSERT_TRUE(model.isExporting());
  // Once the cancelled export has wound down, the new one still shows as running until it ends.
  ASSERT_TRUE(waitUntil([&] { return cancelled.expired(); }, std::chrono::seconds(120)))
      << "the cancelled export never ended";
  EXPECT_TRUE(model.isExporting() || trimmer.showExportSuccess() || trimmer.showError())
      << "the cancelled export's end cleared the running export's state";
  EXPECT_FALSE(outcome(trimmer).empty());
}

TEST_F(WindowExportTest, TheEditedExportShowsItsProgressAndAFailureItsReason) {
  TestMovieSpec spec;
  spec.seconds = 8;  // long enough that the 0.1 s progress ticks see it under way
  const fs::path source = writeMovie("Progress.mov", spec, cursorHeldAt({0.5, 0.5}, 8));
  auto& trimmer = open(source);
  auto& model = trimmer.viewModel();
  std::vector<double> shown;
  QObject::connect(&model, &VideoTrimmerViewModel::exportProgressChanged, &model, [&] {
    if (model.isExporting()) shown.push_back(model.exportProgress());
  });
  ASSERT_FALSE(exportEdited(trimmer).empty());
  EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](double p) { return p > 0 && p < 1; }))
      << "no progress between 0 and 1 was shown";

  // The movie went away after it was opened: the alert says what happened.
  fs::remove(source);
  trimmer.appearancePanel().exportButton()->click();
  ASSERT_TRUE(waitUntil([&] { return trimmer.showError(); }, std::chrono::seconds(120)));
  EXPECT_EQ(trimmer.errorMessage().find("ExportError"), std::string::npos) << trimmer.errorMessage();
  EXPECT_NE(trimmer.errorMessage().find("Progress.mov"), std::string::npos) << trimmer.errorMessage();
}

TEST_F(WindowExportTest, ExportsOfAPackageLieBesideItNamedAfterIt) {
  const fs::path package = fs::path(folder.path().toStdString()) / "Recording-2026-12-07 05.00.00";
  fs::create_directory(package);
  writeTestMovie(package / ".screen.mov", {});
  std::ofstream(package / ".package.json") << "{}";
  auto& trimmer = open(package / ".screen.mov");
  ASSERT_FALSE(trimmer.loadFailed());
  const fs::path edited = exportEdited(trimmer);
  ASSERT_FALSE(edited.empty());
  EXPECT_EQ(edited.parent_path(), package.parent_path());
  EXPECT_TRUE(edited.filename().string().starts_with("Recording-2026-12-07 05.00.00 (Edited ")) << edited;
  trimmer.transportControls().exportMergedButton()->click();
  const fs::path merged = outcome(trimmer);
  EXPECT_EQ(merged.parent_path(), package.parent_path());
  EXPECT_TRUE(merged.filename().string().starts_with("Recording-2026-12-07 05.00.00 (Merged ")) << merged;
}

TEST_F(WindowExportTest, ANameTakenWhileTheExportRanGivesTheMovieTheNextFreeName) {
  TestMovieSpec spec;
  spec.seconds = 6;
  auto& trimmer = open(writeMovie("Taken.mov", spec, cursorHeldAt({0.5, 0.5}, 6)));
  trimmer.appearancePanel().exportButton()->click();
  // The partial file names its process; the name it will take is the same without the tag.
  fs::path partial;
  ASSERT_TRUE(waitUntil([&] {
    for (const auto& entry : fs::directory_iterator(folder.path().toStdString()))
      if (entry.path().filename().string().find(".partial-") != std::string::npos &&
          entry.path().extension() == ".mp4")
        partial = entry.path();
    return !partial.empty();
  }));
  const std::string name = partial.filename().string();
  const std::string owner = ".partial-" + std::to_string(::getpid()) + "-";
  ASSERT_NE(name.find(owner), std::string::npos) << name;
  const fs::path planned = partial.parent_path() / (name.substr(1, name.find(owner) - 1) + ".mp4");
  std::ofstream(planned) << "someone else's";
  const fs::path movie = outcome(trimmer);
  ASSERT_FALSE(movie.empty());
  EXPECT_EQ(movie.filename().string(), planned.stem().string() + " 2.mp4");
  EXPECT_TRUE(probeMovie(movie));
  std::ifstream kept(planned);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "someone else's");
}

TEST_F(WindowExportTest, MetadataOutOfRangeIsClampedAndUnreadableMetadataIsTold) {
  RecordingMetadata metadata = cursorHeldAt({0.5, 0.5}, 2);
  ZoomSegment huge;
  huge.startTime = -5;
  huge.endTime = 1e12;
  huge.zoomLevel = 1e308;
  metadata.zoomSegments = {huge};
  metadata.cursorPositions.front().timestamp = -3;
  metadata.cursorPositions.back().timestamp = 1e300;
  auto& trimmer = open(writeMovie("Odd.mov", {}, metadata));
  auto& model = trimmer.viewModel();
  ASSERT_TRUE(waitUntil([&] { return model.metadata().has_value(); }));
  ASSERT_EQ(model.zoomSegments().size(), 1u);
  const double seconds = model.asset()->duration().seconds();
  EXPECT_EQ(model.zoomSegments()[0].zoomLevel, 3);
  EXPECT_EQ(model.zoomSegments()[0].startTime, 0);
  EXPECT_EQ(model.zoomSegments()[0].endTime, seconds);
  EXPECT_EQ(model.metadata()->cursorPositions.front().timestamp, 0);
  EXPECT_EQ(model.metadata()->cursorPositions.back().timestamp, seconds);
  EXPECT_FALSE(model.metadataProblem());
  const fs::path movie = exportEdited(trimmer);
  ASSERT_FALSE(movie.empty());
  const auto brightness = frameBrightness(movie);
  ASSERT_FALSE(brightness.empty());
  EXPECT_GT(brightness[brightness.size() / 2], 20) << "the zoomed export is black";

  // A document that cannot be read: the window says so, once.
  const fs::path broken = writeMovie("Broken.mov");
  std::ofstream(broken.parent_path() / "Broken.metadata.json") << "{\"duration\": NaN, \"zoomSegments\": [";
  auto& other = openAnother(broken);
  ASSERT_TRUE(waitUntil([&] { return other.alert() != nullptr; })) << "nothing was said";
  EXPECT_EQ(other.alert()->windowTitle(), QStringLiteral("Zoom and Cursor Data Not Read"));
  EXPECT_TRUE(other.viewModel().metadataProblem());
  EXPECT_FALSE(other.viewModel().metadata());
}

TEST_F(WindowExportTest, MergedExportDrawsTheCursorOnTheMergedClock) {
  TestMovieSpec spec;
  spec.width = 640;
  spec.height = 360;
  spec.seconds = 4;
  // The cursor in the middle for the first two seconds, then in the black bottom-left patch.
  RecordingMetadata metadata = cursorHeldAt({0.5, 0.5}, 4, {640, 360});
  for (auto& sample : metadata.cursorPositions)
    if (sample.timestamp >= 2) sample.position = {10 / 640.0, 312 / 360.0};
  auto& trimmer = open(writeMovie("Cursor.mov", spec, metadata));
  auto& model = trimmer.viewModel();
  ASSERT_TRUE(model.cursorOverlaySettings().enabled);
  ASSERT_TRUE(waitUntil([&] { return model.metadata().has_value(); }));
  // Kept: 0-1 s and 2-4 s.
  for (double at : {1.0, 2.0}) {
    model.seek(at);
    ASSERT_TRUE(waitUntil([&] { return std::abs(trimmer.currentTime() - at) < 0.02; }));
    model.addCutAtCurrentTime();
  }
  ASSERT_EQ(model.segments().size(), 3u);
  model.toggleSegmentDeletion(model.segments()[1].id);
  trimmer.transportControls().exportMergedButton()->click();
  const fs::path movie = outcome(trimmer);
  ASSERT_FALSE(movie.empty());
  // Bright pixels inside the black patch are the cursor's.
  const auto cursorInPatch = [&](double t) {
    const Frame f = frameOf(movie, t);
    int bright = 0;
    for (int y = 305; y < 345; ++y)
      for (int x = 2; x < 38; ++x) bright += f.grey(x, y) > 150;
    return bright;
  };
  EXPECT_EQ(cursorInPatch(0.5), 0) << "the cursor is in the patch before its time";
  EXPECT_GT(cursorInPatch(1.8), 5) << "1.8 s of the merged movie is 2.8 s of the source";
}

TEST_F(WindowExportTest, UnusualSourcesExportWhatTheyHold) {
  if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) GTEST_SKIP() << "no ffmpeg";
  const auto ffmpeg = [](const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -v error " + arguments).c_str()) == 0;
  };
  // Two frames of 1/30 s are four of 1/60 s, not five.
  TestMovieSpec two;
  two.seconds = 2.0 / 30;
  auto& shortest = open(writeMovie("Two.mov", two, cursorHeldAt({0.5, 0.5}, 0.1)));
  const fs::path twoFrames = exportEdited(shortest);
  ASSERT_FALSE(twoFrames.empty());
  const auto facts = probeMovie(twoFrames);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->videoFrameTimes.size(), 4u);

  // The picture from 0.5 s on, the sound from 0, as other programs often write them.
  const fs::path base = writeMovie("base.mov");
  const fs::path late = fs::path(folder.path().toStdString()) / "Late.mov";
  ASSERT_TRUE(ffmpeg("-i '" + base.string() + "' -itsoffset 0.5 -i '" + base.string() +
                     "' -map 1:v -map 0:a -c copy '" + late.string() + "'"));
  auto& trimmer = open(late);
  ASSERT_FALSE(trimmer.loadFailed()) << trimmer.errorMessage();
  const fs::path edited = exportEdited(trimmer);
  ASSERT_FALSE(edited.empty());
  const Frame f = frameOf(edited, 1.5);
  ASSERT_EQ(f.width, 320);
  EXPECT_GT(f.grey(5, 10), 200) << "the picture is missing after its start";
  trimmer.transportControls().exportMergedButton()->click();
  EXPECT_FALSE(outcome(trimmer).empty());

  // Cut in half, it claims 10 s and holds about 5: with its index first, and as one fragment whose
  // index announces every frame of the whole movie, large enough to be exported in parts (the
  // later ones start past the picture's end).
  TestMovieSpec ten;
  ten.seconds = 10;
  const fs::path full = writeMovie("Ten.mov", ten);
  const fs::path indexed = fs::path(folder.path().toStdString()) / "Cut.mp4";
  const fs::path fragmented = fs::path(folder.path().toStdString()) / "Fragment.mp4";
  ASSERT_TRUE(ffmpeg("-i '" + full.string() + "' -c copy -movflags +faststart '" + indexed.string() + "'"));
  ASSERT_TRUE(
      ffmpeg("-f lavfi -i testsrc2=size=1920x1080:rate=30 -f lavfi -i sine=sample_rate=48000 -t 10 "
             "-pix_fmt yuv420p -c:v libx264 -preset ultrafast -g 1000 -sc_threshold 0 -c:a aac "
             "-movflags +frag_keyframe+empty_moov '" +
             fragmented.string() + "'"));
  for (const fs::path& cut : {indexed, fragmented}) {
    SCOPED_TRACE(cut.filename().string());
    fs::resize_file(cut, fs::file_size(cut) / 2);
    auto& cutShort = open(cut);
    ASSERT_FALSE(cutShort.loadFailed()) << cutShort.errorMessage();
    ASSERT_GT(cutShort.viewModel().asset()->duration().seconds(), 9.9);
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(cutShort.appearancePanel().exportButton()),
          static_cast<QAbstractButton*>(cutShort.transportControls().exportMergedButton())}) {
      button->click();
      ASSERT_TRUE(waitUntil([&] { return cutShort.showExportSuccess() || cutShort.showError(); },
                            std::chrono::seconds(240)));
      ASSERT_TRUE(cutShort.showExportSuccess()) << cutShort.errorMessage();
      ASSERT_TRUE(cutShort.alert());
      const QString note = cutShort.alert()->text();
      const auto kept = probeMovie(*cutShort.exportedURL());
      ASSERT_TRUE(kept);
      EXPECT_GT(kept->duration, 2.5);
      EXPECT_LT(kept->duration, 7.5) << "the export ran on past the movie's end";
      // The note gives where the picture really ends: where the export ends.
      const auto said = QRegularExpression(QStringLiteral("picture ends at ([0-9.]+) s")).match(note);
      ASSERT_TRUE(said.hasMatch()) << note.toStdString();
      EXPECT_NEAR(said.captured(1).toDouble(), kept->duration, 0.1) << note.toStdString();
      cutShort.alert()->reject();
      ASSERT_TRUE(waitUntil([&] { return !cutShort.showExportSuccess(); }));
    }
  }
}

}  // namespace
}  // namespace tk::test
