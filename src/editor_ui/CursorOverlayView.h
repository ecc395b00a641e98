#pragma once

#include <QSizeF>
#include <vector>

#include "export/CursorOverlayRenderer.h"
#include "model/CursorOverlaySettings.h"
#include "model/MetadataEvents.h"

class QPainter;

namespace tk {

// The recorded cursor of a finished recording drawn over its picture at one playback time: an
// arrow at the recorded position, scaled briefly at clicks, with a soft shadow and a blur along
// fast motion. The path itself (interpolation, smoothing, velocity, click scale) comes from the
// CursorOverlayRenderer the export also uses; one process-wide cache keeps the last renderer while
// its inputs stay the same, so drawing every playback frame does not rebuild it. Main thread only.
class CursorOverlayView {
 public:
  CursorOverlayView(double currentTime, QSizeF videoSize, CursorOverlaySettings settings,
                    const std::vector<CursorPosition>& cursorPositions,
                    const std::vector<CursorClick>& clickEvents);

  // Draws into the area (0, 0, size) of the painter's current coordinates (origin top left).
  void draw(QPainter& painter, QSizeF size) const;

  // The renderer drawing would use now (the cached one when the inputs still match).
  const CursorOverlayRenderer& cachedRenderer() const;
  // How many renderers the cache has built in this process.
  static int rendererBuildCount();

 private:
  double currentTime_;
  QSizeF videoSize_;
  CursorOverlaySettings settings_;
  const std::vector<CursorPosition>& cursorPositions_;
  const std::vector<CursorClick>& clickEvents_;
};

}  // namespace tk
