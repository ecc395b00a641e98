// Times the export compositor on one thread: 600 frames at 1920x1080 of the common layout (gradient
// background, padding, rounded corners, shadow, cursor, camera bubble) and of a zoom ramp. In the
// same run, ffmpeg's filter graph does gradient background + scaled screen with a rounded alpha mask
// + a pre-blurred shadow overlay on the same test pictures, and its frames per CPU-second are
// printed beside ours. Also compares three ways to resample the screen (QPainter, libswscale and
// the compositor's own bilinear loop).
//
// bench_Compositor [--short]

extern "C" {
#include <libswscale/swscale.h>
}

#include <sys/resource.h>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "export/CoverageMask.h"
#include "export/PixelCompositing.h"
#include "export/RoundedCameraCompositor.h"

namespace {

using namespace tk;

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double processCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double childCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Frames of ffmpeg's testsrc2 pattern as BGRA; a drawn pattern when ffmpeg cannot be run.
std::vector<std::shared_ptr<PixelBuffer>> testPictures(int width, int height, int count) {
  std::vector<std::shared_ptr<PixelBuffer>> frames;
  const std::string command =
      "ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=s=" + std::to_string(width) + "x" +
      std::to_string(height) + ":r=60 -frames:v " + std::to_string(count) + " -pix_fmt bgra -f rawvideo -";
  if (FILE* pipe = popen(command.c_str(), "r")) {
    for (int i = 0; i < count; ++i) {
      auto frame = PixelBuffer::create(width, height);
      bool complete = true;
      for (int y = 0; y < height && complete; ++y)
        complete =
            std::fread(frame->row(y), 4, static_cast<size_t>(width), pipe) == static_cast<size_t>(width);
      if (!complete) break;
      frames.push_back(frame);
    }
    pclose(pipe);
  }
  while (static_cast<int>(frames.size()) < count) {
    auto frame = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        frame->setPixel(x, y,
                        0xff000000u |
                            static_cast<uint32_t>((x + static_cast<int>(frames.size()) * 7) & 255) << 16 |
                            static_cast<uint32_t>(y & 255) << 8 | static_cast<uint32_t>((x ^ y) & 255));
    frames.push_back(frame);
  }
  return frames;
}

RoundedCameraCompositorSettings commonLayout() {
  RoundedCameraCompositorSettings s;
  s.backgroundEnabled = true;
  BackgroundSettings background;
  background.type = StudioBackgroundType::gradient;
  background.gradient =
      GradientSettings{{{0.1, 0.1, 0.15, 1}, {0.2, 0.15, 0.3, 1}}, 45, GradientPreset::purple};
  s.backgroundSettings = background;
  s.cameraNaturalSize = {1280, 720};
  // A cursor that keeps moving (so motion blur is on) and clicks now and then.
  for (int i = 0; i < 60 * 40; ++i) {
    const double t = i / 60.0;
    s.cursorPositions.push_back(
        {newRecordId(), t, {0.5 + 0.35 * std::sin(t * 1.7), 0.5 + 0.3 * std::cos(t * 1.1)}});
    if (i % 45 == 0) s.clickEvents.push_back({newRecordId(), t, {0.5, 0.5}, ClickType::leftClick});
  }
  return s;
}

struct Run {
  double fps;     // frames per wall second
  double perCpu;  // frames per CPU-second
};

Run composeFrames(RoundedCameraCompositor& compositor,
                  const std::shared_ptr<const RoundedCameraCompositorSettings>& s,
                  const std::vector<std::shared_ptr<PixelBuffer>>& screens,
                  const std::vector<std::shared_ptr<PixelBuffer>>& cameras, double t0, int count) {
  VideoCompositionRenderContext context(QSize(1920, 1080), MediaTime(1, 60));
  auto out = context.newPixelBuffer();
  compositor.renderFrame(*out, s, t0, screens[0].get(), cameras[0].get());  // caches built outside the timing
  const double wall = now(), cpu = threadCpuSeconds();
  for (int i = 0; i < count; ++i)
    compositor.renderFrame(*out, s, t0 + i / 60.0, screens[i % screens.size()].get(),
                           cameras[i % cameras.size()].get());
  const double wallTime = now() - wall, cpuTime = threadCpuSeconds() - cpu;
  return {count / wallTime, count / cpuTime};
}

std::optional<Run> ffmpegGraph(int count) {
  QTemporaryDir dir;
  const std::string d = dir.path().toStdString();
  const std::string quiet = "ffmpeg -hide_banner -loglevel error -y ";
  const std::string setup =
      quiet +
      "-f lavfi -i \"color=c=white:s=1494x840,format=gray\" -vf "
      "\"geq=lum='if(gt(abs(X-W/2),W/2-28)*gt(abs(Y-H/2),H/2-28),if(lte(hypot(abs(X-W/2)-(W/2-28),abs(Y-H/"
      "2)-(H/2-28)),28),255,0),255)'\" -frames:v 1 " +
      d + "/mask.png && " + quiet +
      "-f lavfi -i \"color=c=black:s=1920x1080,format=gray\" -vf "
      "\"geq=lum='if(between(X,213,1707)*between(Y,130,970),102,0)',gblur=sigma=15\" -frames:v 1 " +
      d + "/alpha.png && " + quiet + "-f lavfi -i color=c=black:s=1920x1080 -i " + d +
      "/alpha.png -filter_complex \"[0:v]format=rgba[b];[1:v]format=gray[a];[b][a]alphamerge\" -frames:v 1 " +
      d + "/shadow.png";
  if (std::system(setup.c_str()) != 0) return std::nullopt;
  const std::string graph =
      quiet +
      "-f lavfi -i "
      "\"gradients=s=1920x1080:c0=0x1a1a26:c1=0x332640:x0=0:y0=1080:x1=1920:y1=0:speed=0.00001:r=60\" " +
      "-f lavfi -i \"testsrc2=s=1920x1080:r=60\" -i " + d + "/mask.png -i " + d +
      "/shadow.png -filter_complex \"" + "[2:v]format=gray,loop=loop=-1:size=1:start=0,setpts=N/60/TB[m];" +
      "[3:v]format=rgba,loop=loop=-1:size=1:start=0,setpts=N/60/TB[sh];" +
      "[1:v]scale=1494:840:flags=bilinear,format=rgba[s];[s][m]alphamerge[sm];[0:v]format=rgba[bg];" +
      "[bg][sh]overlay=0:0:format=rgb:shortest=1[b2];[b2][sm]overlay=213:120:format=rgb:shortest=1,format="
      "bgra\" " +
      "-frames:v " + std::to_string(count) + " -f null -";
  const double wall = now(), cpu = childCpuSeconds();
  if (std::system(graph.c_str()) != 0) return std::nullopt;
  return Run{count / (now() - wall), count / (childCpuSeconds() - cpu)};
}

// Milliseconds per resample of a 1920x1080 picture to 1494x840.
void compareResamplers(const PixelBuffer& source, int reps) {
  const int dw = 1494, dh = 840;
  auto timeIt = [&](auto&& body) {
    body();
    // Process CPU time: Qt may spread a scaled draw over its own worker threads.
    const double start = processCpuSeconds();
    for (int i = 0; i < reps; ++i) body();
    return (processCpuSeconds() - start) * 1000 / reps;
  };
  QImage target(dw, dh, QImage::Format_ARGB32_Premultiplied);
  const QImage wrapped(source.data(), source.width(), source.height(), source.bytesPerRow(),
                       QImage::Format_ARGB32_Premultiplied);
  const double qpainter = timeIt([&] {
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, dw, dh), wrapped);
  });
  auto scaled = PixelBuffer::create(dw, dh);
  SwsContext* sws = sws_getContext(source.width(), source.height(), AV_PIX_FMT_BGRA, dw, dh, AV_PIX_FMT_BGRA,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
  const double swscale = timeIt([&] {
    const uint8_t* in[4] = {source.data(), nullptr, nullptr, nullptr};
    const int inStride[4] = {source.bytesPerRow(), 0, 0, 0};
    uint8_t* out[4] = {scaled->data(), nullptr, nullptr, nullptr};
    const int outStride[4] = {scaled->bytesPerRow(), 0, 0, 0};
    sws_scale(sws, in, inStride, 0, source.height(), out, outStride);
  });
  sws_freeContext(sws);
  CoverageMask rect;
  rect.build(QRectF(0, 0, dw, dh), 0, QRectF(0, 0, dw, dh), dw, dh);
  const double own = timeIt([&] {
    PixelCompositing::drawImage(*scaled, source, {0, 0, dw / 1920.0, dh / 1080.0}, rect);
  });
  std::printf(
      "screen resample 1920x1080 -> 1494x840: QPainter %.2f ms, libswscale %.2f ms, own bilinear %.2f ms\n",
      qpainter, swscale, own);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const bool isShort = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  const int count = isShort ? 30 : 600;
  const auto screens = testPictures(1920, 1080, isShort ? 2 : 10);
  const auto cameras = testPictures(1280, 720, 2);

  compareResamplers(*screens[0], isShort ? 3 : 30);

  auto common = std::make_shared<RoundedCameraCompositorSettings>(commonLayout());
  RoundedCameraCompositor compositor;
  const Run plain = composeFrames(compositor, common, screens, cameras, 0.5, count);

  auto ramp = std::make_shared<RoundedCameraCompositorSettings>(commonLayout());
  ZoomSegment zoom;
  zoom.startTime = 12;
  zoom.endTime = 14;
  zoom.easeIn = 10.5;  // frames at 1.5 s to 11.5 s are all on the ramp
  zoom.easeOut = 1;
  zoom.zoomLevel = 2;
  ramp->zoomSegments = {zoom};
  RoundedCameraCompositor zooming;
  const Run zoomed = composeFrames(zooming, ramp, screens, cameras, 1.5, count);

  std::printf("compositor, one thread, %d frames 1920x1080:\n", count);
  std::printf("  common layout: %.1f fps (%.1f per CPU-second; target >= 60)\n", plain.fps, plain.perCpu);
  std::printf("  zoom ramp:     %.1f fps (%.1f per CPU-second; target >= 40)\n", zoomed.fps, zoomed.perCpu);
  if (const auto peer = ffmpegGraph(count)) {
    std::printf(
        "ffmpeg filter graph (gradient + scaled screen with rounded alpha mask + pre-blurred shadow): "
        "%.1f fps, %.1f per CPU-second\n",
        peer->fps, peer->perCpu);
    std::printf("ratio per CPU-second: common layout %.1fx ffmpeg, zoom ramp %.1fx ffmpeg\n",
                plain.perCpu / peer->perCpu, zoomed.perCpu / peer->perCpu);
  } else {
    std::printf("ffmpeg filter graph: could not be run\n");
  }
  return plain.perCpu > 0 ? 0 : 1;
}
