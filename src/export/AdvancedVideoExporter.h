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
// 60 frames per second. A source without sound gives a movie without sound; one without a picture is
// refused (ExportError::invalidAssets). Frames go through RoundedCameraCompositor when a camera, zoom
// segments, the background or a cursor with recorded samples is in play (after the shared compositor settings
// are filled); otherwise the screen is centred on the canvas with the zoom of the keyframes or events baked
// into its layer transforms.
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
};

}  // namespace tk
