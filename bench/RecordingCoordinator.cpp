// Measures the recording path: the zoom renderer's per-frame crop and scale (QPainter against
// libswscale, the two candidates), and a whole display recording through the coordinator against
// ffmpeg's own x11grab with the same encoder settings.
//
//   bench_RecordingCoordinator [--short] [--zoom-only] [--4k]
//
// Each recorder runs in a child process (this program again, with --record-child), so CPU time
// and peak memory are measured the same way for both: the child's own rusage. The stages of the
// path are measured on their own as well (the capture alone, the colour conversion, the writer fed
// as fast as it takes frames), to say which one holds a recording back. With --4k all of it runs
// on a private 3840x2160 X server this program starts and stops.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "BenchSupport.h"
#include "capture/ScreenCaptureEngine.h"
#include "model/RecordingError.h"
#include "overlays/ZoomRenderer.h"
#include "platform/ffmpeg/Bt709Converter.h"
#include "platform/ffmpeg/VideoFrameReader.h"
#include "platform/media/PixelBuffer.h"
#include "platform/qt/Async.h"
#include "platform/qt/MemoryRelease.h"
#include "recording/RecordingContext.h"
#include "recording/RecordingCoordinator.h"
#include "writing/MediaWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::shared_ptr<tk::PixelBuffer> testFrame(int w, int h) {
  auto frame = tk::PixelBuffer::create(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(frame->row(y));
    for (int x = 0; x < w; ++x)
      row[x] = 0xff000000u | ((x * 7) & 0xff) << 16 | ((y * 3) & 0xff) << 8 | ((x ^ y) & 0xff);
  }
  return frame;
}

// The zoom renderer's crop and scale done with libswscale: an integer crop (swscale cannot start
// between pixels) and a context looked up for every crop size, as an animating zoom needs.
struct SwscaleZoom {
  SwsContext* context = nullptr;
  ~SwscaleZoom() { sws_freeContext(context); }
  void render(const tk::PixelBuffer& in, tk::PixelBuffer& out, QRectF crop) {
    int cx = int(crop.x()), cy = int(crop.y()), cw = int(crop.width()), ch = int(crop.height());
    context = sws_getCachedContext(context, cw, ch, AV_PIX_FMT_BGRA, out.width(), out.height(),
                                   AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    const uint8_t* src[4] = {in.data() + size_t(cy) * in.bytesPerRow() + size_t(cx) * 4};
    int srcStride[4] = {in.bytesPerRow()};
    uint8_t* dst[4] = {out.data()};
    int dstStride[4] = {out.bytesPerRow()};
    sws_scale(context, src, srcStride, 0, ch, dst, dstStride);
  }
};

void benchZoom(int frames) {
  const int w = 1920, h = 1080;
  auto input = testFrame(w, h);
  double fakeNow = 1000.0;
  tk::ZoomRenderer renderer([&] { return fakeNow; });
  renderer.setCaptureFrame({double(w), double(h)}, {0, 0});
  renderer.setClickZoom(true);
  renderer.setFollowCursorEnabled(true);

  // Half the frames during the zoom animation (crop size changes every frame), half zoomed.
  auto run = [&](auto&& renderOne) {
    renderer.handleClick({0.3, 0.4});
    if (renderer.snapshot().zoomScaleTarget <= 1.05) renderer.handleClick({0.3, 0.4});
    auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
      fakeNow += i < frames / 2 ? 0.45 / (frames / 2) : 1.0 / 60;
      renderer.update(std::nullopt);
      renderOne(renderer.snapshot());
    }
    return msSince(start) / frames;
  };

  double qpainterMs = run([&](const tk::ZoomRenderer::Snapshot&) { renderer.render(input); });
  // Back to the idle state for the second candidate.
  renderer.handleClick({0.3, 0.4});
  fakeNow += 1.0;
  renderer.update(std::nullopt);
  SwscaleZoom sws;
  auto out = tk::PixelBuffer::create(w, h);
  double swscaleMs = run([&](const tk::ZoomRenderer::Snapshot& snap) {
    QRectF crop = tk::ZoomRenderer::cropRect(snap, w, h);
    if (crop.isEmpty())
      out->copyFrom(*input);
    else
      sws.render(*input, *out, crop);
  });
  std::printf("zoom crop+scale 1920x1080, %d frames: QPainter %.2f ms/frame, libswscale %.2f ms/frame\n",
              frames, qpainterMs, swscaleMs);
}

// Something that changes every frame, so both encoders have real work.
struct Measured {
  long frames = 0;
  double cpuSeconds = 0;
  double peakMegabytes = 0;
};

long countFrames(const QString& file) {
  QProcess probe;
  probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                          "stream=nb_read_packets", "-of", "csv=p=0", file});
  probe.waitForFinished(60000);
  return QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toLong();
}

// The frames of `file` whose picture differs from the one before: a recorder that fills a constant
// rate with copies of its last grab writes every frame without having captured it.
long countChangedFrames(const QString& file) {
  QProcess hashes;
  hashes.start("ffmpeg", {"-v", "error", "-i", file, "-map", "0:v:0", "-f", "framemd5", "-"});
  hashes.waitForFinished(300000);
  long changed = 0;
  QByteArray previous;
  for (const QByteArray& line : hashes.readAllStandardOutput().split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    const QByteArray hash = line.mid(line.lastIndexOf(',') + 1).trimmed();
    if (hash != previous) ++changed;
    previous = hash;
  }
  return changed;
}

// Runs a program to its end and reads its own CPU time and peak resident size.
Measured runMeasured(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  // Keep the moving bars painting while the child records.
  while (wait4(pid, &status, WNOHANG, &usage) == 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    usleep(2000);
  }
  Measured m;
  m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                 usage.ru_stime.tv_usec / 1e6;
  m.peakMegabytes = usage.ru_maxrss / 1024.0;
  return m;
}

// The child: one display recording through the coordinator.
int recordChild(const std::string& folder, double seconds) {
  tk::MemoryRelease::configure();
  tk::RecordingCoordinator coordinator;
  coordinator.setResultOpener([](const std::filesystem::path&, const std::filesystem::path&, bool) {});
  tk::ScreenCaptureEngine content;
  content.refreshAvailableContentBlocking();
  if (!content.availableContent() || content.availableContent()->displays.empty()) return 2;
  auto display = content.availableContent()->displays.front();
  tk::RecordingConfiguration configuration;
  configuration.mode = tk::RecordingMode::screen(display);
  configuration.frameRate = 60;
  configuration.encoder = tk::VideoEncoder::h264;
  configuration.videoQuality = tk::VideoQuality::medium;
  configuration.outputFormat = tk::OutputFormat::mp4;
  configuration.outputDirectory = folder;
  try {
    tk::bench::runBlocking(coordinator.prepareRecording(configuration.mode, configuration));
    tk::bench::runBlocking(coordinator.startRecording());
    tk::bench::runBlocking(tk::sleepFor(std::chrono::milliseconds(int(seconds * 1000))));
    // What reached the writer and what it turned away, for the parent's report.
    std::shared_ptr<tk::RecordingContext> context = coordinator.context();
    std::shared_ptr<tk::MediaWriter> writer = context ? context->writer() : nullptr;
    tk::bench::runBlocking(coordinator.stopRecording());
    if (FILE* stats = std::fopen((folder + "/stats.txt").c_str(), "w")) {
      std::fprintf(stats, "%lld %llu\n", context ? (long long)context->videoFramesReceived() : 0LL,
                   writer ? (unsigned long long)writer->refusedVideoFrames() : 0ULL);
      std::fclose(stats);
    }
  } catch (const std::exception&) {
    std::fprintf(stderr, "recording failed: %s\n", tk::describeException(std::current_exception()).c_str());
    return 1;
  }
  return 0;
}

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

// The capture alone, as the recording runs it (the display at its own size, the cursor drawn): the
// frames it delivered and what they cost.
int captureChild(const std::string& folder, double seconds) {
  tk::ScreenCaptureEngine engine;
  engine.refreshAvailableContentBlocking();
  if (!engine.availableContent() || engine.availableContent()->displays.empty()) return 2;
  const auto display = engine.availableContent()->displays.front();
  tk::RecordingConfiguration configuration;
  const tk::RecordingMode mode = tk::RecordingMode::screen(display);
  engine.setFilter(engine.createFilter(mode, configuration));
  tk::StreamConfiguration stream;
  stream.showsCursor = true;
  stream.minimumFrameInterval = tk::MediaTime(1, 60);
  engine.setConfiguration(stream);
  std::atomic<long> frames{0};
  std::atomic<uint32_t> touched{0};
  engine.setFrameHandler([&](const tk::SampleBuffer& sample) {
    touched += sample.pixelBuffer()->pixel(10, 10);  // the frame is really there
    ++frames;
  });
  const double before = processCpuSeconds();
  engine.startCaptureBlocking();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  engine.stopCaptureBlocking();
  const double cpu = processCpuSeconds() - before;
  if (FILE* stats = std::fopen((folder + "/capture.txt").c_str(), "w")) {
    std::fprintf(stats, "%ld %f\n", frames.load(), cpu);
    std::fclose(stats);
  }
  return 0;
}

// The colour conversion of one frame of the display's size, in milliseconds.
double conversionMilliseconds(int width, int height, int frames) {
  auto input = testFrame(width, height);
  std::vector<uint8_t> y(size_t(width) * height), u(y.size() / 4), v(y.size() / 4);
  auto start = Clock::now();
  for (int i = 0; i < frames; ++i)
    tk::convertBgraToYuv420Bt709(input->data(), input->bytesPerRow(), width, height, y.data(), width,
                                 u.data(), width / 2, v.data(), width / 2);
  return msSince(start) / frames;
}

// What x264 wrote into the stream of `movie` about its threading: "threads=12 sliced_threads=0 ...".
std::string x264Threading(const QString& movie) {
  QFile file(movie);
  if (!file.open(QIODevice::ReadOnly)) return "?";
  const QByteArray bytes = file.read(4 << 20);
  const int at = bytes.indexOf("x264 - core");
  if (at < 0) return "?";
  const QByteArray options = bytes.mid(at, bytes.indexOf('\0', at) - at);
  std::string shown;
  for (const char* key :
       {" threads=", " lookahead_threads=", " sliced_threads=", " bframes=", " rc_lookahead="}) {
    const int k = options.indexOf(key);
    if (k < 0) continue;
    const int end = options.indexOf(' ', k + 1);
    shown += options.mid(k + 1, end < 0 ? -1 : end - k - 1).toStdString() + " ";
  }
  return shown;
}

// Decodes every frame of `movie`, and with `writer` appends each to it: `paced`, each at its own
// time from the first, as a capture delivers them; else as fast as the writer takes them. The
// number of frames.
long replayFrames(const std::string& movie, tk::MediaWriter* writer, bool paced) {
  tk::VideoFrameReader reader{std::filesystem::path(movie)};
  std::optional<tk::MediaTime> first;
  const auto wallStart = Clock::now();
  long frames = 0;
  while (auto frame = reader.nextFrame()) {
    ++frames;
    if (!writer) continue;
    if (!first) {
      first = frame->presentationTime();
      writer->startSession(*first);
    }
    if (paced) {
      const double due = (frame->presentationTime() - *first).seconds() * 1000.0;
      while (msSince(wallStart) < due) usleep(500);
    }
    while (!writer->isReadyForVideo()) usleep(500);
    writer->appendPixelBuffer(frame->pixelBuffer(), frame->presentationTime());
  }
  return frames;
}

// Writes the frames of `movie` into a new file with the settings the coordinator gives its writer;
// the CPU seconds it took and the frames per second it went at.
std::pair<double, double> encodeOnce(const std::string& movie, const std::string& output, bool paced) {
  tk::VideoFrameReader probe{std::filesystem::path(movie)};
  tk::WriterConfiguration configuration;
  configuration.outputURL = output;
  configuration.outputFormat = tk::OutputFormat::mp4;
  tk::VideoSettings video;
  video.width = probe.naturalWidth();
  video.height = probe.naturalHeight();
  video.frameRate = 60;
  video.codec = tk::VideoEncoder::h264;
  video.quality = tk::VideoQuality::medium;
  video.colorSpace = tk::ColorSpaceSettings{};
  configuration.videoSettings = video;
  tk::MediaWriter writer;
  writer.configure(configuration);
  writer.startWriting();
  const double start = processCpuSeconds();
  const auto wallStart = Clock::now();
  const long frames = replayFrames(movie, &writer, paced);
  writer.finishWritingBlocking();
  return {processCpuSeconds() - start, frames / (msSince(wallStart) / 1000.0)};
}

// The child: the encoder alone on the frames of the coordinator's movie. Its CPU time is taken
// with the frames fed at their own pace, less the decoding, measured alone first; then the frames
// are fed as fast as the writer takes them, for its throughput.
int encodeChild(const std::string& movie, const std::string& folder) {
  const double before = processCpuSeconds();
  replayFrames(movie, nullptr, false);
  const double decoding = processCpuSeconds() - before;
  const double encoding = encodeOnce(movie, folder + "/encoder-alone.mp4", true).first - decoding;
  const double framesPerSecond = encodeOnce(movie, folder + "/encoder-fastest.mp4", false).second;
  if (FILE* stats = std::fopen((folder + "/encoder.txt").c_str(), "w")) {
    std::fprintf(stats, "%f %f\n", encoding, framesPerSecond);
    std::fclose(stats);
  }
  return 0;
}

void benchRecording(const char* self, double seconds) {
  QTemporaryDir dir;
  tk::bench::MovingBars bars;
  bars.show();
  QCoreApplication::processEvents();
  const QSize screen = QGuiApplication::primaryScreen()->size();
  int bitRate = int(tk::MediaWriter::standardBitRate(tk::VideoEncoder::h264, tk::VideoQuality::medium,
                                                     screen.width(), screen.height(), 60));

  QString ours = dir.path() + "/ours";
  QDir().mkpath(ours);
  Measured coordinator = runMeasured({self, "--record-child", ours.toStdString(), std::to_string(seconds)});
  QStringList files = QDir(ours).entryList({"*.mp4"});
  if (!files.isEmpty()) coordinator.frames = countFrames(ours + "/" + files.front());
  long long delivered = 0;
  unsigned long long refused = 0;
  if (FILE* stats = std::fopen((ours + "/stats.txt").toLocal8Bit().constData(), "r")) {
    if (std::fscanf(stats, "%lld %llu", &delivered, &refused) != 2) delivered = 0;
    std::fclose(stats);
  }

  // The encoder alone on the same frames, in a child of its own.
  double encoderAlone = -1;
  double writerFramesPerSecond = 0;
  if (!files.isEmpty()) {
    runMeasured({self, "--encode-child", (ours + "/" + files.front()).toStdString(), ours.toStdString()});
    if (FILE* stats = std::fopen((ours + "/encoder.txt").toLocal8Bit().constData(), "r")) {
      if (std::fscanf(stats, "%lf %lf", &encoderAlone, &writerFramesPerSecond) != 2) encoderAlone = -1;
      std::fclose(stats);
    }
  }

  // The stages on their own: the capture alone, and the conversion of one frame.
  QString captureFolder = dir.path() + "/capture";
  QDir().mkpath(captureFolder);
  Measured capture =
      runMeasured({self, "--capture-child", captureFolder.toStdString(), std::to_string(seconds)});
  double captureCpu = 0;
  if (FILE* stats = std::fopen((captureFolder + "/capture.txt").toLocal8Bit().constData(), "r")) {
    if (std::fscanf(stats, "%ld %lf", &capture.frames, &captureCpu) != 2) capture.frames = 0;
    std::fclose(stats);
  }
  const double conversion = conversionMilliseconds(screen.width(), screen.height(), 30);

  QString theirs = dir.path() + "/ffmpeg.mp4";
  Measured ffmpeg = runMeasured({"ffmpeg",
                                 "-y",
                                 "-v",
                                 "error",
                                 "-f",
                                 "x11grab",
                                 "-framerate",
                                 "60",
                                 "-video_size",
                                 std::to_string(screen.width()) + "x" + std::to_string(screen.height()),
                                 "-i",
                                 qEnvironmentVariable("DISPLAY").toStdString(),
                                 "-t",
                                 std::to_string(seconds),
                                 "-c:v",
                                 "libx264",
                                 "-preset",
                                 tk::MediaWriter::encoderPreset(tk::VideoEncoder::h264),
                                 "-g",
                                 "120",
                                 "-profile:v",
                                 "high",
                                 "-b:v",
                                 std::to_string(bitRate),
                                 "-pix_fmt",
                                 "yuv420p",
                                 theirs.toStdString()});
  ffmpeg.frames = countFrames(theirs);
  const long ourPictures = files.isEmpty() ? 0 : countChangedFrames(ours + "/" + files.front());
  const long theirPictures = countChangedFrames(theirs);

  long expected = long(seconds * 60);
  std::printf("display %dx%d at 60 fps for %.0f s, H.264 at %d bit/s (%ld frames expected)\n", screen.width(),
              screen.height(), seconds, bitRate, expected);
  std::printf(
      "  coordinator:     %ld frames, %ld of them changed (%lld captured, %llu refused by the writer), "
      "%.3f CPU s per recorded s, peak %.0f MB\n",
      coordinator.frames, ourPictures, delivered, refused, coordinator.cpuSeconds / seconds,
      coordinator.peakMegabytes);
  std::printf("  ffmpeg x11grab:  %ld frames, %ld of them changed, %.3f CPU s per recorded s, peak %.0f MB\n",
              ffmpeg.frames, theirPictures, ffmpeg.cpuSeconds / seconds, ffmpeg.peakMegabytes);
  if (encoderAlone >= 0) {
    std::printf(
        "  encoder alone on the same frames: %.3f CPU s per recorded s; the writer takes %.0f frames/s "
        "when fed as fast as it accepts\n",
        encoderAlone / seconds, writerFramesPerSecond);
    std::printf("  coordinator beyond the encoder: %.3f CPU s per recorded s (aim: at most 0.15)\n",
                (coordinator.cpuSeconds - encoderAlone) / seconds);
  }
  std::printf("  peak resident while recording: %.0f MB (aim: at most 300 MB at 1080p)\n",
              coordinator.peakMegabytes);
  std::printf(
      "  stages: capture alone %ld frames of %ld, %.2f ms CPU per frame; conversion %.2f ms per frame "
      "(the frame interval is 16.7 ms); the writer, fed as fast as it takes frames, %.0f frames/s; "
      "no frame pump on a display recording\n",
      capture.frames, expected, capture.frames ? captureCpu * 1000 / capture.frames : 0.0, conversion,
      writerFramesPerSecond);
  if (!files.isEmpty())
    std::printf("  x264 as the coordinator runs it: %s\n", x264Threading(ours + "/" + files.front()).c_str());
  std::printf("  x264 as ffmpeg runs it:          %s\n", x264Threading(theirs).c_str());
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) == 3)
    std::printf("  machine load (1, 5, 15 min): %.2f %.2f %.2f on %u cores\n", load[0], load[1], load[2],
                std::thread::hardware_concurrency());
}

// A private X server of the given size, for the 4K runs: started with its own display number,
// stopped (only it) when this goes.
class PrivateDisplay {
 public:
  PrivateDisplay(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 3);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             "-noreset", "+extension", "MIT-SHM", "+extension", "XFIXES", "+extension", "RANDR", "+extension",
             "COMPOSITE", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char number[32] = {};
    size_t got = 0;
    while (got < sizeof number - 1) {
      const ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
      if (n <= 0 || std::strchr(number, '\n')) break;
      got += size_t(n);
    }
    close(fds[0]);
    if (std::isdigit(static_cast<unsigned char>(number[0])))
      name_ = std::string(":").append(number, std::strcspn(number, "\n"));
  }
  ~PrivateDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace

int main(int argc, char** argv) {
  bool shortRun = false, zoomOnly = false, ultraHd = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--short")) shortRun = true;
    if (!std::strcmp(argv[i], "--zoom-only")) zoomOnly = true;
    if (!std::strcmp(argv[i], "--4k")) ultraHd = true;
  }
  std::optional<PrivateDisplay> display;
  if (ultraHd && !zoomOnly) {
    display.emplace(3840, 2160);
    if (display->name().empty()) {
      std::printf("RecordingCoordinator: the private 3840x2160 X server did not start\n");
      return 1;
    }
    setenv("DISPLAY", display->name().c_str(), 1);
  }
  if (argc == 4 && !std::strcmp(argv[1], "--encode-child")) {
    tk::MemoryRelease::configure();
    QCoreApplication app(argc, argv);
    return encodeChild(argv[2], argv[3]);
  }
  if (argc == 4 && !std::strcmp(argv[1], "--capture-child")) {
    QCoreApplication app(argc, argv);
    return captureChild(argv[2], std::atof(argv[3]));
  }
  if (argc == 4 && !std::strcmp(argv[1], "--record-child")) {
    QApplication app(argc, argv);
    return recordChild(argv[2], std::atof(argv[3]));
  }
  if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  if (!ultraHd) benchZoom(shortRun ? 20 : 240);
  if (zoomOnly || !std::getenv("DISPLAY")) return 0;
  benchRecording(argv[0], shortRun ? 2.0 : 10.0);
  return 0;
}
