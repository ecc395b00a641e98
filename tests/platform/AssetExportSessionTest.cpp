#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sched.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include "platform/composition/StandardLayerRenderer.h"
#include "platform/ffmpeg/AssetExportSession.h"
#include "platform/ffmpeg/AudioSampleReader.h"
#include "platform/ffmpeg/LeftoverFiles.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "platform/qt/SerialQueue.h"
#include "support/TestMovies.h"
#include "support/TestSupport.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

// Band movies (each frame shows its index; silence for the first second, then a tone), written once.
class AssetExportSessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new QTemporaryDir();
    test::TestMovieSpec spec;
    spec.seconds = 3.0;
    spec.silentUntil = 1.0;
    spec.keyframeInterval = 15;
    test::writeTestMovie(movie(), spec);
    test::TestMovieSpec big;
    big.width = 1280;
    big.height = 720;
    big.frameRate = 60;
    big.seconds = 6.0;
    test::writeTestMovie(bigMovie(), big);
    test::TestMovieSpec long60;
    long60.frameRate = 60;
    long60.seconds = 6.0;
    test::writeTestMovie(longMovie(), long60);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(out_.isValid()); }

  static fs::path movie() { return fs::path(folder_->filePath("bands.mov").toStdString()); }
  static fs::path bigMovie() { return fs::path(folder_->filePath("big.mov").toStdString()); }
  static fs::path longMovie() { return fs::path(folder_->filePath("long.mov").toStdString()); }
  fs::path out(const char* name) const { return fs::path(out_.filePath(name).toStdString()); }
  size_t filesInOutput() const {
    return std::distance(fs::directory_iterator(out_.path().toStdString()), {});
  }

  // A composition of the given source spans (seconds) laid end to end, picture and sound.
  static std::shared_ptr<MutableComposition> spans(const fs::path& source,
                                                   std::vector<std::pair<double, double>> ranges) {
    auto asset = MediaAsset::load(source);
    auto composition = std::make_shared<MutableComposition>();
    auto* video = composition->addMutableTrack(MediaKind::video);
    auto* audio = composition->addMutableTrack(MediaKind::audio);
    MediaTime at = MediaTime::zero();
    for (auto [from, to] : ranges) {
      MediaTimeRange range{MediaTime::fromSeconds(from, 600), MediaTime::fromSeconds(to - from, 600)};
      video->insertTimeRange(range, source, *asset.firstTrack(MediaKind::video), at);
      audio->insertTimeRange(range, source, *asset.firstTrack(MediaKind::audio), at);
      at += range.duration;
    }
    return composition;
  }

  static int indexAt(const fs::path& file, double seconds) {
    VideoFrameReader reader(file);
    return test::frameIndexShown(*reader.frameAt(MediaTime::fromSeconds(seconds, 600)).pixelBuffer());
  }

  // Root mean square of the first channel over [from, to) seconds.
  static double loudness(const fs::path& file, double from, double to) {
    AudioSampleReader reader(file, AudioFormat{48000, 2, true});
    reader.seek(MediaTime::fromSeconds(from, 48000));
    double sum = 0;
    int64_t count = 0;
    const int64_t wanted = static_cast<int64_t>((to - from) * 48000);
    while (count < wanted) {
      auto block = reader.nextBlock();
      if (!block) break;
      const auto& audio = *block->audioBlock();
      for (int i = 0; i < audio.frameCount && count < wanted; ++i, ++count)
        sum += double(audio.sample(i, 0)) * audio.sample(i, 0);
    }
    return count ? std::sqrt(sum / count) : 0;
  }

  static QTemporaryDir* folder_;
  QTemporaryDir out_;
};

QTemporaryDir* AssetExportSessionTest::folder_ = nullptr;

TEST_F(AssetExportSessionTest, JoinedSpansJumpInPictureAndSoundAtTheCut) {
  // 0.5 s of silence, then 0.5 s from the toned part of the source.
  auto session = std::make_shared<AssetExportSession>(spans(movie(), {{0.0, 0.5}, {2.0, 2.5}}));
  session->setOutputURL(out("joined.mp4"));
  session->exportSynchronously();
  ASSERT_EQ(session->status(), AssetExportSession::Status::completed)
      << session->error()->localizedDescription();
  EXPECT_FLOAT_EQ(session->progress(), 1.0f);

  auto result = MediaAsset::load(out("joined.mp4"));
  EXPECT_NEAR(result.duration().seconds(), 1.0, 0.05);
  ASSERT_TRUE(result.firstTrack(MediaKind::audio));
  EXPECT_EQ(result.firstTrack(MediaKind::video)->width, 320);
  EXPECT_NEAR(result.firstTrack(MediaKind::video)->nominalFrameRate, 60, 0.5);
  EXPECT_EQ(indexAt(out("joined.mp4"), 0.25), 7);   // source 0.25 s at 30 fps
  EXPECT_EQ(indexAt(out("joined.mp4"), 0.48), 14);  // the last frame before the cut
  EXPECT_EQ(indexAt(out("joined.mp4"), 0.52), 60);  // source 2.0 s right after it
  EXPECT_EQ(indexAt(out("joined.mp4"), 0.9), 72);
  EXPECT_LT(loudness(out("joined.mp4"), 0.05, 0.45), 0.01);
  EXPECT_GT(loudness(out("joined.mp4"), 0.55, 0.95), 0.2);
  EXPECT_EQ(filesInOutput(), 1u) << "the reserved file is renamed, not copied";
}

TEST_F(AssetExportSessionTest, LayerTransformsPlaceAndZoomTheFrameOnTheCanvas) {
  auto composition = spans(movie(), {{0.0, 1.0}});
  const int32_t screen = composition->tracks(MediaKind::video).front()->trackID();
  auto videoComposition = std::make_shared<VideoComposition>();
  videoComposition->renderSize = QSize(400, 300);
  auto instruction = std::make_shared<VideoCompositionInstruction>();
  instruction->timeRange = {MediaTime::zero(), MediaTime(1, 1)};
  VideoCompositionLayerInstruction layer(screen);
  layer.setTransform(AffineTransform::translation(40, 60), MediaTime::zero());
  // From 0.5 s the picture doubles about its top-left corner, which stays at (40, 60).
  layer.setTransform(AffineTransform::scale(2, 2).then(AffineTransform::translation(40, 60)),
                     MediaTime(1, 2));
  instruction->layerInstructions = {layer};
  videoComposition->instructions = {instruction};
  auto session = std::make_shared<AssetExportSession>(composition);
  session->setOutputURL(out("placed.mp4"));
  session->setVideoComposition(videoComposition);
  session->exportSynchronously();
  ASSERT_EQ(session->status(), AssetExportSession::Status::completed);

  VideoFrameReader reader(out("placed.mp4"));
  ASSERT_EQ(reader.naturalWidth(), 400);
  // Frame 7 shows 7 Gray-coded (4): band 0 is black.
  auto early = reader.frameAt(MediaTime::fromSeconds(0.25, 600)).pixelBuffer();
  const auto grey = [](const PixelBuffer& f, int x, int y) { return int(f.pixel(x, y) & 0xFF); };
  EXPECT_LT(grey(*early, 20, 30), 30) << "outside the picture is black";
  EXPECT_GT(grey(*early, 45, 65), 200) << "the white corner patch at the picture's top left";
  EXPECT_LT(grey(*early, 45, 60 + 180 - 5), 40) << "the black patch at its bottom left";
  EXPECT_LT(grey(*early, 370, 270), 30) << "below and right of the picture is black";
  auto late = reader.frameAt(MediaTime::fromSeconds(0.81, 600)).pixelBuffer();  // frame 24
  // Doubled, the white patch (20 × 30 source pixels) reaches 40 + 36 and 60 + 56.
  EXPECT_GT(grey(*late, 40 + 36, 60 + 56), 200);
  EXPECT_LT(grey(*early, 40 + 36, 60 + 56), 100) << "before the zoom that spot is past the patch";
}

// A compositor that runs on its own thread and writes, over the screen frame, a square that is white
// when the camera frame arrived too.
class MarkingCompositor : public VideoCompositing {
 public:
  void renderContextChanged(std::shared_ptr<VideoCompositionRenderContext>) override { ++contexts; }
  void startVideoCompositionRequest(std::shared_ptr<VideoCompositionRequest> request) override {
    queue_.post([request] {
      auto out = request->renderContext().newPixelBuffer();
      const auto& ids = request->sourceTrackIDs();
      auto screen = request->sourceFrame(ids.at(0));
      if (!out || !screen) return request->finishWithError(PlatformError("test", -1, "no frame"));
      out->copyFrom(*screen);
      const bool camera = ids.size() > 1 && request->sourceFrame(ids[1]);
      for (int y = 90; y < 110; ++y)
        for (int x = 150; x < 170; ++x) out->setPixel(x, y, camera ? 0xFFFFFFFF : 0xFF000000);
      request->finishWithComposedVideoFrame(out);
    });
  }
  void cancelAllPendingVideoCompositionRequests() override {}

  std::atomic<int> contexts{0};

 private:
  SerialQueue queue_{"test.marking"};
};

TEST_F(AssetExportSessionTest, CustomCompositorGetsEachTracksFrameForEveryOutputFrame) {
  auto composition = spans(movie(), {{1.0, 2.0}});
  auto asset = MediaAsset::load(movie());
  auto* camera = composition->addMutableTrack(MediaKind::video);
  // The camera covers only the first half.
  camera->insertTimeRange({MediaTime::zero(), MediaTime(1, 2)}, movie(), *asset.firstTrack(MediaKind::video),
                          MediaTime::zero());
  const int32_t screen = composition->tracks(MediaKind::video).front()->trackID();
  auto videoComposition = std::make_shared<VideoComposition>();
  videoComposition->renderSize = QSize(320, 180);
  auto instruction = std::make_shared<VideoCompositionInstruction>();
  instruction->timeRange = {MediaTime::zero(), MediaTime(1, 1)};
  instruction->requiredSourceTrackIDs = std::vector<int32_t>{screen, camera->trackID()};
  videoComposition->instructions = {instruction};
  videoComposition->customVideoCompositor = [] { return std::make_unique<MarkingCompositor>(); };
  auto session = std::make_shared<AssetExportSession>(composition);
  session->setOutputURL(out("composed.mov"));
  session->setOutputFileType(ContainerFormat::mov);
  session->setVideoComposition(videoComposition);
  session->exportSynchronously();
  ASSERT_EQ(session->status(), AssetExportSession::Status::completed)
      << session->error()->localizedDescription();

  VideoFrameReader reader(out("composed.mov"));
  auto early = reader.frameAt(MediaTime::fromSeconds(0.25, 600)).pixelBuffer();
  auto late = reader.frameAt(MediaTime::fromSeconds(0.75, 600)).pixelBuffer();
  EXPECT_EQ(test::frameIndexShown(*late), 52) << "source 1.75 s";
  EXPECT_GT(early->pixel(160, 100) & 0xFF, 200u) << "camera present in the first half";
  EXPECT_LT(late->pixel(160, 100) & 0xFF, 50u) << "and gone after its range";
  EXPECT_NEAR(MediaAsset::load(out("composed.mov")).duration().seconds(), 1.0, 0.05);
}

TEST_F(AssetExportSessionTest, NetworkUsePutsTheIndexFirst) {
  for (bool network : {false, true}) {
    const fs::path file = out(network ? "front.mp4" : "back.mp4");
    auto session = std::make_shared<AssetExportSession>(spans(movie(), {{0.0, 0.5}}));
    session->setOutputURL(file);
    session->setShouldOptimizeForNetworkUse(network);
    session->exportSynchronously();
    ASSERT_EQ(session->status(), AssetExportSession::Status::completed);
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const auto moov = bytes.find("moov"), mdat = bytes.find("mdat");
    ASSERT_NE(moov, std::string::npos);
    EXPECT_EQ(moov < mdat, network);
  }
}

TEST_F(AssetExportSessionTest, RefusalsLeaveEveryFileAsItWas) {
  // An existing file under the output name is never truncated or replaced.
  const fs::path taken = out("taken.mp4");
  std::ofstream(taken) << "someone's movie";
  auto session = std::make_shared<AssetExportSession>(spans(movie(), {{0.0, 0.5}}));
  session->setOutputURL(taken);
  session->exportSynchronously();
  EXPECT_EQ(session->status(), AssetExportSession::Status::failed);
  ASSERT_TRUE(session->error());
  std::ifstream in(taken);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "someone's movie");

  // An empty composition and a missing folder fail with a reason and write nothing.
  auto empty = std::make_shared<AssetExportSession>(std::make_shared<MutableComposition>());
  empty->setOutputURL(out("empty.mp4"));
  empty->exportSynchronously();
  EXPECT_EQ(empty->status(), AssetExportSession::Status::failed);
  auto nowhere = std::make_shared<AssetExportSession>(spans(movie(), {{0.0, 0.5}}));
  nowhere->setOutputURL(out("missing") / "x.mp4");
  nowhere->exportSynchronously();
  EXPECT_EQ(nowhere->status(), AssetExportSession::Status::failed);
  EXPECT_EQ(filesInOutput(), 1u);

  // Edits that start outside their source, or overlap, are refused when inserted.
  auto asset = MediaAsset::load(movie());
  MutableComposition composition;
  auto* video = composition.addMutableTrack(MediaKind::video);
  const auto& track = *asset.firstTrack(MediaKind::video);
  EXPECT_THROW(video->insertTimeRange({MediaTime(5, 1), MediaTime(1, 1)}, movie(), track, MediaTime::zero()),
               PlatformError);
  video->insertTimeRange({MediaTime::zero(), MediaTime(1, 1)}, movie(), track, MediaTime::zero());
  EXPECT_THROW(video->insertTimeRange({MediaTime::zero(), MediaTime(1, 1)}, movie(), track, MediaTime(1, 2)),
               PlatformError);
  EXPECT_THROW(video->insertTimeRange({MediaTime::zero(), MediaTime(1, 1)}, movie(),
                                      *asset.firstTrack(MediaKind::audio), MediaTime(1, 1)),
               PlatformError);
  // A range past the source's end is cut at it.
  video->insertTimeRange({MediaTime(2, 1), MediaTime(5, 1)}, movie(), track, MediaTime(1, 1));
  EXPECT_NEAR(composition.duration().seconds(), 2.0, 0.05);
}

TEST_F(AssetExportSessionTest, AFileThatTakesTheNameWhileTheExportRunsIsNeverReplaced) {
  // Someone saves under the output name after the export began: its final rename must not replace it.
  const fs::path taken = out("taken-meanwhile.mp4");
  auto session = std::make_shared<AssetExportSession>(spans(bigMovie(), {{0.0, 6.0}}));
  session->setOutputURL(taken);
  std::atomic<bool> ended{false};
  session->exportAsynchronously([&] { ended = true; });
  ASSERT_TRUE(test::waitUntil([&] {
    return session->progress() > 0.05f && !session->temporaryURL().empty() &&
           fs::exists(session->temporaryURL());
  })) << "the export never wrote its partial file";
  const int fd = ::open(taken.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << "the name was taken before the clashing file could be made";
  const std::string theirs = "someone's movie, saved while the export ran";
  ASSERT_EQ(::write(fd, theirs.data(), theirs.size()), ssize_t(theirs.size()));
  ::close(fd);
  ASSERT_TRUE(test::waitUntil([&] { return ended.load(); }, std::chrono::minutes(3)))
      << "the export never ended";

  std::ifstream in(taken);
  const std::string now((std::istreambuf_iterator<char>(in)), {});
  EXPECT_TRUE(now == theirs) << "the file under the name was replaced: " << now.size() << " bytes now";
  // It fails, or finishes under another name; either way no hidden or partial file stays behind.
  EXPECT_NE(session->status(), AssetExportSession::Status::cancelled);
  if (session->status() == AssetExportSession::Status::failed) {
    EXPECT_TRUE(session->error());
    EXPECT_EQ(filesInOutput(), 1u);
  } else {
    EXPECT_EQ(session->status(), AssetExportSession::Status::completed);
    EXPECT_NE(session->finalURL(), taken);
    EXPECT_TRUE(fs::exists(session->finalURL()));
  }
  EXPECT_FALSE(fs::exists(session->temporaryURL()));
  for (const auto& entry : fs::directory_iterator(out_.path().toStdString())) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(name.front(), '.') << name;
    EXPECT_EQ(name.find("partial"), std::string::npos) << name;
  }
}

TEST_F(AssetExportSessionTest, CancelMidExportStopsAndRemovesThePartialFile) {
  auto session = std::make_shared<AssetExportSession>(spans(bigMovie(), {{0.0, 6.0}}));
  session->setOutputURL(out("cancelled.mp4"));
  std::atomic<bool> ended{false};
  session->exportAsynchronously([&] { ended = true; });
  ASSERT_TRUE(test::waitUntil([&] { return session->progress() > 0.05f; }));
  EXPECT_FALSE(session->temporaryURL().empty());
  EXPECT_TRUE(fs::exists(session->temporaryURL()));
  session->cancelExport();
  ASSERT_TRUE(test::waitUntil([&] { return ended.load(); }));
  EXPECT_EQ(session->status(), AssetExportSession::Status::cancelled);
  EXPECT_LT(session->progress(), 0.9f) << "it stopped early";
  EXPECT_FALSE(fs::exists(session->temporaryURL()));
  EXPECT_EQ(filesInOutput(), 0u);
}

// The child half of the kill test: exports the big movie when the parent asks for it.
TEST_F(AssetExportSessionTest, ChildExportRunsWhenAsked) {
  const QString target = qEnvironmentVariable("TK_EXPORT_CHILD_OUTPUT");
  if (target.isEmpty()) GTEST_SKIP() << "run by KilledExportLeavesNothingUnderTheFinalName";
  auto session = std::make_shared<AssetExportSession>(spans(bigMovie(), {{0.0, 6.0}, {0.0, 6.0}}));
  session->setOutputURL(target.toStdString());
  session->exportSynchronously();
}

TEST_F(AssetExportSessionTest, KilledExportLeavesNothingUnderTheFinalName) {
  const fs::path target = out("killed.mp4");
  QProcess child;
  auto environment = QProcessEnvironment::systemEnvironment();
  environment.insert("TK_EXPORT_CHILD_OUTPUT", QString::fromStdString(target.string()));
  child.setProcessEnvironment(environment);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_filter=AssetExportSessionTest.ChildExportRunsWhenAsked"});
  ASSERT_TRUE(child.waitForStarted());
  // Killed once its reserved file holds some of the movie.
  const auto partialGrown = [&] {
    for (const auto& entry : fs::directory_iterator(out_.path().toStdString()))
      if (entry.path().filename().string().find(".partial-") != std::string::npos &&
          entry.file_size() > 100000)
        return true;
    return false;
  };
  ASSERT_TRUE(test::waitUntil(partialGrown, std::chrono::minutes(2)));
  const std::string pid = std::to_string(child.processId());
  child.kill();
  ASSERT_TRUE(child.waitForFinished());
  EXPECT_FALSE(fs::exists(target));
  // The next start removes the files the export was working on, and not one that merely looks like
  // them.
  const fs::path lookAlike = out_.path().toStdString() + "/.killed.partial-" + pid + "-0123456789abcdef.mp4";
  std::ofstream(lookAlike) << "someone's";
  EXPECT_FALSE(LeftoverFiles::removeStale().removed.empty());
  EXPECT_EQ(filesInOutput(), 1u);
  EXPECT_TRUE(fs::exists(lookAlike));
}

// Runs `work` on a thread of its own that may use only the first two cores this process may use.
void onTwoCores(const std::function<void()>& work) {
  std::thread thread([&] {
    cpu_set_t allowed, two;
    CPU_ZERO(&two);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
      for (int cpu = 0, kept = 0; cpu < CPU_SETSIZE && kept < 2; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) {
          CPU_SET(cpu, &two);
          ++kept;
        }
      sched_setaffinity(0, sizeof two, &two);
    }
    work();
  });
  thread.join();
}

// The whole long movie drawn by `compositor` on a 320 × 180 canvas.
std::shared_ptr<VideoComposition> composedBy(const MutableComposition& composition,
                                             std::function<std::unique_ptr<VideoCompositing>()> compositor) {
  auto videoComposition = std::make_shared<VideoComposition>();
  videoComposition->renderSize = QSize(320, 180);
  auto instruction = std::make_shared<VideoCompositionInstruction>();
  instruction->timeRange = {MediaTime::zero(), composition.duration()};
  instruction->requiredSourceTrackIDs =
      std::vector<int32_t>{composition.tracks(MediaKind::video).front()->trackID()};
  videoComposition->instructions = {instruction};
  videoComposition->customVideoCompositor = std::move(compositor);
  return videoComposition;
}

// Copies the screen frame, but holds every frame in the given spans at a gate until it opens, or
// fails every frame from a given time on.
class GatedCompositor : public VideoCompositing {
 public:
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    std::set<int> spansHeld;  // which spans have a frame waiting
  };
  GatedCompositor(std::shared_ptr<Gate> gate, std::vector<std::pair<double, double>> spans, double failFrom)
      : gate_(std::move(gate)), spans_(std::move(spans)), failFrom_(failFrom) {}
  void renderContextChanged(std::shared_ptr<VideoCompositionRenderContext>) override {}
  void startVideoCompositionRequest(std::shared_ptr<VideoCompositionRequest> request) override {
    queue_.post([this, request] {
      const double t = request->compositionTime().seconds();
      if (t >= failFrom_) return request->finishWithError(PlatformError("test", -1, "the late frame failed"));
      for (size_t span = 0; span < spans_.size(); ++span) {
        if (t < spans_[span].first || t >= spans_[span].second) continue;
        std::unique_lock lock(gate_->mutex);
        gate_->spansHeld.insert(static_cast<int>(span));
        gate_->changed.notify_all();
        gate_->changed.wait(lock, [&] { return gate_->open; });
      }
      auto out = request->renderContext().newPixelBuffer();
      auto screen = request->sourceFrame(request->sourceTrackIDs().at(0));
      if (!out || !screen) return request->finishWithError(PlatformError("test", -1, "no frame"));
      out->copyFrom(*screen);
      request->finishWithComposedVideoFrame(out);
    });
  }
  void cancelAllPendingVideoCompositionRequests() override {}

 private:
  std::shared_ptr<Gate> gate_;
  std::vector<std::pair<double, double>> spans_;
  double failFrom_;
  SerialQueue queue_{"test.gated"};
};

TEST_F(AssetExportSessionTest, SmallTextComesThroughAnExportLegible) {
  // A still page of 9-pixel text, as a recording of a document shows it, written nearly lossless.
  constexpr int W = 640, H = 360;
  QImage page(W, H, QImage::Format_ARGB32);
  page.fill(Qt::white);
  {
    QPainter painter(&page);
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int line = 0; line < 21; ++line)
      painter.drawText(
          6, 14 + line * 16,
          QStringLiteral("Line %1: the quick brown fox jumps over the lazy dog, 0123456789 ({[;:]})")
              .arg(line));
  }
  const fs::path source = out("page.mov");
  {
    AssetWriter writer(source, ContainerFormat::mov);
    VideoInputSettings video{W, H, 30};
    video.preset = "ultrafast";
    video.constantRateFactor = 1;
    writer.addVideoInput(video);
    writer.start();
    for (int i = 0; i < 15; ++i) {
      auto frame = PixelBuffer::create(W, H);
      for (int y = 0; y < H; ++y) std::memcpy(frame->row(y), page.constScanLine(y), W * 4);
      ASSERT_TRUE(test::waitUntil([&] { return writer.isReadyForVideo(); }));
      ASSERT_TRUE(writer.appendVideo(frame, MediaTime(i, 30)));
    }
    writer.finish(MediaTime(15, 30));
  }
  auto asset = MediaAsset::load(source);
  auto composition = std::make_shared<MutableComposition>();
  composition->addMutableTrack(MediaKind::video)
      ->insertTimeRange({MediaTime::zero(), MediaTime(1, 2)}, source, *asset.firstTrack(MediaKind::video),
                        MediaTime::zero());
  auto session = std::make_shared<AssetExportSession>(composition);
  session->setOutputURL(out("page.mp4"));
  session->exportSynchronously();
  ASSERT_EQ(session->status(), AssetExportSession::Status::completed);
  // B-frames come in the preset's fixed run: choosing them frame by frame cost an export's lookahead
  // a seventh of its CPU, and a screen's movie came out smaller without it.
  EXPECT_EQ(test::x264Option(test::x264Options(out("page.mp4")), "b_adapt"), 0);
  EXPECT_EQ(test::x264Option(test::x264Options(out("page.mp4")), "bframes"), 3);

  // Every frame, B-frames too: the ink stays ink and the page differs by little more than a level
  // on average (about 0.7 here; a rate factor of 24 already makes it 1.4, 34 lightens the ink).
  const auto luma = [](const PixelBuffer& frame, int x, int y) {
    const uint8_t* p = frame.row(y) + x * 4;
    return (p[0] + 2 * p[1] + p[2]) / 4;
  };
  VideoFrameReader original(source);
  const auto before = original.frameAt(MediaTime::zero()).pixelBuffer();
  VideoFrameReader exported(out("page.mp4"));
  int frames = 0;
  while (auto sample = exported.nextFrame()) {
    const auto after = sample->pixelBuffer();
    int ink = 0, keptInk = 0;
    double difference = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const int a = luma(*before, x, y), b = luma(*after, x, y);
        difference += std::abs(a - b);
        if (a < 96) {
          ++ink;
          keptInk += b < 128;
        }
      }
    ASSERT_GT(ink, 2000) << "the page has text";
    EXPECT_GE(static_cast<double>(keptInk) / ink, 0.995) << "frame " << frames;
    EXPECT_LE(difference / (W * H), 1.2) << "frame " << frames;
    ++frames;
  }
  EXPECT_EQ(frames, 30);
}

TEST_F(AssetExportSessionTest, AMovieIsExportedInPartsOnlyWithCoresToSpare) {
  if (AssetExportSession::videoPartsFor(QSize(320, 180), 360, 60, availableCores()) < 2)
    GTEST_SKIP() << "too few cores here to export in parts";
  const auto exportLong = [&](const char* name) {
    auto session = std::make_shared<AssetExportSession>(spans(longMovie(), {{0.0, 6.0}}));
    session->setOutputURL(out(name));
    session->exportSynchronously();
    EXPECT_EQ(session->status(), AssetExportSession::Status::completed);
    EXPECT_FLOAT_EQ(session->progress(), 1.0f);
    return session->videoParts();
  };
  EXPECT_GE(exportLong("parts.mp4"), 2);
  {
    // Each part's encoder has its own threads, one of them deciding frame types ahead of the
    // rest, and places B-frames in the same fixed run as one pipeline.
    const std::string options = test::x264Options(out("parts.mp4"));
    EXPECT_GT(test::x264Option(options, "threads"), 1) << options;
    EXPECT_EQ(test::x264Option(options, "lookahead_threads"), 1) << options;
    EXPECT_EQ(test::x264Option(options, "b_adapt"), 0) << options;
  }
  int partsOnTwoCores = 0;
  onTwoCores([&] { partsOnTwoCores = exportLong("two-cores.mp4"); });
  EXPECT_EQ(partsOnTwoCores, 1) << "two cores run one pipeline";
  // Both movies show the same frames at the same times, the one made in parts across its join too.
  EXPECT_EQ(filesInOutput(), 2u) << "no part is left beside the movies";
  for (double t : {0.5, 2.95, 3.0, 3.02, 5.98})
    EXPECT_EQ(indexAt(out("parts.mp4"), t), indexAt(out("two-cores.mp4"), t)) << t;
  EXPECT_NEAR(MediaAsset::load(out("parts.mp4")).duration().seconds(), 6.0, 0.02);
}

TEST_F(AssetExportSessionTest, EveryPartStopsWhenOneFailsOrTheExportIsCancelled) {
  if (AssetExportSession::videoPartsFor(QSize(320, 180), 360, 60, availableCores()) < 2)
    GTEST_SKIP() << "too few cores here to export in parts";
  const auto composition = spans(longMovie(), {{0.0, 6.0}});

  // A frame of the last part fails: the export fails with its error, whatever the first part did.
  auto open = std::make_shared<GatedCompositor::Gate>();
  open->open = true;
  auto failing = std::make_shared<AssetExportSession>(composition);
  failing->setOutputURL(out("failing.mp4"));
  failing->setVideoComposition(composedBy(*composition, [open] {
    return std::make_unique<GatedCompositor>(open, std::vector<std::pair<double, double>>{}, 5.0);
  }));
  failing->exportSynchronously();
  EXPECT_GE(failing->videoParts(), 2);
  ASSERT_EQ(failing->status(), AssetExportSession::Status::failed);
  ASSERT_TRUE(failing->error());
  EXPECT_NE(failing->error()->localizedDescription().find("the late frame failed"), std::string::npos)
      << failing->error()->localizedDescription();
  EXPECT_EQ(filesInOutput(), 0u) << "neither the movie nor a part's packets stay";

  // Cancelled while every part holds a frame in its compositor.
  auto gate = std::make_shared<GatedCompositor::Gate>();
  auto cancelled = std::make_shared<AssetExportSession>(composition);
  cancelled->setOutputURL(out("cancelled.mp4"));
  cancelled->setVideoComposition(composedBy(*composition, [gate] {
    return std::make_unique<GatedCompositor>(
        gate, std::vector<std::pair<double, double>>{{1.0, 2.0}, {4.0, 5.0}}, 1e9);
  }));
  std::atomic<bool> ended{false};
  cancelled->exportAsynchronously([&] { ended = true; });
  {
    std::unique_lock lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, std::chrono::minutes(2), [&] {
      return gate->spansHeld.size() == 2;
    })) << "the parts never both reached their held frames";
  }
  EXPECT_GE(cancelled->videoParts(), 2);
  cancelled->cancelExport();
  {
    std::lock_guard lock(gate->mutex);
    gate->open = true;
  }
  gate->changed.notify_all();
  ASSERT_TRUE(test::waitUntil([&] { return ended.load(); }, std::chrono::minutes(2)))
      << "the export never ended";
  EXPECT_EQ(cancelled->status(), AssetExportSession::Status::cancelled);
  EXPECT_FALSE(cancelled->error());
  EXPECT_LT(cancelled->progress(), 0.9f);
  EXPECT_EQ(filesInOutput(), 0u);
}

// The niceness of each of this process's threads with the given name.
std::vector<int> nicenessOfThreadsNamed(const std::string& name) {
  std::vector<int> found;
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string taskName;
    std::getline(comm, taskName);
    if (taskName != name) continue;
    std::ifstream statFile(task.path() / "stat");
    const std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // After the parenthesised name: state is field 3, nice field 19.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 19 && fields >> field; ++i) {
    }
    int nice = 0;
    if (fields >> nice) found.push_back(nice);
  }
  return found;
}

TEST_F(AssetExportSessionTest, TheExportReadsAndComposesBelowItsEncodersAndLeavesItsCallerAsItWas) {
  const auto composition = spans(longMovie(), {{0.0, 6.0}});
  auto gate = std::make_shared<GatedCompositor::Gate>();
  auto session = std::make_shared<AssetExportSession>(composition);
  session->setOutputURL(out("niceness.mp4"));
  session->setVideoComposition(composedBy(*composition, [gate] {
    return std::make_unique<GatedCompositor>(gate, std::vector<std::pair<double, double>>{{1.0, 2.0}}, 1e9);
  }));
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  ASSERT_EQ(errno, 0);
  int callerBefore = 0, callerAfter = 0;
  std::thread caller([&] {
    callerBefore = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    session->exportSynchronously();
    callerAfter = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  });
  {
    std::unique_lock lock(gate->mutex);
    ASSERT_TRUE(gate->changed.wait_for(lock, std::chrono::minutes(2), [&] {
      return !gate->spansHeld.empty();
    })) << "the export never reached its held frame";
  }
  const int lowered = std::min(base + 5, 19);
  const auto parts = nicenessOfThreadsNamed("tk-export-part");
  const auto compositors = nicenessOfThreadsNamed("test.gated");
  const auto encoders = nicenessOfThreadsNamed("tk-encode-video");
  const auto converters = nicenessOfThreadsNamed("tk-convert-vid");
  {
    std::lock_guard lock(gate->mutex);
    gate->open = true;
  }
  gate->changed.notify_all();
  caller.join();

  ASSERT_EQ(session->status(), AssetExportSession::Status::completed);
  ASSERT_FALSE(parts.empty());
  ASSERT_FALSE(compositors.empty());
  ASSERT_FALSE(encoders.empty());
  ASSERT_FALSE(converters.empty());
  for (int nice : parts) EXPECT_EQ(nice, lowered) << "a part's reading thread";
  for (int nice : compositors) EXPECT_EQ(nice, lowered) << "a compositor started by a part";
  for (int nice : encoders) EXPECT_EQ(nice, base) << "an encoder's thread";
  for (int nice : converters) EXPECT_EQ(nice, base) << "a writer's conversion thread";
  EXPECT_EQ(callerBefore, base);
  EXPECT_EQ(callerAfter, base) << "the thread that ran the export keeps its priority";
}

TEST(StandardLayerRendererTest, WholePixelShiftsCopyAndScalesInterpolate) {
  auto source = PixelBuffer::create(4, 2);
  for (int x = 0; x < 4; ++x) {
    source->setPixel(x, 0, 0xFF000000 | (x * 80) * 0x010101);
    source->setPixel(x, 1, 0xFF000000 | (x * 80) * 0x010101);
  }
  StandardLayerRenderer renderer;
  auto canvas = PixelBuffer::create(10, 6);
  canvas->fill(0xFF000000);
  renderer.draw(*canvas, *source, AffineTransform::translation(3, 2));
  EXPECT_EQ(canvas->pixel(3, 2), source->pixel(0, 0));
  EXPECT_EQ(canvas->pixel(6, 3), source->pixel(3, 1));
  EXPECT_EQ(canvas->pixel(2, 2), 0xFF000000u);
  EXPECT_EQ(canvas->pixel(7, 2), 0xFF000000u);
  EXPECT_EQ(canvas->pixel(3, 4), 0xFF000000u);

  // Doubled: canvas pixel 3 samples source x = 1.25, a quarter of the way from 80 to 160.
  canvas->fill(0xFF000000);
  renderer.draw(*canvas, *source, AffineTransform::scale(2, 2));
  EXPECT_NEAR(int(canvas->pixel(3, 1) & 0xFF), 100, 1);
  EXPECT_EQ(canvas->pixel(8, 1), 0xFF000000u) << "nothing past the scaled picture";

  // A half turn (any other transform) samples the nearest pixel.
  canvas->fill(0xFF000000);
  renderer.draw(*canvas, *source, {-1, 0, 0, -1, 4, 2});
  EXPECT_EQ(canvas->pixel(0, 0), source->pixel(3, 1));
  EXPECT_EQ(canvas->pixel(3, 1), source->pixel(0, 0));
}

}  // namespace
}  // namespace tk
