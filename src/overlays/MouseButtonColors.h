#pragma once

#include <QColor>
#include <optional>

#include "platform/x11/GlobalMouseMonitor.h"

namespace tk {

// The colours the live overlays draw with, and the rule that colours the pointer by the button
// that is down. Named colours are the desktop palette's system shades, not the pure RGB ones.
struct MouseButtonColors {
  static QColor blue() { return QColor(0, 122, 255); }
  static QColor purple() { return QColor(175, 82, 222); }
  static QColor orange() { return QColor(255, 149, 0); }
  static QColor gray() { return QColor(142, 142, 147); }
  static QColor yellow() { return QColor(255, 204, 0); }

  // Left button blue, right purple, any other button orange; gray without a button.
  static QColor buttonColor(std::optional<MouseEventType> event) {
    if (!event) return gray();
    switch (*event) {
      case MouseEventType::leftMouseDown:
      case MouseEventType::leftMouseDragged:
        return blue();
      case MouseEventType::rightMouseDown:
      case MouseEventType::rightMouseDragged:
        return purple();
      case MouseEventType::otherMouseDown:
      case MouseEventType::otherMouseDragged:
        return orange();
      default:
        return gray();
    }
  }

  // A button is down: a press or a drag.
  static bool isPressed(std::optional<MouseEventType> event) {
    return buttonColor(event) != gray();
  }

  static QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
  }
};

}  // namespace tk
