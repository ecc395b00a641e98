// Exports a 1080p60 recording (made by our own writer) with a gradient background, padding, rounded
// corners, a shadow, three zoom segments, the smoothed cursor and a camera bubble, and in the same run
// re-encodes the same input with the ffmpeg command line (libx264 at the export's preset and size, AAC).
// Each runs in a child process, so wall time, CPU time and peak memory are its own. The export runs
// twice: on every core (compared with the re-encode) and on two cores (compared with real time).
//
// bench_Export [--short]    (--short: 3 s of input instead of 60 s)

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

#include "export/AdvancedVideoExporter.h"
#include "platform/ffmpeg/AssetExportSession.h"
#include "platform/ffmpeg/AssetWriter.h"
#include "platform/ffmpeg/MediaAsset.h"

namespace {

using namespace tk;
namespace fs = std::filesystem;

struct Measure {
  double wall = 0, cpu = 0, peakMiB = 0;
  bool ok = false;
};

void waitReady(const std::function<bool()>& ready) {
  while (!ready()) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// A desktop-like picture: a light backdrop with panels, and a dark window that drifts across it.
void writeRecording(const fs::path& file, int width, int height, double seconds) {
  AssetWriter writer(file, ContainerFormat::mp4);
  VideoInputSettings video;
  video.width = width;
  video.height = height;
  video.frameRate = 60;
  video.preset = "ultrafast";
  video.bitRate = 12'000'000;
  writer.addVideoInput(video);
  writer.addAudioInput(AudioInputSettings{});
  writer.start();
  auto backdrop = PixelBuffer::create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool panel = (x / 240 + y / 135) % 3 == 0;
      backdrop->setPixel(x, y, panel ? 0xFFD8DCE4 : 0xFFF4F5F7 - ((x * 7 + y * 3) % 16));
    }
  PixelBufferPool pool(width, height, 12);
  const int frames = static_cast<int>(std::lround(seconds * 60));
  const int block = 800;  // 60 fps video, 48 kHz audio: 800 sample frames per video frame
  for (int i = 0; i < frames; ++i) {
    auto frame = pool.acquire();
    frame->copyFrom(*backdrop);
    const int w = width / 3, h = height / 3;
    const int left = static_cast<int>((width - w) * (0.5 + 0.45 * std::sin(i * 0.013)));
    const int top = static_cast<int>((height - h) * (0.5 + 0.45 * std::cos(i * 0.009)));
    for (int y = top; y < top + h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(frame->row(y));
      for (int x = left; x < left + w; ++x) row[x] = 0xFF202838 + ((x + i) % 32 == 0 ? 0x00404040 : 0);
    }
    waitReady([&] { return writer.isReadyForVideo(); });
    writer.appendVideo(frame, MediaTime(i, 60));
    auto audio = std::make_shared<AudioBlock>();
    audio->frameCount = block;
    audio->samples.resize(block * 2);
    for (int s = 0; s < block; ++s)
      audio->samples[s * 2] = audio->samples[s * 2 + 1] =
          0.3f * static_cast<float>(std::sin(2 * M_PI * 440 * (i * block + s) / 48000.0));
    waitReady([&] { return writer.isReadyForAudio(0); });
    writer.appendAudio(0, audio, MediaTime(int64_t(i) * block, 48000));
  }
  writer.finish(MediaTime::fromSeconds(seconds, 600));
}

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

// Runs `work` in a child process; its own wall time, CPU time and peak resident memory.
Measure inChild(const std::function<bool()>& work) {
  const auto start = std::chrono::steady_clock::now();
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) _exit(work() ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  Measure m;
  m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.cpu =
      usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peakMiB = usage.ru_maxrss / 1024.0;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

bool runExport(int argc, char** argv, const fs::path& source, const fs::path& camera, const fs::path& out,
               double seconds, int cores) {
  if (cores > 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0; c < cores; ++c) CPU_SET(c, &set);
    sched_setaffinity(0, sizeof set, &set);
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  BackgroundSettings background;
  background.gradient = gradientSettings(GradientPreset::ocean);
  std::mutex mutex;
  std::condition_variable done;
  std::optional<ExportResult> result;
  AdvancedVideoExporter::exportVideo(
      MediaAsset::load(source), OutputAspectRatio::original, MediaAsset::load(camera), metadataFor(seconds),
      CameraExportSettings{{0.85, 0.18}, 0.22, 0.66, 0.22, CameraShape::squircle}, false,
      CursorOverlaySettings::defaultSettings(), background, true, 120, 28, 0.4, 30, 0.4, 12, out,
      [&](ExportResult r) {
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

bool runFfmpeg(const fs::path& source, const fs::path& out) {
  const std::string in = source.string(), target = out.string();
  execlp("ffmpeg", "ffmpeg", "-nostdin", "-v", "error", "-y", "-i", in.c_str(), "-c:v", "libx264", "-preset",
         AssetExportSession::kVideoPreset, "-s", "1920x1080", "-r", "60", "-pix_fmt", "yuv420p", "-c:a",
         "aac", "-b:a", "128k", target.c_str(), static_cast<char*>(nullptr));
  return false;
}

void print(const char* name, const Measure& m, double seconds) {
  std::printf("%-28s wall %7.2f s  cpu %7.2f s  peak %7.1f MiB  speed %5.2fx real time%s\n", name, m.wall,
              m.cpu, m.peakMiB, seconds / m.wall, m.ok ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv) {
  const bool shortRun = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  const double seconds = shortRun ? 3.0 : 60.0;
  QTemporaryDir folder;
  const fs::path dir = folder.path().toStdString();
  const fs::path source = dir / "recording.mp4", camera = dir / ".camera.mov";
  std::printf("Writing %.0f s of 1920x1080 at 60 fps with our own writer...\n", seconds);
  writeRecording(source, 1920, 1080, seconds);
  writeCamera(camera, seconds);

  const Measure all =
      inChild([&] { return runExport(argc, argv, source, camera, dir / "export.mp4", seconds, 0); });
  const Measure peer = inChild([&] { return runFfmpeg(source, dir / "reencode.mp4"); });
  const Measure two =
      inChild([&] { return runExport(argc, argv, source, camera, dir / "two.mp4", seconds, 2); });

  std::printf("Input: %.0f s of 1080p60; preset %s; %u cores\n", seconds, AssetExportSession::kVideoPreset,
              std::thread::hardware_concurrency());
  print("edited export (all cores)", all, seconds);
  print("ffmpeg libx264 re-encode", peer, seconds);
  print("edited export (2 cores)", two, seconds);
  const double ratio = all.wall / peer.wall;
  std::printf("wall ratio export / re-encode: %.2f (target <= 1.20)\n", ratio);
  std::printf("2-core speed: %.2fx real time (target > 1.00)\n", seconds / two.wall);
  return all.ok && peer.ok && two.ok ? 0 : 1;
}
