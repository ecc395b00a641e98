// Exports a 1080p60 recording (made by our own writer) with a gradient background, padding, rounded
// corners, a shadow, three zoom segments, the smoothed cursor and a camera bubble, and in the same run:
// - re-encodes the same input with the ffmpeg command line (libx264 with the export's settings and
//   threading, at its size, AAC): the plain re-encode the export is compared with, the two taking
//   turns three times in a full run and reported by their median rounds;
// - re-encodes the export's own movie the same way: what the encoder alone costs on the export's frames;
// - exports on two cores (compared with real time);
// - says in how many parts the export's video was made side by side;
// - measures the export's fidelity: the SSIM of its luma against the compositor's own frames, drawn
//   here from the same sources and settings and converted as the writer converts them;
// - runs the editor's merged export and the studio editor's export of the same recording, eleven
//   twelfths kept.
// Each run is a child process, so wall time, CPU time (getrusage) and peak memory are its own.
//
// bench_Export [--short] [--8k]
//   --short: 4 s of input instead of 60 s (CI; long enough to be exported in parts)
//   --8k:    instead, exports 0.5 s of a 7680x4320 recording and prints its peak memory (at most 2 GiB)

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "BenchSupport.h"
#include "editor/StudioEditorViewModel.h"
#include "editor/VideoTrimmerViewModel.h"
#include "export/AdvancedVideoExporter.h"
#include "export/RoundedCameraCompositor.h"
#include "platform/ffmpeg/AssetExportSession.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/ffmpeg/Bt709Converter.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/ffmpeg/VideoFrameReader.h"

namespace {

using namespace tk;
using namespace tk::bench;
namespace fs = std::filesystem;

void writeCamera(const fs::path& file, double seconds) {
  AssetWriter writer(file, ContainerFormat::mov);
  VideoInputSettings video{640, 360, 30};
  video.preset = "ultrafast";
  writer.addVideoInput(video);
  writer.start();
  PixelBufferPool pool(640, 360, 8);
  for (int i = 0; i < static_cast<int>(seconds * 30); ++i) {
    auto frame = pool.acquire();
    frame->fill(0xFFC08060 + (i % 40));
    waitReady([&] { return writer.isReadyForVideo(); });
    writer.appendVideo(frame, MediaTime(i, 30));
  }
  writer.finish();
}

RecordingMetadata metadataFor(double seconds) {
  RecordingMetadata metadata;
  metadata.duration = seconds;
  metadata.resolution = QSizeF(1920, 1080);
  metadata.frameRate = 60;
  for (double from : {0.1, 0.4, 0.7}) {
    ZoomSegment zoom;
    zoom.startTime = from * seconds;
    zoom.endTime = (from + 0.15) * seconds;
    zoom.zoomLevel = 2.0;
    zoom.easeIn = zoom.easeOut = std::min(0.5, seconds * 0.03);
    metadata.zoomSegments.push_back(zoom);
  }
  for (int i = 0; i <= static_cast<int>(seconds * 30); ++i) {
    CursorPosition sample;
    sample.timestamp = i / 30.0;
    sample.position = QPointF(0.5 + 0.3 * std::sin(i * 0.05), 0.5 + 0.3 * std::cos(i * 0.04));
    metadata.cursorPositions.push_back(sample);
    if (i % 90 == 45) {
      CursorClick click;
      click.timestamp = sample.timestamp;
      click.position = sample.position;
      metadata.cursorClicks.push_back(click);
    }
  }
  return metadata;
}

// The export's look; the reference frames for the SSIM are drawn from the same values.
struct Look {
  CameraExportSettings camera{{0.85, 0.18}, 0.22, 0.66, 0.22, CameraShape::squircle};
  BackgroundSettings background;
  double padding = 120, cornerRadius = 28, screenShadowOpacity = 0.4, screenShadowRadius = 30,
         cameraShadowOpacity = 0.4, cameraShadowRadius = 12;
  Look() { background.gradient = gradientSettings(GradientPreset::ocean); }
};

void keepToCores(int cores) {
  if (cores <= 0) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int c = 0; c < cores; ++c) CPU_SET(c, &set);
  sched_setaffinity(0, sizeof set, &set);
}

bool runExport(int argc, char** argv, const fs::path& source, const fs::path& camera, const fs::path& out,
               double seconds, int cores) {
  keepToCores(cores);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const Look look;
  std::mutex mutex;
  std::condition_variable done;
  std::optional<ExportResult> result;
  AdvancedVideoExporter::exportVideo(
      MediaAsset::load(source), OutputAspectRatio::original, MediaAsset::load(camera), metadataFor(seconds),
      look.camera, false, CursorOverlaySettings::defaultSettings(), look.background, true, look.padding,
      look.cornerRadius, look.screenShadowOpacity, look.screenShadowRadius, look.cameraShadowOpacity,
      look.cameraShadowRadius, out, [&](ExportResult r) {
        std::lock_guard lock(mutex);
        result = std::move(r);
        done.notify_all();
      });
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return result.has_value(); });
  if (!result->succeeded())
    std::fprintf(stderr, "export failed: %s\n", result->error->localizedDescription().c_str());
  return result->succeeded();
}

// The editor's merged export of the same recording, the middle twelfth dropped, with the same look
// (no camera: the merged movie has none).
bool runMergedExport(int argc, char** argv, const fs::path& source, double seconds) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);  // the editor's model owns its player's view
  const Look look;
  const MediaAsset asset = MediaAsset::load(source);
  const auto at = [&](double fraction) { return MediaTime::fromSeconds(fraction * seconds, 600); };
  std::vector<VideoSegment> segments(3);
  segments[0].startTime = at(0);
  segments[0].endTime = at(11.0 / 24);
  segments[1].startTime = segments[0].endTime;
  segments[1].endTime = at(13.0 / 24);
  segments[1].isMarkedForDeletion = true;
  segments[2].startTime = segments[1].endTime;
  segments[2].endTime = at(1);
  std::vector<VideoSegment> kept{segments[0], segments[2]};
  const RecordingMetadata metadata = metadataFor(seconds);
  VideoTrimmerViewModel model;
  QEventLoop loop;
  bool ok = false;
  model.exportMergedVideo(
      asset, kept, source, metadata.zoomSegments, CursorOverlaySettings::defaultSettings(), metadata, true,
      look.background, look.padding, look.cornerRadius, look.screenShadowOpacity, look.screenShadowRadius,
      look.cameraShadowOpacity, look.cameraShadowRadius, [&](ExportResult result) {
        ok = result.succeeded();
        if (!ok)
          std::fprintf(stderr, "merged export failed: %s\n", result.error->localizedDescription().c_str());
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
      });
  loop.exec();
  return ok;
}

// The studio editor's export of the same recording split in three, its middle part switched off.
bool runStudioExport(int argc, char** argv, const fs::path& source, const fs::path& out, double seconds) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  StudioEditorViewModel model;
  QEventLoop loop;
  QObject::connect(&model, &StudioEditorViewModel::changed, &loop, [&] {
    if (!model.isLoading() && loop.isRunning()) loop.quit();
  });
  model.loadVideo(source);
  if (model.isLoading()) loop.exec();
  if (model.errorMessage()) {
    std::fprintf(stderr, "studio load failed: %s\n", model.errorMessage()->c_str());
    return false;
  }
  QObject::disconnect(&model, &StudioEditorViewModel::changed, &loop, nullptr);
  model.splitSegment(seconds * 11 / 24);
  model.splitSegment(seconds * 13 / 24);
  if (model.segments().size() != 3) return false;
  model.toggleSegment(model.segments()[1].id);
  model.setRevealHandler([](const fs::path&) {});
  QObject::connect(&model, &StudioEditorViewModel::exportFinished, &loop, &QEventLoop::quit);
  model.exportVideo(out);
  loop.exec();
  std::error_code ec;
  return fs::exists(out, ec);
}

// libx264 as the export's writer sets it up for a picture of this size on the cores given.
std::vector<std::string> encoderArguments(int width, int height, int cores) {
  std::vector<std::string> args{"-c:v",       "libx264", "-preset", AssetExportSession::kVideoPreset,
                                "-profile:v", "high",    "-g",      "60"};
  if (AssetExportSession::kVideoConstantRateFactor >= 0)
    args.insert(args.end(), {"-crf", std::to_string(AssetExportSession::kVideoConstantRateFactor)});
  if (*AssetExportSession::kVideoTune) args.insert(args.end(), {"-tune", AssetExportSession::kVideoTune});
  const H264Threading threading = h264Threading(width, height, cores);
  args.insert(args.end(), {"-threads", std::to_string(threading.threads)});
  const std::string params = x264Parameters(threading, AssetExportSession::kVideoBFrameAdaptation);
  if (!params.empty()) args.insert(args.end(), {"-x264-params", params});
  args.insert(args.end(), {"-s", std::to_string(width) + "x" + std::to_string(height), "-r", "60", "-pix_fmt",
                           "yuv420p"});
  return args;
}

// Re-encodes `in` with the export's encoder settings (and its sound as AAC, when `withAudio`).
bool runFfmpeg(const fs::path& in, const fs::path& out, bool withAudio, int cores) {
  keepToCores(cores);
  std::vector<std::string> args{"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", in.string()};
  for (auto& a : encoderArguments(1920, 1080, availableCores())) args.push_back(a);
  if (withAudio)
    args.insert(args.end(), {"-c:a", "aac", "-b:a", "128k"});
  else
    args.push_back("-an");
  args.push_back(out.string());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execvp("ffmpeg", argv.data());
  return false;
}

// The frame of one source shown at each time, read forward.
class Follower {
 public:
  explicit Follower(const fs::path& file) : reader_(file) { next_ = reader_.advance(); }
  std::shared_ptr<PixelBuffer> at(const MediaTime& t) {
    while (next_ && (*next_ <= t || !current_)) {
      current_ = reader_.currentFrame().pixelBuffer();
      next_ = reader_.advance();
    }
    return current_;
  }

 private:
  VideoFrameReader reader_;
  std::optional<MediaTime> next_;
  std::shared_ptr<PixelBuffer> current_;
};

// Mean SSIM of two luma planes over 8 x 8 windows four pixels apart.
double lumaSsim(const uint8_t* a, const uint8_t* b, int width, int height) {
  constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  double total = 0;
  int windows = 0;
  for (int y = 0; y + 8 <= height; y += 4)
    for (int x = 0; x + 8 <= width; x += 4) {
      int64_t sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
      for (int j = 0; j < 8; ++j) {
        const uint8_t* pa = a + static_cast<size_t>(y + j) * width + x;
        const uint8_t* pb = b + static_cast<size_t>(y + j) * width + x;
        for (int i = 0; i < 8; ++i) {
          sa += pa[i];
          sb += pb[i];
          saa += pa[i] * pa[i];
          sbb += pb[i] * pb[i];
          sab += pa[i] * pb[i];
        }
      }
      const double ma = sa / 64.0, mb = sb / 64.0;
      const double va = saa / 64.0 - ma * ma, vb = sbb / 64.0 - mb * mb, cov = sab / 64.0 - ma * mb;
      total += (2 * ma * mb + c1) * (2 * cov + c2) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++windows;
    }
  return windows ? total / windows : 1;
}

struct Fidelity {
  double mean = 0, worst = 1;
  int frames = 0;
};

// Draws every `step`-th frame with the compositor, converts it as the writer does, and compares its
// luma with the exported movie's (decoded by ffmpeg, untouched).
Fidelity measureFidelity(const fs::path& source, const fs::path& camera, const fs::path& exported,
                         double seconds, int step) {
  constexpr int W = 1920, H = 1080;
  const Look look;
  const RecordingMetadata metadata = metadataFor(seconds);
  auto settings = std::make_shared<RoundedCameraCompositorSettings>();
  settings->cameraNaturalSize = QSizeF(640, 360);
  settings->originalVideoSize = QSizeF(W, H);
  settings->cameraSettings = look.camera;
  settings->zoomSegments = metadata.zoomSegments;
  settings->cursorPositions = metadata.cursorPositions;
  settings->clickEvents = metadata.cursorClicks;
  settings->cursorOverlaySettings = CursorOverlaySettings::defaultSettings();
  settings->backgroundSettings = look.background;
  settings->backgroundEnabled = true;
  settings->videoPadding = look.padding;
  settings->videoCornerRadius = look.cornerRadius;
  settings->screenShadowOpacity = look.screenShadowOpacity;
  settings->screenShadowRadius = look.screenShadowRadius;
  settings->cameraShadowOpacity = look.cameraShadowOpacity;
  settings->cameraShadowRadius = look.cameraShadowRadius;
  const std::shared_ptr<const RoundedCameraCompositorSettings> frozen = settings;

  RoundedCameraCompositor compositor;
  Follower screen(source), cam(camera);
  auto canvas = PixelBuffer::create(W, H);
  std::vector<uint8_t> reference(static_cast<size_t>(W) * H * 3 / 2), decoded(reference.size());
  const std::string command =
      "ffmpeg -nostdin -v error -i '" + exported.string() + "' -f rawvideo -pix_fmt yuv420p -";
  FILE* pipe = popen(command.c_str(), "r");
  Fidelity result;
  double sum = 0;
  if (!pipe) return result;
  for (int i = 0; std::fread(decoded.data(), 1, decoded.size(), pipe) == decoded.size(); ++i) {
    const MediaTime t(i, 60);
    auto screenFrame = screen.at(t);
    auto cameraFrame = cam.at(t);
    if (i % step) continue;
    compositor.renderFrame(*canvas, frozen, t.seconds(), screenFrame.get(), cameraFrame.get());
    uint8_t* y = reference.data();
    uint8_t* u = y + W * H;
    uint8_t* v = u + W * H / 4;
    convertBgraToYuv420Bt709(canvas->data(), canvas->bytesPerRow(), W, H, y, W, u, W / 2, v, W / 2);
    const double ssim = lumaSsim(reference.data(), decoded.data(), W, H);
    sum += ssim;
    result.worst = std::min(result.worst, ssim);
    ++result.frames;
  }
  pclose(pipe);
  result.mean = result.frames ? sum / result.frames : 0;
  return result;
}

void print(const char* name, const Measure& m, double seconds) {
  std::printf("%-34s wall %7.2f s  cpu %7.2f s  peak %7.1f MiB  speed %5.2fx real time%s\n", name, m.wall,
              m.cpu, m.peakMiB, seconds / m.wall, m.ok ? "" : "  (FAILED)");
}

// The round with the median wall time, failed if any round failed.
Measure median(std::vector<Measure> rounds) {
  const bool ok = std::all_of(rounds.begin(), rounds.end(), [](const Measure& m) { return m.ok; });
  std::sort(rounds.begin(), rounds.end(), [](const Measure& a, const Measure& b) { return a.wall < b.wall; });
  Measure m = rounds[rounds.size() / 2];
  m.ok = ok;
  return m;
}

std::string walls(const std::vector<Measure>& rounds) {
  std::string text;
  for (const Measure& m : rounds) {
    char one[32];
    std::snprintf(one, sizeof one, "%s%.2f", text.empty() ? "" : " / ", m.wall);
    text += one;
  }
  return text;
}

// The recording and its camera, written in a child: the writers' heap, inherited by the measured
// children, would count in their peak memory.
bool writeInput(const fs::path& source, const fs::path& camera, int width, int height, double seconds) {
  const bool ok = inChild([&] {
                    writeRecording(source, width, height, seconds);
                    writeCamera(camera, seconds);
                    return true;
                  }).ok;
  if (!ok) std::fprintf(stderr, "Writing the input failed\n");
  return ok;
}

int runEightK(int argc, char** argv, const fs::path& dir) {
  constexpr double seconds = 0.5;
  const fs::path source = dir / "recording8k.mp4", camera = dir / ".camera.mov";
  std::printf("Writing %.1f s of 7680x4320 at 60 fps with our own writer...\n", seconds);
  if (!writeInput(source, camera, 7680, 4320, seconds)) return 1;
  const Measure m =
      inChild([&] { return runExport(argc, argv, source, camera, dir / "export8k.mp4", seconds, 0); });
  print("edited export 8K (all cores)", m, seconds);
  std::printf("8K peak memory: %.0f MiB (target <= 2048)\n", m.peakMiB);
  return m.ok && m.peakMiB <= 2048 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool shortRun = false, eightK = false;
  for (int i = 1; i < argc; ++i) {
    shortRun |= std::strcmp(argv[i], "--short") == 0;
    eightK |= std::strcmp(argv[i], "--8k") == 0;
  }
  QTemporaryDir folder;
  const fs::path dir = folder.path().toStdString();
  if (eightK) return runEightK(argc, argv, dir);
  const double seconds = shortRun ? 4.0 : 60.0;
  const fs::path source = dir / "recording.mp4", camera = dir / ".camera.mov";
  std::printf("Writing %.0f s of 1920x1080 at 60 fps with our own writer...\n", seconds);
  if (!writeInput(source, camera, 1920, 1080, seconds)) return 1;

  // The export and the re-encode take turns, three rounds each in a full run, so that a busy spell
  // of the machine falls on both alike; each is reported by its median round.
  const fs::path exported = dir / "export.mp4";
  std::error_code ec;
  std::vector<Measure> exportRounds, peerRounds;
  for (int round = 0; round < (shortRun ? 1 : 3); ++round) {
    fs::remove(exported, ec);
    exportRounds.push_back(
        inChild([&] { return runExport(argc, argv, source, camera, exported, seconds, 0); }));
    peerRounds.push_back(inChild([&] { return runFfmpeg(source, dir / "reencode.mp4", true, 0); }));
  }
  const Measure all = median(exportRounds), peer = median(peerRounds);
  const Measure encoder = inChild([&] { return runFfmpeg(exported, dir / "again.mp4", false, 0); });
  const Measure two =
      inChild([&] { return runExport(argc, argv, source, camera, dir / "two.mp4", seconds, 2); });
  const Measure peerTwo = inChild([&] { return runFfmpeg(source, dir / "reencode2.mp4", true, 2); });
  const Measure merged = inChild([&] { return runMergedExport(argc, argv, source, seconds); });
  const Measure studio =
      inChild([&] { return runStudioExport(argc, argv, source, dir / "studio.mov", seconds); });
  const Fidelity fidelity = measureFidelity(source, camera, exported, seconds, shortRun ? 1 : 5);

  const double bytes = static_cast<double>(fs::file_size(exported, ec));
  const double peerBytes = static_cast<double>(fs::file_size(dir / "reencode.mp4", ec));
  std::string settings = std::string("preset ") + AssetExportSession::kVideoPreset;
  if (AssetExportSession::kVideoConstantRateFactor >= 0)
    settings += ", crf " + std::to_string(AssetExportSession::kVideoConstantRateFactor);
  if (*AssetExportSession::kVideoTune) settings += std::string(", tune ") + AssetExportSession::kVideoTune;
  if (AssetExportSession::kVideoBFrameAdaptation >= 0)
    settings += ", b-adapt " + std::to_string(AssetExportSession::kVideoBFrameAdaptation);
  const int64_t frames = std::lround(seconds * 60);
  std::printf("Input: %.0f s of 1080p60; x264 %s; %d cores; video in %d part(s) on all cores, %d on 2\n",
              seconds, settings.c_str(), availableCores(),
              AssetExportSession::videoPartsFor(QSize(1920, 1080), frames, 60, availableCores()),
              AssetExportSession::videoPartsFor(QSize(1920, 1080), frames, 60, 2));
  print("edited export (all cores)", all, seconds);
  print("ffmpeg libx264 re-encode", peer, seconds);
  std::printf("rounds, wall in s: export %s; re-encode %s\n", walls(exportRounds).c_str(),
              walls(peerRounds).c_str());
  print("encoder alone on the export's frames", encoder, seconds);
  print("edited export (2 cores)", two, seconds);
  print("ffmpeg libx264 re-encode (2 cores)", peerTwo, seconds);
  print("merged export, 11/12 kept (all cores)", merged, seconds * 11 / 12);
  print("studio export, 11/12 kept (all cores)", studio, seconds * 11 / 12);
  std::printf("export: %.1f MiB, %.2f Mbit/s (re-encode: %.1f MiB, %.2f Mbit/s)\n", bytes / (1 << 20),
              bytes * 8 / seconds / 1e6, peerBytes / (1 << 20), peerBytes * 8 / seconds / 1e6);
  std::printf("wall ratio export / re-encode: %.2f (target <= 1.20); cpu ratio %.2f\n", all.wall / peer.wall,
              all.cpu / peer.cpu);
  std::printf("wall ratio export / encoder alone on its frames: %.2f\n", all.wall / encoder.wall);
  std::printf("2-core speed: %.2fx real time (target > 1.00); ratio to the 2-core re-encode %.2f\n",
              seconds / two.wall, two.wall / peerTwo.wall);
  std::printf("peak memory: %.0f MiB (target <= 600)\n", all.peakMiB);
  std::printf(
      "SSIM (luma) against the compositor's frames: mean %.4f, worst %.4f over %d frames (target >= "
      "0.98)\n",
      fidelity.mean, fidelity.worst, fidelity.frames);
  return all.ok && peer.ok && encoder.ok && two.ok && peerTwo.ok && merged.ok && studio.ok ? 0 : 1;
}
