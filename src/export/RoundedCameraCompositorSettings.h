#pragma once

#include <QPointF>
#include <QSizeF>
#include <optional>
#include <vector>

#include "editor/OutputAspectRatio.h"
#include "model/BackgroundSettings.h"
#include "model/CameraShape.h"
#include "model/CursorOverlaySettings.h"
#include "model/MetadataEvents.h"

namespace tk {

// Everything the export compositor draws from besides the source frames. Lengths are for an output
// 1080 units high; the compositor scales them by the frame's height over 1080.
//
// `shared()` is the one process-wide instance the exporters fill before an export; a field an
// export does not write keeps what the previous one left. It has no lock: the exporters write it
// on their own thread before the export starts. An export never renders from it directly:
// RoundedCameraCompositionInstruction copies it when the export builds its instruction, so two
// exports, or an export and the next one's writes, never mix.
struct RoundedCameraCompositorSettings {
  CameraExportSettings cameraSettings{{0.85, 0.18}, 0.22, 0.66, 0.22, CameraShape::squircle};
  std::vector<ZoomSegment> zoomSegments;
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

  // Created with the values above on first use (thread-safe); never reset.
  static RoundedCameraCompositorSettings& shared();
};

}  // namespace tk
