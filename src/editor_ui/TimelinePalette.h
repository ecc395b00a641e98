#pragma once

#include <QColor>
#include <QPalette>

namespace tk {

// The named colours the timeline draws with: the desktop's system accents as fixed values, and the
// control background and secondary text taken from the widget's palette so that both colour schemes
// read well. Main thread.
struct TimelinePalette {
  static QColor blue(double opacity = 1) { return withOpacity(QColor(10, 132, 255), opacity); }
  static QColor red(double opacity = 1) { return withOpacity(QColor(255, 59, 48), opacity); }
  static QColor gray(double opacity = 1) { return withOpacity(QColor(142, 142, 147), opacity); }
  static QColor purple(double opacity = 1) { return withOpacity(QColor(175, 82, 222), opacity); }
  static QColor controlBackground(const QPalette& palette, double opacity = 1) {
    return withOpacity(palette.color(QPalette::Base), opacity);
  }
  static QColor secondary(const QPalette& palette, double opacity = 1) {
    QColor text = palette.color(QPalette::WindowText);
    return withOpacity(text, 0.55 * opacity);
  }
  static QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
  }
};

}  // namespace tk
