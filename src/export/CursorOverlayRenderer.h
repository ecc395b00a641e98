#pragma once

#include <QPointF>
#include <optional>
#include <vector>

#include "model/CursorOverlaySettings.h"
#include "model/MetadataEvents.h"

namespace tk {

// The drawn cursor at one instant. Position normalised, y from the top edge.
struct CursorState {
  QPointF position;
  double scale = 1;
  bool isVisible = false;
  QPointF velocity;  // normalised units per second
  double motionBlur = 0;
};

// Turns recorded cursor samples and clicks into a smoothed cursor with motion blur and a click
// animation. Built once and then read-only, except for the smoothed path it computes on its first
// query and keeps. It takes no lock: a caller that shares one instance between threads makes the
// first query before sharing it (warm()) or serialises its queries.
class CursorOverlayRenderer {
 public:
  // Samples and clicks are copied and sorted by time (stable); entries whose time is not a finite
  // number are dropped, since no ordering can place them.
  CursorOverlayRenderer(const CursorOverlaySettings& settings, std::vector<CursorPosition> cursorPositions,
                        std::vector<CursorClick> clickEvents);

  CursorState cursorState(double t) const;
  QPointF velocity(double t) const;
  double motionBlurAmount(QPointF velocity) const;
  double clickScale(double t) const;

  // Builds the smoothed path now, so that later queries only read.
  void warm() const { path(); }

  std::vector<CursorPosition> buildSmoothedPositions(const std::vector<CursorPosition>& positions) const;
  static QPointF interpolatedPosition(const std::vector<CursorPosition>& list, double t);

  const CursorOverlaySettings& settings() const { return settings_; }
  const std::vector<CursorPosition>& cursorPositions() const { return cursorPositions_; }
  const std::vector<CursorClick>& clickEvents() const { return clickEvents_; }
  double timeOffset() const { return timeOffset_; }

 private:
  const std::vector<CursorPosition>& path() const;

  CursorOverlaySettings settings_;
  std::vector<CursorPosition> cursorPositions_;
  std::vector<CursorClick> clickEvents_;
  double timeOffset_ = 0;
  mutable std::optional<std::vector<CursorPosition>> smoothedPositions_;
};

}  // namespace tk
