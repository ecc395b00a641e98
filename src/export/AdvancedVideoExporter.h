#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "editor/ExportResult.h"
#include "editor/OutputAspectRatio.h"
#include "export/ExportSessionHandle.h"
#include "model/BackgroundSettings.h"
#include "model/CameraShape.h"
#include "model/CursorOverlaySettings.h"
#include "model/RecordingMetadata.h"
#include "platform/composition/MutableComposition.h"
#include "platform/ffmpeg/MediaAsset.h"

namespace tk {

// Turns an edited recording into a new MPEG-4 movie: the source's first video and audio tracks (and
// the camera layer's first video track, when there is one) on the canvas of the output aspect ratio at
// 60 frames per second. A canvas larger than the encoder takes is scaled down with the picture, keeping
// their shape, and the success note says so. A source without sound gives a movie without sound; one without
// a picture is refused (ExportError::invalidAssets). Frames go through RoundedCameraCompositor when a camera,
// zoom segments, the background or a cursor with recorded samples is in play (after the shared compositor
// settings are filled); otherwise the screen is centred on the canvas with the zoom of the keyframes or
// events baked into its layer transforms.
//
// exportVideo returns at once; the export runs on a pool thread, and `completion` is called there,
// exactly once, with the movie or the error (ExportError, or a platform error unchanged). The handle
// it returns (`handle` when given) stops the export, which then ends with ExportError::cancelled and leaves
// no file.
class AdvancedVideoExporter {
 public:
  static std::shared_ptr<ExportSessionHandle> exportVideo(
      MediaAsset sourceAsset, OutputAspectRatio outputAspectRatio, std::optional<MediaAsset> cameraAsset,
      std::optional<RecordingMetadata> metadata, CameraExportSettings cameraSettings, bool verticalStack,
      CursorOverlaySettings cursorOverlaySettings, std::optional<BackgroundSettings> backgroundSettings,
      bool backgroundEnabled, double videoPadding, double videoCornerRadius, double screenShadowOpacity,
      double screenShadowRadius, double cameraShadowOpacity, double cameraShadowRadius,
      std::filesystem::path outputURL, ExportCompletion completion,
      std::shared_ptr<ExportSessionHandle> handle = nullptr);

  // The canvas for a picture of `natural` (finite and positive): the ratio's canvas with each side
  // rounded up to an even number of pixels, as the encoder needs.
  static QSize evenCanvasSize(OutputAspectRatio ratio, QSizeF natural);

  // The largest picture the export's H.264 encoder is given: at most 8192 pixels on a side and, as
  // level 6.2 allows, at most 139,264 blocks of 16 × 16 pixels. Most players open nothing larger.
  static constexpr int kMaxCanvasSide = 8192;
  static constexpr int64_t kMaxCanvasMacroblocks = 139264;
  static bool fitsEncoder(QSize canvas);
  // The fraction of its size (at most 1) a picture of `natural` is exported at, so that its canvas at
  // `ratio` fits the encoder; the picture and the canvas keep their shape.
  static double encoderFitScale(OutputAspectRatio ratio, QSizeF natural);
};

}  // namespace tk
