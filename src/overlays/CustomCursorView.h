#pragma once

#include <QImage>
#include <optional>

#include "model/CursorStyle.h"
#include "platform/x11/GlobalMouseMonitor.h"

namespace tk {

// The custom cursor drawn in place of the highlight ring: a coloured circle, an arrow or a
// pointing tab, coloured by the button that is down. When the click-animation flag turns on while
// the cursor is shown it pulses: up to 1.3 times its size in 0.15 s, back in another 0.15 s.
// The view lives as long as the pointer window shows it; times are seconds on one steady clock.
// Main thread.
class CustomCursorView {
 public:
  static constexpr double kPulseHalf = 0.15;
  static constexpr double kPulseScale = 1.3;

  std::optional<MouseEventType> event;
  CursorStyle style = CursorStyle::circle;
  double size = 24;
  bool enableScaleAnimation = true;
  bool showMouse = true;

  // The window's side: twice the cursor's size.
  int side() const;

  bool isAnimating() const { return isAnimating_; }
  // A change to true while shown starts the pulse at `now` (when scale animation is on).
  void setAnimating(bool animating, double now);
  // The pulse's scale at `now` (1.0 outside a pulse).
  double animationScale(double now) const;
  // Whether a redraw at `now` would differ from the resting drawing because of the pulse.
  bool isPulsing(double now) const;

  QImage render(double now) const;

 private:
  void drawCircleCursor(QPainter& painter, QPointF centre) const;
  void drawOutlineCursor(QPainter& painter, QPointF centre) const;

  bool isAnimating_ = false;
  std::optional<double> pulseStart_;

  // Moves redraw the same picture; the blurred glow and shadow are worth keeping between them.
  struct Drawn {
    QColor colour;
    bool pressed;
    CursorStyle style;
    double size;
    bool showMouse;
    double scale;
    bool operator==(const Drawn&) const = default;
  };
  mutable std::optional<Drawn> drawn_;
  mutable QImage picture_;
};

}  // namespace tk
