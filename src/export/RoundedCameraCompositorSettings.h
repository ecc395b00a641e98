#pragma once

#include <QPointF>
#include <QSizeF>
#include <functional>
#include <optional>
#include <vector>

#include "editor/OutputAspectRatio.h"
#include "model/BackgroundSettings.h"
#include "model/CameraShape.h"
#include "model/CursorOverlaySettings.h"
#include "model/MetadataEvents.h"
#include "model/ZoomSegmentList.h"

namespace tk {

// Everything the export compositor draws from besides the source frames. Lengths are for an output
// 1080 units high; the compositor scales them by the frame's height over 1080.
//
// `shared()` is the one process-wide instance the exporters fill before an export; a field an
// export does not write keeps what the previous one left. Exporters run on different threads (the
// main thread, pool threads), so they change it only through update(), which writes their fields and
// takes their own copy under one lock; the export renders from that copy alone (its
// RoundedCameraCompositionInstruction carries it), so two exports at once never mix.
struct RoundedCameraCompositorSettings {
  CameraExportSettings cameraSettings{{0.85, 0.18}, 0.22, 0.66, 0.22, CameraShape::squircle};
  ZoomSegmentList zoomSegments;
  QSizeF cameraNaturalSize{1920, 1080};
  std::vector<CursorPosition> cursorPositions;
  CursorOverlaySettings cursorOverlaySettings = CursorOverlaySettings::defaultSettings();
  std::vector<CursorClick> clickEvents;
  std::optional<BackgroundSettings> backgroundSettings;
  bool backgroundEnabled = false;
  double videoPadding = 120;
  double videoCornerRadius = 28;
  OutputAspectRatio outputAspectRatio = OutputAspectRatio::original;
  QSizeF originalVideoSize{0, 0};
  bool verticalStack = false;
  double screenShadowOpacity = 0.4;
  double screenShadowRadius = 30;
  double screenShadowOffsetY = 10;
  double cameraShadowOpacity = 0.4;
  double cameraShadowRadius = 12;

  // Created with the values above on first use (thread-safe); never reset. Reading or writing it
  // directly is for single-threaded callers (tests); exporters use update() and snapshot().
  static RoundedCameraCompositorSettings& shared();
  // Applies `change` to the shared instance and returns the result, atomically.
  static RoundedCameraCompositorSettings update(
      const std::function<void(RoundedCameraCompositorSettings&)>& change);
  // A copy of the shared instance as it is now.
  static RoundedCameraCompositorSettings snapshot();
};

}  // namespace tk
