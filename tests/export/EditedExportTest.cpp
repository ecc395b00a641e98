#include <gtest/gtest.h>

#include <QProcess>
#include <fstream>
#include <thread>

#include "editor/OutputAspectRatio.h"
#include "export/AdvancedVideoExporter.h"
#include "export/CanvasSpace.h"
#include "export/ExportDestination.h"
#include "export/ExportError.h"
#include "export/ExportTestSupport.h"
#include "export/RoundedCameraCompositor.h"
#include "platform/ffmpeg/AssetExportSession.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "recording/MovieProbe.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;
using test::closeTo;
using test::kCameraRed;
using test::kWindowGreen;

constexpr uint32_t kBlue = 0xFF1E3CDC;

struct Look {
  CameraExportSettings camera{{0.85, 0.18}, 0.22, 0.66, 0.22, CameraShape::circle};
  double padding = 0, corner = 0;
  OutputAspectRatio ratio = OutputAspectRatio::original;
  bool verticalStack = false;
  double screenShadowOpacity = 0, screenShadowRadius = 0, cameraShadowOpacity = 0, cameraShadowRadius = 0;
};

class EditedExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TK_REQUIRE_DESKTOP();
    ASSERT_NO_THROW(test::recordedMovie());
  }
  test::SharedSettingsRestorer restorer;

  // Runs the editor's edited export and returns its result (none when it never ended).
  static std::optional<ExportResult> exportResult(test::LoadedEditor& editor, const Look& look) {
    test::ExportWait wait;
    editor.model().exportAdvancedVideo(look.camera, look.padding, look.corner, look.ratio, look.verticalStack,
                                       look.screenShadowOpacity, look.screenShadowRadius,
                                       look.cameraShadowOpacity, look.cameraShadowRadius, wait.completion());
    EXPECT_TRUE(editor.model().isExporting());
    if (!wait.wait()) return std::nullopt;
    EXPECT_EQ(wait.calls, 1);
    EXPECT_FALSE(editor.model().isExporting());
    return wait.result;
  }

  // The same, for an export that must succeed: the movie it wrote.
  static fs::path exportWith(test::LoadedEditor& editor, const Look& look) {
    const auto result = exportResult(editor, look);
    if (!result) return {};
    if (!result->succeeded()) {
      ADD_FAILURE() << result->error->localizedDescription();
      return {};
    }
    return *result->url;
  }

  static BackgroundSettings solidBlue() {
    BackgroundSettings background;
    background.type = StudioBackgroundType::solidColor;
    background.color = CodableColor{30 / 255.0, 60 / 255.0, 220 / 255.0, 1};
    return background;
  }
};

TEST_F(EditedExportTest, BackgroundPaddingCornersAndShadowFrameTheRecordingWithItsSound) {
  test::LoadedEditor editor;
  ASSERT_TRUE(editor.loaded());
  CursorOverlaySettings noCursor = CursorOverlaySettings::defaultSettings();
  noCursor.enabled = false;
  editor.model().setCursorOverlaySettings(noCursor);
  editor.model().setBackgroundEnabled(true);
  editor.model().setBackgroundSettings(solidBlue());
  Look look;
  look.padding = 120;
  look.corner = 80;
  look.ratio = OutputAspectRatio::ratio16x9;
  look.screenShadowOpacity = 1.0;
  look.screenShadowRadius = 40;
  const fs::path out = exportWith(editor, look);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.parent_path(), editor.folder());
  EXPECT_EQ(out.extension(), ".mp4");
  EXPECT_NE(out.filename().string().find("clip.final (Edited "), std::string::npos);

  auto facts = test::probeMovie(out);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->videoCodec, "h264");
  EXPECT_EQ(facts->audioCodec, "aac");
  // With the export's encoder settings: B-frames in the preset's fixed run, as x264 records them.
  EXPECT_EQ(test::x264Option(test::x264Options(out), "b_adapt"), 0);
  EXPECT_EQ(facts->width, 428);  // 320 × 240 grown to 16:9 is 426.7 wide, rounded up to even
  EXPECT_EQ(facts->height, 240);
  EXPECT_NEAR(facts->duration, MediaAsset::load(editor.movie()).duration().seconds(), 0.1);
  EXPECT_NEAR(test::dominantAudioFrequency(out, 0.5, 2.5), 440, 15);

  // Where the compositor puts the padded picture on this canvas.
  RoundedCameraCompositorSettings settings = RoundedCameraCompositorSettings::shared();
  const QRectF up = RoundedCameraCompositor::screenRect(settings, 428, 240, 320, 240);
  const QRectF r(up.x(), 240 - up.bottom(), up.width(), up.height());  // rows from the top
  ASSERT_LT(r.width(), 320) << "padding shrinks the picture";
  for (double t : {0.5, 2.5}) {
    auto frame = test::frameOf(out, t);
    ASSERT_EQ(frame->width(), 428);
    EXPECT_TRUE(closeTo(frame->pixel(3, 3), kBlue)) << std::hex << frame->pixel(3, 3);
    EXPECT_TRUE(closeTo(frame->pixel(int(r.center().x()), int(r.center().y())), kWindowGreen));
    // The rounded corner shows no picture; the middle of the edge does.
    EXPECT_FALSE(closeTo(frame->pixel(int(r.left() + 2), int(r.top() + 2)), kWindowGreen, 60));
    EXPECT_TRUE(closeTo(frame->pixel(int(r.center().x()), int(r.top() + 3)), kWindowGreen));
    // The shadow falls below the picture: darker there than the open background.
    const uint32_t under = frame->pixel(int(r.center().x()), int(r.bottom() + 3));
    EXPECT_LT(int(under & 0xFF), int(kBlue & 0xFF) - 30) << std::hex << under;
  }
}

TEST_F(EditedExportTest, TheExportDrawsTheEditorsZoomSegmentsOfItsStartWithoutCopyingThem) {
  // A recording may carry a million zoom segments: the export holds the list the editor had when it
  // started, the very same one, and an edit made while it runs is the editor's alone.
  RecordingMetadata metadata;
  metadata.duration = 3;
  metadata.resolution = QSizeF(320, 240);
  metadata.frameRate = 60;
  ZoomSegment zoom;
  zoom.startTime = 0.5;
  zoom.endTime = 2;
  zoom.zoomLevel = 2;
  zoom.easeIn = zoom.easeOut = 0.2;
  metadata.zoomSegments = {zoom};
  test::LoadedEditor editor(metadata);
  ASSERT_TRUE(editor.loaded());
  auto& model = editor.model();
  const ZoomSegmentList atStart = model.zoomSegments();
  ASSERT_EQ(atStart.size(), 1u);

  test::ExportWait wait;
  const Look look;
  model.exportAdvancedVideo(look.camera, 0, 0, OutputAspectRatio::original, false, 0, 0, 0, 0,
                            wait.completion());
  model.addZoomSegment(2.2, 0.5, 3);
  ASSERT_TRUE(wait.wait());
  ASSERT_TRUE(wait.result->succeeded()) << wait.result->error->localizedDescription();

  EXPECT_TRUE(RoundedCameraCompositorSettings::shared().zoomSegments.sharesWith(atStart));
  EXPECT_EQ(atStart.size(), 1u);
  EXPECT_EQ(model.zoomSegments().size(), 2u);
  // The editor's metadata, saved with the movie, holds the editor's list too, not a copy.
  EXPECT_TRUE(model.metadata()->zoomSegments.sharesWith(model.zoomSegments()));
}

TEST_F(EditedExportTest, CameraBubbleAndCursorAppearWhereAndWhileTheyShould) {
  RecordingMetadata metadata;
  metadata.duration = 3;
  metadata.resolution = QSizeF(320, 240);
  metadata.frameRate = 60;
  for (int i = 0; i <= 90; ++i) {
    CursorPosition sample;
    sample.timestamp = i / 30.0;
    sample.position = QPointF(0.25, 0.6);
    metadata.cursorPositions.push_back(sample);
  }
  test::LoadedEditor editor(metadata);
  ASSERT_TRUE(editor.loaded());
  editor.model().setCameraURL(test::recordedMovie().camera);
  const fs::path out = exportWith(editor, Look{});
  ASSERT_FALSE(out.empty());
  auto facts = test::probeMovie(out);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->width, 320);
  EXPECT_EQ(facts->height, 240);

  // The bubble's centre (0.85, 0.18 from the top) shows the camera while the camera layer lasts.
  auto early = test::frameOf(out, 0.5), late = test::frameOf(out, 2.5);
  EXPECT_TRUE(closeTo(early->pixel(int(0.85 * 320), int(0.18 * 240)), kCameraRed))
      << std::hex << early->pixel(272, 43);
  EXPECT_TRUE(closeTo(late->pixel(int(0.85 * 320), int(0.18 * 240)), kWindowGreen))
      << "the camera ended at 1.5 s";
  // The cursor is drawn at its recorded place and nowhere else.
  const auto notGreenNear = [](const PixelBuffer& f, int cx, int cy) {
    int count = 0;
    for (int y = cy - 10; y <= cy + 10; ++y)
      for (int x = cx - 10; x <= cx + 10; ++x)
        if (!closeTo(f.pixel(x, y), kWindowGreen, 60)) ++count;
    return count;
  };
  EXPECT_GT(notGreenNear(*late, 80, 144), 10);
  EXPECT_EQ(notGreenNear(*late, 240, 180), 0);
}

TEST_F(EditedExportTest, EveryAspectRatioCentresThePictureOnAnEvenCanvas) {
  test::LoadedEditor editor;
  ASSERT_TRUE(editor.loaded());
  CursorOverlaySettings noCursor = CursorOverlaySettings::defaultSettings();
  noCursor.enabled = false;
  editor.model().setCursorOverlaySettings(noCursor);
  // The background is off; around a widened picture the export shows it as the preview does.
  editor.model().setBackgroundSettings(solidBlue());
  for (OutputAspectRatio ratio : allCases<OutputAspectRatio>()) {
    SCOPED_TRACE(std::string(rawValue(ratio)));
    Look look;
    look.ratio = ratio;
    const fs::path out = exportWith(editor, look);
    ASSERT_FALSE(out.empty());
    auto frame = test::frameOf(out, 1.0);
    const QSize expected = AdvancedVideoExporter::evenCanvasSize(ratio, QSizeF(320, 240));
    EXPECT_EQ(frame->width(), expected.width());
    EXPECT_EQ(frame->height(), expected.height());
    EXPECT_EQ(frame->width() % 2, 0);
    EXPECT_EQ(frame->height() % 2, 0);
    const int W = frame->width(), H = frame->height();
    EXPECT_TRUE(closeTo(frame->pixel(W / 2, H / 2), kWindowGreen));
    // The canvas grows in one direction only, and what it adds is the backdrop on both sides.
    if (W > 320) {
      EXPECT_TRUE(closeTo(frame->pixel(2, H / 2), kBlue));
      EXPECT_TRUE(closeTo(frame->pixel(W - 3, H / 2), kBlue));
      EXPECT_TRUE(closeTo(frame->pixel((W - 320) / 2 + 4, H / 2), kWindowGreen));
    }
    if (H > 240) {
      EXPECT_TRUE(closeTo(frame->pixel(W / 2, 2), kBlue));
      EXPECT_TRUE(closeTo(frame->pixel(W / 2, H - 3), kBlue));
    }
  }
}

TEST_F(EditedExportTest, VerticalStackPutsTheCameraOverTheScreenOnANineBySixteenCanvas) {
  test::LoadedEditor editor;
  ASSERT_TRUE(editor.loaded());
  editor.model().setCameraURL(test::recordedMovie().camera);
  Look look;
  look.ratio = OutputAspectRatio::ratio16x9;  // the stack overrides it
  look.verticalStack = true;
  const fs::path out = exportWith(editor, look);
  ASSERT_FALSE(out.empty());
  auto frame = test::frameOf(out, 0.5);
  EXPECT_EQ(frame->width(), 320);
  EXPECT_EQ(frame->height(), 570);
  EXPECT_TRUE(closeTo(frame->pixel(160, int(570 * 0.17)), kCameraRed)) << std::hex << frame->pixel(160, 97);
  EXPECT_TRUE(closeTo(frame->pixel(160, int(570 * 0.68)), kWindowGreen))
      << std::hex << frame->pixel(160, 387);
}

TEST_F(EditedExportTest, CancelStopsTheExportAndLeavesNothingBehind) {
  test::LoadedEditor editor;
  ASSERT_TRUE(editor.loaded());
  editor.model().setBackgroundEnabled(true);
  editor.model().setBackgroundSettings(solidBlue());
  test::ExportWait wait;
  Look look;
  look.padding = 60;
  editor.model().exportAdvancedVideo(look.camera, look.padding, look.corner, look.ratio, false, 0, 0, 0, 0,
                                     wait.completion());
  ASSERT_TRUE(editor.model().exportSession());
  // Cancelled once the export has begun writing.
  ASSERT_TRUE(test::waitUntil([&] { return !editor.outputs().empty() || wait.calls > 0; }));
  editor.model().cancelExport();
  EXPECT_FALSE(editor.model().isExporting());
  ASSERT_TRUE(wait.wait());
  EXPECT_EQ(wait.calls, 1);
  ASSERT_FALSE(wait.result->succeeded());
  auto* error = dynamic_cast<const ExportError*>(wait.result->error.get());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ExportError::Kind::cancelled);
  EXPECT_TRUE(editor.outputs().empty());
}

// A tall picture, red along its top, blue along its bottom and green between, whose canvas is past
// what the encoder takes: 8400 pixels high.
void writeTallMovie(const fs::path& file) {
  constexpr int kWidth = 400, kHeight = 8400, kBand = 80;
  AssetWriter writer(file, ContainerFormat::mov);
  VideoInputSettings video{kWidth, kHeight, 30};
  video.preset = "ultrafast";
  writer.addVideoInput(video);
  writer.start();
  auto frame = PixelBuffer::create(kWidth, kHeight);
  frame->fill(kWindowGreen);
  for (int y = 0; y < kBand; ++y)
    for (int x = 0; x < kWidth; ++x) {
      frame->setPixel(x, y, kCameraRed);
      frame->setPixel(x, kHeight - 1 - y, kBlue);
    }
  for (int i = 0; i < 2; ++i) {
    while (!writer.isReadyForVideo()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    writer.appendVideo(frame, MediaTime(i, 30));
  }
  writer.finish(MediaTime(2, 30));
}

TEST_F(EditedExportTest, ACanvasPastTheEncodersLimitsIsScaledDownWholeAndTheNoteSaysSo) {
  QTemporaryDir folder;
  const fs::path tall = fs::path(folder.path().toStdString()) / "tall.mov";
  ASSERT_NO_THROW(writeTallMovie(tall));
  test::LoadedEditor editor(std::nullopt, tall);
  ASSERT_TRUE(editor.loaded());
  CursorOverlaySettings noCursor = CursorOverlaySettings::defaultSettings();
  noCursor.enabled = false;
  editor.model().setCursorOverlaySettings(noCursor);
  // Both paths: the picture centred on the canvas, and the compositor drawing a background to the edge.
  for (const bool background : {false, true}) {
    SCOPED_TRACE(background ? "compositor" : "plain");
    editor.model().setBackgroundEnabled(background);
    const auto result = exportResult(editor, Look{});
    ASSERT_TRUE(result && result->succeeded());
    auto frame = test::frameOf(*result->url, 0);
    ASSERT_TRUE(frame);
    const int W = frame->width(), H = frame->height();
    EXPECT_TRUE(AdvancedVideoExporter::fitsEncoder(QSize(W, H))) << W << " x " << H;
    EXPECT_GT(H, 7800);  // no smaller than the limits ask
    EXPECT_NEAR(static_cast<double>(W) / H, 400.0 / 8400, 0.002);
    // The whole picture, scaled: its red top and blue bottom reach the canvas's edges.
    EXPECT_TRUE(closeTo(frame->pixel(W / 2, 2), kCameraRed));
    EXPECT_TRUE(closeTo(frame->pixel(W / 2, H / 2), kWindowGreen));
    EXPECT_TRUE(closeTo(frame->pixel(W / 2, H - 3), kBlue));
    ASSERT_TRUE(result->note);
    EXPECT_NE(result->note->find(std::to_string(W) + " × " + std::to_string(H)), std::string::npos)
        << *result->note;
    EXPECT_NE(result->note->find("400 × 8400"), std::string::npos) << *result->note;
    EXPECT_NE(result->note->find("scaled down"), std::string::npos) << *result->note;
  }
  // A canvas within the limits is left as it is, without a note.
  test::LoadedEditor small;
  ASSERT_TRUE(small.loaded());
  const auto plain = exportResult(small, Look{});
  ASSERT_TRUE(plain && plain->succeeded());
  EXPECT_FALSE(plain->note);
}

TEST_F(EditedExportTest, RefusalsComeAsErrorsAndWriteNothing) {
  // No movie loaded.
  VideoTrimmerViewModel empty;
  test::ExportWait none;
  empty.exportAdvancedVideo({}, 0, 0, OutputAspectRatio::original, false, 0, 0, 0, 0, none.completion());
  ASSERT_EQ(none.calls, 1) << "reported at once";
  EXPECT_EQ(none.result->error->localizedDescription(), "No video loaded");
  EXPECT_FALSE(empty.isExporting());

  // A source without a picture is refused.
  QTemporaryDir dir;
  const fs::path soundOnly = fs::path(dir.path().toStdString()) / "sound-only.mov";
  test::writeSoundOnlyMovie(soundOnly, 0.5);
  test::ExportWait wait;
  AdvancedVideoExporter::exportVideo(MediaAsset::load(soundOnly), OutputAspectRatio::original, std::nullopt,
                                     std::nullopt, {}, false, CursorOverlaySettings::defaultSettings(),
                                     std::nullopt, false, 0, 0, 0, 0, 0, 0,
                                     fs::path(dir.path().toStdString()) / "out.mp4", wait.completion());
  ASSERT_TRUE(wait.wait());
  ASSERT_FALSE(wait.result->succeeded());
  auto* error = dynamic_cast<const ExportError*>(wait.result->error.get());
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ExportError::Kind::invalidAssets);
  EXPECT_FALSE(fs::exists(fs::path(dir.path().toStdString()) / "out.mp4"));
}

TEST_F(EditedExportTest, MovieWithoutSoundExportsWithoutASoundTrackOnBothPaths) {
  const fs::path source = test::soundlessMovie();
  auto sourceFacts = test::probeMovie(source);
  ASSERT_TRUE(sourceFacts);
  ASSERT_TRUE(sourceFacts->audioCodec.empty());
  test::LoadedEditor editor(std::nullopt, source);
  ASSERT_TRUE(editor.loaded());
  CursorOverlaySettings noCursor = CursorOverlaySettings::defaultSettings();
  noCursor.enabled = false;
  editor.model().setCursorOverlaySettings(noCursor);

  // The plain path, then the compositor's (a background on a wider canvas).
  const auto exportAndCheck = [&](const Look& look, int width, uint32_t corner) {
    const fs::path out = exportWith(editor, look);
    ASSERT_FALSE(out.empty());
    auto facts = test::probeMovie(out);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->videoCodec, "h264");
    EXPECT_EQ(facts->width, width);
    EXPECT_EQ(facts->height, 240);
    EXPECT_TRUE(facts->audioCodec.empty()) << facts->audioCodec;
    EXPECT_TRUE(facts->audioDurations.empty());
    EXPECT_NEAR(facts->duration, sourceFacts->duration, 0.1);
    EXPECT_NEAR(facts->videoDuration, sourceFacts->duration, 0.1);
    for (double t : {0.2, sourceFacts->duration - 0.2}) {
      auto frame = test::frameOf(out, t);
      ASSERT_TRUE(frame);
      EXPECT_TRUE(closeTo(frame->pixel(width / 2, 120), kWindowGreen)) << t;
      EXPECT_TRUE(closeTo(frame->pixel(2, 2), corner)) << std::hex << frame->pixel(2, 2);
    }
  };
  exportAndCheck(Look{}, 320, kWindowGreen);
  editor.model().setBackgroundEnabled(true);
  editor.model().setBackgroundSettings(solidBlue());
  Look framed;
  framed.padding = 60;
  framed.ratio = OutputAspectRatio::ratio16x9;
  exportAndCheck(framed, 428, kBlue);
  EXPECT_EQ(editor.outputs().size(), 2u);
}

// The video packets of a movie as ffprobe reads them, in file order: times in the stream's ticks.
struct VideoPacket {
  int64_t pts = 0, dts = 0;
  bool keyframe = false;
};
std::vector<VideoPacket> videoPackets(const fs::path& movie, int* timescale) {
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                          "stream=time_base:packet=pts,dts,flags", "-of", "csv=p=0",
                          QString::fromStdString(movie.string())});
  probe.waitForFinished(60000);
  std::vector<VideoPacket> packets;
  for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
    const auto fields = line.trimmed().split(',');
    if (fields.size() == 1 && fields[0].startsWith("1/")) *timescale = fields[0].mid(2).toInt();
    if (fields.size() < 3) continue;
    packets.push_back({fields[0].toLongLong(), fields[1].toLongLong(), fields[2].contains('K')});
  }
  return packets;
}

TEST_F(EditedExportTest, ALongExportMadeInPartsHoldsEveryFrameOnceAndJoinsUnseen) {
  constexpr int kFrames = 360;
  if (AssetExportSession::videoPartsFor(QSize(320, 180), kFrames, 60, availableCores()) < 2)
    GTEST_SKIP() << "too few cores here to export in parts";
  QTemporaryDir dir;
  const fs::path source = fs::path(dir.path().toStdString()) / "bands.mov";
  test::TestMovieSpec spec;
  spec.frameRate = 60;
  spec.seconds = kFrames / 60.0;
  test::writeTestMovie(source, spec);

  // The compositor's path (a background behind an unpadded picture draws the source as it is).
  test::ExportWait wait;
  AdvancedVideoExporter::exportVideo(MediaAsset::load(source), OutputAspectRatio::original, std::nullopt,
                                     std::nullopt, {}, false, CursorOverlaySettings::defaultSettings(),
                                     solidBlue(), true, 0, 0, 0, 0, 0, 0,
                                     fs::path(dir.path().toStdString()) / "parts.mp4", wait.completion());
  ASSERT_TRUE(wait.wait()) << "the export never ended";
  ASSERT_TRUE(wait.result->succeeded()) << wait.result->error->localizedDescription();
  const fs::path out = *wait.result->url;

  // Every frame once, at its own time, with decoding times that only grow and a keyframe every second.
  int timescale = 0;
  const auto packets = videoPackets(out, &timescale);
  ASSERT_EQ(packets.size(), size_t(kFrames));
  ASSERT_GT(timescale, 0);
  std::vector<int64_t> times;
  for (size_t i = 0; i < packets.size(); ++i) {
    times.push_back(packets[i].pts);
    if (i > 0) {
      EXPECT_GT(packets[i].dts, packets[i - 1].dts) << "packet " << i;
    }
    EXPECT_LE(packets[i].dts, packets[i].pts) << "packet " << i;
  }
  std::sort(times.begin(), times.end());
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(times[i] - times[0], int64_t(i) * timescale / 60) << i;
  int sinceKeyframe = 0;
  for (const auto& packet : packets) {
    sinceKeyframe = packet.keyframe ? 0 : sinceKeyframe + 1;
    EXPECT_LT(sinceKeyframe, 60);
  }
  auto facts = test::probeMovie(out);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->audioCodec, "aac");
  EXPECT_NEAR(facts->audioDurations.at(0), kFrames / 60.0, 0.05);

  QProcess decode;
  decode.start("ffmpeg",
               {"-nostdin", "-v", "error", "-i", QString::fromStdString(out.string()), "-f", "null", "-"});
  ASSERT_TRUE(decode.waitForFinished(120000));
  EXPECT_EQ(decode.exitCode(), 0);
  EXPECT_TRUE(decode.readAllStandardError().isEmpty()) << "the joined stream decodes without a complaint";

  // Each frame, the joins' neighbours among them, shows its own source frame, and closely.
  VideoFrameReader exported(out), original(source);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(exported.advance()) << "frame " << i << " is missing";
    ASSERT_TRUE(original.advance());
    const auto oursHeld = exported.currentFrame().pixelBuffer();
    const auto theirsHeld = original.currentFrame().pixelBuffer();
    const PixelBuffer &ours = *oursHeld, &theirs = *theirsHeld;
    // The eight bands tell the first 255 frames apart; past them, the source's frame says what to show.
    ASSERT_EQ(test::frameIndexShown(ours), i < 255 ? i : test::frameIndexShown(theirs)) << "frame " << i;
    int64_t difference = 0;
    for (int y = 0; y < 180; y += 3)
      for (int x = 0; x < 320; x += 3)
        for (int shift : {0, 8, 16})
          difference +=
              std::abs(int((ours.pixel(x, y) >> shift) & 0xFF) - int((theirs.pixel(x, y) >> shift) & 0xFF));
    EXPECT_LT(double(difference) / (107 * 60 * 3), 4.0) << "frame " << i;
  }
  EXPECT_FALSE(exported.advance()) << "a frame too many";
}

TEST_F(EditedExportTest, ExportsInTheSameSecondGetTheirOwnNames) {
  const QDateTime when(QDate(2025, 3, 7), QTime(14, 5, 9));
  QTemporaryDir dir;
  const fs::path source = fs::path(dir.path().toStdString()) / "clip.final.mov";
  EXPECT_EQ(ExportDestination::plainURL(source, "Edited", "mp4", when).filename(),
            "clip.final (Edited 2025-03-07 14.05.09).mp4");
  EXPECT_EQ(
      ExportDestination::plainURL(fs::path(dir.path().toStdString()) / "Demo", "Merged", "", when).filename(),
      "Demo (Merged 2025-03-07 14.05.09).");
  auto first = ExportDestination::reserve(source, "Edited", "mp4", when);
  auto second = ExportDestination::reserve(source, "Edited", "mp4", when);
  EXPECT_NE(first.url, second.url);
  EXPECT_EQ(second.url.filename(), "clip.final (Edited 2025-03-07 14.05.09) 2.mp4");
  // A name taken on disk is passed over too, and a released one is free again.
  std::ofstream(first.url) << "kept";
  second = {};
  auto third = ExportDestination::reserve(source, "Edited", "mp4", when);
  EXPECT_EQ(third.url.filename(), "clip.final (Edited 2025-03-07 14.05.09) 2.mp4");

  // Two edited exports started together both complete, each into its own file.
  test::LoadedEditor editor;
  ASSERT_TRUE(editor.loaded());
  test::ExportWait a, b;
  editor.model().exportAdvancedVideo({}, 0, 0, OutputAspectRatio::original, false, 0, 0, 0, 0,
                                     a.completion());
  editor.model().exportAdvancedVideo({}, 0, 0, OutputAspectRatio::original, false, 0, 0, 0, 0,
                                     b.completion());
  ASSERT_TRUE(a.wait() && b.wait());
  ASSERT_TRUE(a.result->succeeded() && b.result->succeeded());
  EXPECT_NE(*a.result->url, *b.result->url);
  EXPECT_EQ(editor.outputs().size(), 2u);
  for (const auto& movie : editor.outputs()) {
    auto facts = test::probeMovie(movie);
    ASSERT_TRUE(facts);
    EXPECT_NEAR(facts->duration, 3.0, 0.3);
  }
}

}  // namespace
}  // namespace tk
