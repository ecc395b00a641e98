#pragma once

#include <QRectF>
#include <array>
#include <map>
#include <memory>
#include <optional>

#include "export/CompositorZoom.h"
#include "export/CoverageMask.h"
#include "export/CursorOverlayRenderer.h"
#include "export/CursorSprite.h"
#include "export/RoundedCameraCompositorSettings.h"
#include "export/ShadowPlane.h"
#include "platform/composition/VideoCompositing.h"
#include "platform/qt/SerialQueue.h"

namespace tk {

// The export's custom compositor. For each output frame it draws the background, the screen
// (padded, rounded and shadowed when the background is on, else as it comes), zoomed by the zoom
// segments and following the cursor, the cursor arrow and the camera bubble; or, in the vertical
// layout, the camera in a band over the screen. Everything it draws from comes from the settings the
// request's RoundedCameraCompositionInstruction carries (a copy of the shared settings at the time
// the export built it).
//
// Frames render one at a time, in the order they arrive, on the compositor's own thread
// ("com.tavelkombrix.compositor.render"); caches and the cursor renderer are touched only there.
// Layout-only images (background, screen mask and shadow, camera masks) are built once per canvas
// and reused; a frame resamples the screen once and draws the cursor and camera as small sprites.
// The interface functions may be called from any thread.
class RoundedCameraCompositor : public VideoCompositing {
 public:
  static constexpr const char* kRenderQueueLabel = "com.tavelkombrix.compositor.render";
  static constexpr const char* kErrorDomain = "RoundedCameraCompositor";
  static constexpr size_t kMaxCameraMasks = 11;

  RoundedCameraCompositor();
  ~RoundedCameraCompositor() override;

  // For VideoComposition::customVideoCompositor.
  static VideoCompositorFactory factory();

  // Drops every cached image before the next frame (the reset runs on the render thread).
  void renderContextChanged(std::shared_ptr<VideoCompositionRenderContext> context) override;
  void startVideoCompositionRequest(std::shared_ptr<VideoCompositionRequest> request) override;
  // Queued requests still render.
  void cancelAllPendingVideoCompositionRequests() override {}

  // Render thread (or a caller that owns the compositor and renders synchronously, as the
  // benchmark does): composes one frame into `out` (its size is the canvas).
  void renderFrame(PixelBuffer& out, const std::shared_ptr<const RoundedCameraCompositorSettings>& settings,
                   double t, const PixelBuffer* screen, const PixelBuffer* camera);

  // Where the screen picture lies on a W × H canvas (output space, y up) before zoom: padded and
  // fitted when the background is on and there is room, else at its own size, centred.
  static QRectF screenRect(const RoundedCameraCompositorSettings& settings, double W, double H, double sw,
                           double sh, bool* padded = nullptr);
  // The camera bubble's rectangle (output space, y up) and corner radius at time t.
  static QRectF cameraBubbleRect(const RoundedCameraCompositorSettings& settings, double t, double W,
                                 double H, double* cornerRadius = nullptr);

 private:
  struct MaskKey {
    std::array<long long, 7> values;
    auto operator<=>(const MaskKey&) const = default;
  };

  // The bubble at size factor f (1: full size).
  static QRectF bubbleRectAt(const RoundedCameraCompositorSettings& settings, double f, double W, double H,
                             double* cornerRadius);
  void renderCompositionRequest(VideoCompositionRequest& request);
  void resetCompositorCaches();
  void useSettings(const std::shared_ptr<const RoundedCameraCompositorSettings>& settings);
  void ensureBackground(int W, int H);
  void drawScreen(PixelBuffer& out, const PixelBuffer& screen, const ZoomState& zoom, QRectF& shownRect);
  void renderCursorSprite(PixelBuffer& out, double t, const QRectF& pictureRect, const ZoomState& zoom);
  void renderCameraBubble(PixelBuffer& out, const PixelBuffer& camera, double t);
  void renderVerticalStack(PixelBuffer& out, const PixelBuffer& screen, const PixelBuffer& camera, double t);
  const CoverageMask& cachedCameraMask(const QRectF& rasterRect, double radius, int W, int H);
  CursorOverlayRenderer& cursorRenderer();

  SerialQueue renderContextQueue_{kRenderQueueLabel};
  std::shared_ptr<const RoundedCameraCompositorSettings> fallbackSettings_;

  // Render thread only from here on.
  std::shared_ptr<const RoundedCameraCompositorSettings> settings_;
  CompositorZoom::FollowPaths follow_;

  std::shared_ptr<PixelBuffer> cachedBackground_;
  std::optional<BackgroundSettings> cachedBackgroundSettings_;
  bool backgroundBuilt_ = false;

  // The unzoomed padded screen: its mask and shadow, and the background with the shadow laid in.
  struct ScreenLayout {
    QRectF rect;  // output space
    double radius = 0;
    int W = 0, H = 0;
    CoverageMask mask;
    ShadowPlane shadow;
    std::shared_ptr<PixelBuffer> base;
    bool valid = false;
  } screen_;
  CoverageMask frameMask_;  // this frame's screen outline when it differs from the cached one

  std::map<MaskKey, CoverageMask> cachedCameraMask_;
  // Entries of an emptied cache, kept with their storage: a bubble that moves every frame while it
  // shrinks rebuilds its mask without allocating.
  std::vector<std::map<MaskKey, CoverageMask>::node_type> spareCameraMasks_;
  // The camera's shadow at full size and at the zoom's shrink factor, each with the layout it was
  // built for.
  struct CameraShadow {
    ShadowPlane plane;
    std::optional<std::array<double, 6>> key;
  };
  std::array<CameraShadow, 2> cameraShadows_;

  std::unique_ptr<CursorOverlayRenderer> cursorRenderer_;
  CursorSprite cursorSprite_;
};

}  // namespace tk
