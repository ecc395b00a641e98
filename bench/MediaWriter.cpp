// Feeds synthetic 1920x1080 BGRA frames at 60 fps with 48 kHz stereo audio through MediaWriter in
// real time, then the same frames through the ffmpeg command line with the same encoder, preset and
// bit rate, and prints both CPU times, their ratio and the frames the writer refused.
//
// bench_MediaWriter [--short] [--codec h264|h265|prores|all]

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/PixelBuffer.h"
#include "platform/media/SampleBuffer.h"
#include "writing/MediaWriter.h"

namespace {

using namespace tk;

struct Load {
  int width = 1920;
  int height = 1080;
  int frameRate = 60;
  int frames = 600;
};

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// Moving content: a gradient that scrolls sideways and a square that crosses the picture, so the
// encoder sees real motion in every frame.
class FrameSource {
 public:
  explicit FrameSource(const Load& load) : load_(load), pool_(load.width, load.height, 16) {
    base_ = PixelBuffer::create(load.width * 2, load.height);
    for (int y = 0; y < base_->height(); ++y) {
      auto* row = reinterpret_cast<uint32_t*>(base_->row(y));
      for (int x = 0; x < base_->width(); ++x) {
        const int phase = (x + y / 2) % load.width;
        const uint32_t r = static_cast<uint32_t>(127 + 120 * std::sin(phase * 0.01));
        const uint32_t g = static_cast<uint32_t>((y * 255) / load.height);
        const uint32_t b = static_cast<uint32_t>((phase * 255) / load.width);
        row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      }
    }
  }

  std::shared_ptr<PixelBuffer> frame(int index) {
    const double start = threadCpuSeconds();
    auto pixels = pool_.acquire();
    const int shift = (index * 8) % load_.width;
    for (int y = 0; y < load_.height; ++y)
      std::memcpy(pixels->row(y), base_->row(y) + shift * 4, static_cast<size_t>(load_.width) * 4);
    const int size = load_.height / 5;
    const int left = (index * 13) % (load_.width - size);
    const int top = (index * 7) % (load_.height - size);
    for (int y = top; y < top + size; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(pixels->row(y));
      for (int x = left; x < left + size; ++x) row[x] = 0xFFFFFFFFu ^ static_cast<uint32_t>(index * 0x010203);
    }
    generationSeconds_ += threadCpuSeconds() - start;
    return pixels;
  }

  double generationSeconds() const { return generationSeconds_; }

 private:
  Load load_;
  PixelBufferPool pool_;
  std::shared_ptr<PixelBuffer> base_;
  double generationSeconds_ = 0;
};

struct Codec {
  std::string name;
  VideoEncoder encoder = VideoEncoder::h264;
  bool proRes = false;
};

struct OursResult {
  double cpu = 0;
  double wall = 0;
  uint64_t refused = 0;
  uint64_t refusedAudio = 0;
  std::vector<int> refusedAt;
};

WriterConfiguration configurationFor(const Codec& codec, const Load& load,
                                     const std::filesystem::path& path) {
  WriterConfiguration configuration;
  configuration.outputURL = path;
  configuration.outputFormat = codec.proRes ? OutputFormat::mov : OutputFormat::mp4;
  VideoSettings video;
  video.width = load.width;
  video.height = load.height;
  video.frameRate = load.frameRate;
  video.codec = codec.encoder;
  video.quality = VideoQuality::high;
  video.colorSpace = ColorSpaceSettings{};
  video.hasAlphaChannel = codec.proRes;
  if (codec.proRes) video.alphaCodec = AlphaVideoCodec::proRes4444;
  configuration.videoSettings = video;
  return configuration;
}

OursResult runOurs(const Codec& codec, const Load& load, const std::filesystem::path& path) {
  FrameSource source(load);
  const int audioPerFrame = 48000 / load.frameRate;
  auto block = std::make_shared<AudioBlock>();
  block->format = AudioFormat{48000, 2, true};
  block->frameCount = audioPerFrame;
  block->samples.resize(static_cast<size_t>(audioPerFrame) * 2);

  OursResult result;
  const double cpuStart = processCpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  MediaWriter writer;
  writer.configure(configurationFor(codec, load, path));
  writer.startWriting();
  const MediaTime origin = MonotonicClock::now();
  writer.startSession(origin);
  for (int i = 0; i < load.frames; ++i) {
    // Real time: frame i is due i/60 s after the start, as from a capture stream.
    std::this_thread::sleep_until(wallStart + std::chrono::microseconds(1'000'000LL * i / load.frameRate));
    const MediaTime time = origin + MediaTime(i, load.frameRate);
    if (!writer.appendVideoBuffer(SampleBuffer::video(source.frame(i), time))) result.refusedAt.push_back(i);
    for (int s = 0; s < audioPerFrame; ++s) {
      const float value =
          0.2f * static_cast<float>(std::sin(2 * M_PI * 440 * (i * audioPerFrame + s) / 48000.0));
      block->samples[2 * s] = block->samples[2 * s + 1] = value;
    }
    writer.appendMicrophoneAudio(SampleBuffer::audio(std::make_shared<AudioBlock>(*block), time), false,
                                 false);
  }
  writer.finishWritingBlocking();
  result.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  result.cpu = processCpuSeconds() - cpuStart - source.generationSeconds();
  result.refused = writer.refusedVideoFrames();
  result.refusedAudio = writer.refusedAudioBuffers();
  return result;
}

double runFfmpeg(const Codec& codec, const Load& load, const std::filesystem::path& path, double& wall) {
  const std::string size = std::to_string(load.width) + "x" + std::to_string(load.height);
  const double seconds = static_cast<double>(load.frames) / load.frameRate;
  std::vector<std::string> args = {"ffmpeg",
                                   "-hide_banner",
                                   "-loglevel",
                                   "error",
                                   "-nostdin",
                                   "-y",
                                   "-f",
                                   "rawvideo",
                                   "-pix_fmt",
                                   "bgra",
                                   "-s",
                                   size,
                                   "-r",
                                   std::to_string(load.frameRate),
                                   "-i",
                                   "pipe:0",
                                   "-f",
                                   "lavfi",
                                   "-t",
                                   std::to_string(seconds),
                                   "-i",
                                   "sine=frequency=440:sample_rate=48000",
                                   "-map",
                                   "0:v",
                                   "-map",
                                   "1:a",
                                   "-ac",
                                   "2",
                                   "-vf",
                                   "scale=out_color_matrix=bt709:out_range=tv:flags=bilinear",
                                   "-color_primaries",
                                   "bt709",
                                   "-color_trc",
                                   "bt709",
                                   "-colorspace",
                                   "bt709"};
  if (codec.proRes) {
    args.insert(args.end(), {"-c:v", "prores_ks", "-profile:v", "4444", "-pix_fmt", "yuva444p10le"});
  } else {
    const int64_t bitRate = MediaWriter::standardBitRate(codec.encoder, VideoQuality::high, load.width,
                                                         load.height, load.frameRate);
    const bool h265 = codec.encoder == VideoEncoder::h265;
    args.insert(args.end(), {"-c:v", h265 ? "libx265" : "libx264", "-preset",
                             MediaWriter::encoderPreset(codec.encoder), "-profile:v", h265 ? "main" : "high",
                             "-b:v", std::to_string(bitRate), "-pix_fmt", "yuv420p"});
    if (h265) args.insert(args.end(), {"-tag:v", "hvc1", "-x265-params", "log-level=error"});
  }
  args.insert(args.end(), {"-c:a", "aac", "-b:a", "128k", path.string()});

  int input[2];
  if (pipe(input) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(input[0], STDIN_FILENO);
    close(input[0]);
    close(input[1]);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp("ffmpeg", argv.data());
    _exit(127);
  }
  close(input[0]);
  const auto wallStart = std::chrono::steady_clock::now();
  FrameSource source(load);
  for (int i = 0; i < load.frames; ++i) {
    auto pixels = source.frame(i);
    for (int y = 0; y < load.height; ++y) {
      const uint8_t* row = pixels->row(y);
      size_t left = static_cast<size_t>(load.width) * 4;
      while (left > 0) {
        const ssize_t written = write(input[1], row, left);
        if (written <= 0) break;
        row += written;
        left -= static_cast<size_t>(written);
      }
    }
  }
  close(input[1]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  Load load;
  std::string which = "all";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--short") == 0) {
      load = Load{320, 180, 60, 30};
    } else if (std::strcmp(argv[i], "--codec") == 0 && i + 1 < argc) {
      which = argv[++i];
    }
  }
  std::vector<Codec> codecs;
  if (which == "all" || which == "h264") codecs.push_back({"H.264", VideoEncoder::h264, false});
  if (which == "all" || which == "h265") codecs.push_back({"H.265", VideoEncoder::h265, false});
  if (which == "all" || which == "prores") codecs.push_back({"ProRes 4444", VideoEncoder::h264, true});

  QTemporaryDir dir;
  std::printf("%d frames %dx%d at %d fps, 48 kHz stereo AAC, real-time feed\n", load.frames, load.width,
              load.height, load.frameRate);
  bool ok = true;
  for (const Codec& codec : codecs) {
    const std::string extension = codec.name + (codec.proRes ? ".mov" : ".mp4");
    const OursResult ours =
        runOurs(codec, load, dir.filePath(QString::fromStdString("ours-" + extension)).toStdString());
    double theirWall = 0;
    const double theirs = runFfmpeg(
        codec, load, dir.filePath(QString::fromStdString("ffmpeg-" + extension)).toStdString(), theirWall);
    std::printf(
        "%-12s ours CPU %.2f s (wall %.2f s), ffmpeg CPU %.2f s (wall %.2f s, unpaced), ratio %.2f, "
        "refused frames %llu, refused audio %llu\n",
        codec.name.c_str(), ours.cpu, ours.wall, theirs, theirWall, theirs > 0 ? ours.cpu / theirs : 0.0,
        static_cast<unsigned long long>(ours.refused), static_cast<unsigned long long>(ours.refusedAudio));
    if (!ours.refusedAt.empty()) {
      std::printf("             first refused frames:");
      for (size_t i = 0; i < std::min<size_t>(ours.refusedAt.size(), 12); ++i)
        std::printf(" %d", ours.refusedAt[i]);
      std::printf("\n");
    }
    if (theirs < 0) ok = false;
  }
  return ok ? 0 : 1;
}
