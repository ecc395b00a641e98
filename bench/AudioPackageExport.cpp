// Mixed export of an audio package (two 48 kHz stereo AAC tracks, a minute long) through the
// player model, in every export format, against the same mix by the ffmpeg command line
// (`amix` of the two tracks at the same volumes, same encoder and bit rate) in the same run: wall
// time and CPU time of each, and their ratio.
//
// bench_AudioPackageExport [--short]

#include <sys/resource.h>

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/AudioPlayerManager.h"
#include "platform/ffmpeg/AudioFileWriter.h"

namespace {

using namespace tk;
using Clock = std::chrono::steady_clock;

double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A track of speech-like sound: a tone whose pitch and loudness wander, with a little noise.
void writeTrack(const std::filesystem::path& file, double seconds, double pitch) {
  AudioFileWriter writer(file, AudioFileSettings{});
  const int frames = static_cast<int>(seconds * 48000);
  std::vector<float> block(4800 * 2);
  uint32_t noise = 12345;
  double phase = 0;
  for (int done = 0; done < frames; done += 4800) {
    const int n = std::min(4800, frames - done);
    for (int i = 0; i < n; ++i) {
      const double t = (done + i) / 48000.0;
      phase += 2 * M_PI * pitch * (1 + 0.2 * std::sin(2 * M_PI * 0.7 * t)) / 48000;
      noise = noise * 1664525u + 1013904223u;
      const float value =
          static_cast<float>(0.3 * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t)) * std::sin(phase) +
                             0.01 * (static_cast<double>(noise) / 4294967296.0 - 0.5));
      block[2 * i] = block[2 * i + 1] = value;
    }
    writer.write(block.data(), n);
  }
  writer.finish();
}

struct Timing {
  double wall = -1;
  double cpu = -1;
};

Timing ffmpegMix(const std::filesystem::path& package, const std::filesystem::path& out,
                 const std::string& codec, const std::string& options) {
  const std::string command = "ffmpeg -v error -nostdin -y -i '" + (package / "sys.m4a").string() + "' -i '" +
                              (package / "mic.m4a").string() +
                              "' -filter_complex '[0:a]volume=0.8[a];[1:a]volume=0.6[b];[a][b]amix=inputs=2:"
                              "normalize=0:duration=first' -c:a " +
                              codec + " " + options + " '" + out.string() + "'";
  const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return {};
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QTemporaryDir folder;
  const std::filesystem::path dir = folder.path().toStdString();
  const std::filesystem::path package = dir / "Bench.tka";
  std::filesystem::create_directories(package);
  const double seconds = quick ? 5 : 60;
  writeTrack(package / "sys.m4a", seconds, 220);
  writeTrack(package / "mic.m4a", seconds, 330);
  std::printf("audio package export, %.0f s of two AAC tracks, volumes 0.8 and 0.6\n", seconds);
  std::printf("%-6s %10s %10s %12s %12s %8s\n", "format", "ours s", "ours cpu", "ffmpeg s", "ffmpeg cpu",
              "ratio");

  struct Case {
    const char* encoder;
    const char* ffmpegCodec;
    const char* ffmpegOptions;
  };
  for (const Case& c :
       {Case{"aac", "aac", "-b:a 128k -f ipod"}, Case{"alac", "alac", "-f ipod"},
        Case{"flac", "flac", "-strict -2 -f mp4"}, Case{"opus", "libopus", "-b:a 96k -f mp4"}}) {
    AudioPlayerManager manager;
    manager.loadAudioPackage("m4a", package, c.encoder, false);
    manager.setSysVol(0.8f);
    manager.setMicVol(0.6f);
    const std::filesystem::path ours = dir / (std::string("ours-") + c.encoder + ".m4a");
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    try {
      manager.exportMixedAudio(ours);
    } catch (const std::exception& error) {
      std::printf("%-6s failed: %s\n", c.encoder, error.what());
      return 1;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    const Timing peer = ffmpegMix(package, dir / (std::string("ffmpeg-") + c.encoder + ".m4a"), c.ffmpegCodec,
                                  c.ffmpegOptions);
    std::printf("%-6s %10.3f %10.3f %12.3f %12.3f %8.2f\n", c.encoder, wall, cpu, peer.wall, peer.cpu,
                peer.wall > 0 ? wall / peer.wall : 0.0);
  }
  return 0;
}
