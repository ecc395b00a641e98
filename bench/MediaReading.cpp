// Reads a 1080p60 H.264 recording written by our own writer, and the same work done by the ffmpeg
// command line in the same run:
//  - exact seeks (the frame shown at a time): median and worst latency, with the reader open
//    ("warm", as the editor scrubs) and with the file opened for each seek ("cold", as the ffmpeg
//    command line must), against `ffmpeg -ss T -i file -frames:v 1 -f null -`;
//  - decoding throughput to BGRA against `ffmpeg -i file -pix_fmt bgra -f null -`;
//  - playback CPU per second (picture in a 1280x720 window, sound on the default output) against
//    ffplay's for the same file and window (needs a display; skipped without one).
// The recording is written three times: as recordings now are (in fragments of a second, a keyframe
// every second), unfragmented (as they were before), and with a keyframe every 250 frames (the
// encoder's own default), to show what the fragments and the keyframe interval cost.
//
// bench_MediaReading [--short]

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ffmpeg/AssetWriter.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "platform/media/PixelBuffer.h"
#include "platform/player/MediaPlayer.h"
#include "platform/player/PlayerView.h"
#include "writing/MediaWriter.h"

namespace {

using namespace tk;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Stats {
  double median = 0;
  double worst = 0;
};

Stats statsOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.back()};
}

// A desktop-like picture: a still background, a window that moves, and a band of changing detail
// (text scrolling in a terminal, say), so inter frames carry real work.
class DesktopFrames {
 public:
  DesktopFrames(int width, int height) : width_(width), height_(height), pool_(width, height, 8) {
    background_ = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        background_->setPixel(x, y,
                              0xFF000000u | ((x * 255 / width) << 16) | ((y * 255 / height) << 8) | 0x60);
  }

  std::shared_ptr<PixelBuffer> frame(int index) {
    auto pixels = pool_.acquire();
    pixels->copyFrom(*background_);
    const int windowWidth = width_ / 3, windowHeight = height_ / 3;
    const int left = (index * 9) % (width_ - windowWidth);
    const int top = height_ / 4 + static_cast<int>(100 * std::sin(index * 0.05));
    for (int y = top; y < top + windowHeight; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(pixels->row(y));
      for (int x = left; x < left + windowWidth; ++x) row[x] = 0xFFF0F0F0u;
      // Lines of "text" that scroll up one pixel a frame.
      if (((y + index) / 6) % 3 == 0)
        for (int x = left + 20; x < left + windowWidth - 20; ++x)
          row[x] = ((x * 7 + (y + index) * 13) % 11 < 5) ? 0xFF202020u : 0xFFF0F0F0u;
    }
    return pixels;
  }

 private:
  int width_, height_;
  PixelBufferPool pool_;
  std::shared_ptr<PixelBuffer> background_;
};

void writeRecording(const std::filesystem::path& file, double seconds, int keyframeInterval,
                    bool fragmented = false) {
  constexpr int kWidth = 1920, kHeight = 1080, kRate = 60;
  AssetWriter writer(file, ContainerFormat::mp4);
  writer.setFragmented(fragmented);
  VideoInputSettings video;
  video.width = kWidth;
  video.height = kHeight;
  video.frameRate = kRate;
  video.codec = VideoCodecKind::h264;
  video.bitRate =
      MediaWriter::standardBitRate(VideoEncoder::h264, VideoQuality::high, kWidth, kHeight, kRate);
  video.preset = MediaWriter::encoderPreset(VideoEncoder::h264);
  video.keyframeInterval = keyframeInterval;
  writer.addVideoInput(video);
  writer.addAudioInput(AudioInputSettings{});
  writer.start();
  DesktopFrames frames(kWidth, kHeight);
  const int count = static_cast<int>(seconds * kRate);
  const int audioPerFrame = 48000 / kRate;
  for (int i = 0; i < count; ++i) {
    auto block = std::make_shared<AudioBlock>();
    block->format = AudioFormat{48000, 2, true};
    block->frameCount = audioPerFrame;
    block->samples.resize(static_cast<size_t>(audioPerFrame) * 2);
    for (int f = 0; f < audioPerFrame; ++f)
      block->samples[2 * f] = block->samples[2 * f + 1] =
          0.3f * static_cast<float>(std::sin(2 * M_PI * 440 * (i * audioPerFrame + f) / 48000.0));
    while (!writer.isReadyForAudio(0)) std::this_thread::sleep_for(std::chrono::microseconds(200));
    writer.appendAudio(0, block, MediaTime(static_cast<int64_t>(i) * audioPerFrame, 48000));
    auto pixels = frames.frame(i);
    while (!writer.isReadyForVideo()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    writer.appendVideo(pixels, MediaTime(i, kRate));
  }
  writer.finish(MediaTime::fromSeconds(seconds, 48000));
}

// Runs a command; returns its wall time and adds its CPU time to `cpu` when given. -1 on failure.
double runCommand(const std::vector<std::string>& arguments, double* cpu = nullptr) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (child < 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return -1;
  const double wall = since(start);
  if (cpu)
    *cpu += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? wall : -1;
}

std::vector<double> seekTargets(double seconds, int count) {
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> within(0.0, seconds - 0.05);
  std::vector<double> targets;
  for (int i = 0; i < count; ++i) targets.push_back(within(random));
  return targets;
}

struct SeekResult {
  Stats warm, cold;
  double framesPerSeek = 0;
};

SeekResult measureSeeks(const std::filesystem::path& file, const std::vector<double>& targets) {
  SeekResult result;
  std::vector<double> warm, cold;
  VideoFrameReader reader(file);
  uint64_t decoded = 0;
  for (double target : targets) {
    const uint64_t before = reader.decodedFrameCount();
    const auto start = Clock::now();
    auto frame = reader.frameAt(MediaTime::fromSeconds(target, 600'000));
    warm.push_back(since(start));
    decoded += reader.decodedFrameCount() - before;
  }
  for (double target : targets) {
    const auto start = Clock::now();
    VideoFrameReader fresh(file);
    auto frame = fresh.frameAt(MediaTime::fromSeconds(target, 600'000));
    cold.push_back(since(start));
  }
  result.warm = statsOf(warm);
  result.cold = statsOf(cold);
  result.framesPerSeek = static_cast<double>(decoded) / static_cast<double>(targets.size());
  return result;
}

Stats measureFfmpegSeeks(const std::filesystem::path& file, const std::vector<double>& targets) {
  std::vector<double> times;
  for (double target : targets) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.6f", target);
    const double wall = runCommand({"ffmpeg", "-v", "error", "-nostdin", "-accurate_seek", "-ss", seconds,
                                    "-i", file.string(), "-frames:v", "1", "-an", "-f", "null", "-"});
    if (wall >= 0) times.push_back(wall);
  }
  return statsOf(times);
}

// Seconds of CPU per second of playback of our player showing the movie in a window; `shown`
// receives the frames it delivered to the view per second.
double ourPlaybackCpu(const std::filesystem::path& file, double seconds, double* shown) {
  MediaPlayer player;
  int frames = 0;
  QObject::connect(&player, &MediaPlayer::frameChanged, [&] { ++frames; });
  PlayerView view;
  view.resize(1280, 720);
  view.setPlayer(&player);
  view.show();
  player.replaceCurrentItem(file);
  while (player.status() == MediaPlayer::Status::unknown)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  if (player.status() != MediaPlayer::Status::readyToPlay) return -1;
  for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  const double cpuStart = processCpuSeconds();
  player.play();
  QEventLoop loop;
  QTimer::singleShot(std::chrono::milliseconds(static_cast<int>(seconds * 1000)), &loop, &QEventLoop::quit);
  loop.exec();
  const double cpu = processCpuSeconds() - cpuStart;
  const double played = player.currentTime().seconds();
  *shown = played > 0 ? frames / played : 0;
  player.pause();
  return played > 0 ? cpu / played : -1;
}

double ffplayCpu(const std::filesystem::path& file, double seconds) {
  double cpu = 0;
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.3f", seconds);
  const double wall = runCommand(
      {"ffplay", "-v", "error", "-autoexit", "-t", duration, "-x", "1280", "-y", "720", file.string()}, &cpu);
  return wall > 0 ? cpu / seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const double seconds = quick ? 4.0 : 20.0;
  const int seekCount = quick ? 8 : 60;
  QTemporaryDir folder;
  const std::filesystem::path recording = folder.filePath("recording.mp4").toStdString();
  const std::filesystem::path whole = folder.filePath("recording-whole.mp4").toStdString();
  const std::filesystem::path longGop = folder.filePath("recording-250.mp4").toStdString();

  std::printf("Writing %.0f s of 1080p60 H.264 (preset %s) three times...\n", seconds,
              MediaWriter::encoderPreset(VideoEncoder::h264));
  writeRecording(recording, seconds, 0, true);
  writeRecording(whole, seconds, 0);
  writeRecording(longGop, seconds, 250);
  const double size = static_cast<double>(std::filesystem::file_size(recording)) / 1e6;
  const double sizeWhole = static_cast<double>(std::filesystem::file_size(whole)) / 1e6;
  const double sizeLong = static_cast<double>(std::filesystem::file_size(longGop)) / 1e6;
  std::printf(
      "file size, keyframe every 1 s: fragments %.2f MB, whole file %.2f MB; every 250 frames %.2f MB "
      "(%+.1f%%)\n",
      size, sizeWhole, sizeLong, (size / sizeLong - 1) * 100);

  const auto targets = seekTargets(seconds, seekCount);
  const SeekResult ours = measureSeeks(recording, targets);
  const SeekResult oursWhole = measureSeeks(whole, targets);
  const SeekResult oursLong = measureSeeks(longGop, targets);
  const Stats ffmpeg = measureFfmpegSeeks(recording, targets);
  std::printf("exact seek, %d targets (ms)        median   worst  frames decoded per seek\n", seekCount);
  std::printf("  ours warm, fragments, every 1 s %7.1f %7.1f  %.1f\n", ours.warm.median * 1e3,
              ours.warm.worst * 1e3, ours.framesPerSeek);
  std::printf("  ours warm, whole, every 1 s     %7.1f %7.1f  %.1f\n", oursWhole.warm.median * 1e3,
              oursWhole.warm.worst * 1e3, oursWhole.framesPerSeek);
  std::printf("  ours warm, every 250 frames     %7.1f %7.1f  %.1f\n", oursLong.warm.median * 1e3,
              oursLong.warm.worst * 1e3, oursLong.framesPerSeek);
  std::printf("  ours cold (open + seek)         %7.1f %7.1f\n", ours.cold.median * 1e3,
              ours.cold.worst * 1e3);
  std::printf("  ffmpeg -ss T -i f -frames:v 1   %7.1f %7.1f\n", ffmpeg.median * 1e3, ffmpeg.worst * 1e3);
  if (ffmpeg.median > 0)
    std::printf(
        "  ratio ours cold / ffmpeg: median %.2fx, worst %.2fx; target: worst warm seek < 150 ms: %s\n",
        ours.cold.median / ffmpeg.median, ours.cold.worst / ffmpeg.worst,
        ours.warm.worst < 0.150 ? "met" : "MISSED");
  std::printf("  worst warm seek, fragments / whole file before: %.2fx (target <= 1.0x: %s)\n",
              ours.warm.worst / oursWhole.warm.worst,
              ours.warm.worst <= oursWhole.warm.worst ? "met" : "MISSED");

  {
    VideoFrameReader reader(recording);
    const auto start = Clock::now();
    int frames = 0;
    while (reader.nextFrame()) ++frames;
    const double oursFps = frames / since(start);
    const double ffmpegWall = runCommand({"ffmpeg", "-v", "error", "-nostdin", "-i", recording.string(),
                                          "-an", "-pix_fmt", "bgra", "-f", "null", "-"});
    const double ffmpegFps = ffmpegWall > 0 ? frames / ffmpegWall : 0;
    std::printf("decode to BGRA: ours %.0f fps, ffmpeg %.0f fps, ratio %.2fx\n", oursFps, ffmpegFps,
                ffmpegFps > 0 ? oursFps / ffmpegFps : 0);
  }

  if (std::getenv("DISPLAY")) {
    const double playSeconds = quick ? 2.0 : 10.0;
    double shown = 0;
    const double oursCpu = ourPlaybackCpu(recording, playSeconds, &shown);
    const double peerCpu = ffplayCpu(recording, playSeconds);
    std::printf(
        "playback CPU per second of 1080p60 in a 1280x720 window: ours %.3f s, ffplay %.3f s, ratio %.2fx "
        "(target <= 1.0x); ours showed %.1f frames a second\n",
        oursCpu, peerCpu, peerCpu > 0 ? oursCpu / peerCpu : 0, shown);
  } else {
    std::printf("playback CPU: skipped (no display)\n");
  }
  return 0;
}
