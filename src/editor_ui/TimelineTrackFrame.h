#pragma once

#include <QString>

class QPainter;
class QWidget;

namespace tk {

// What every zoom and camera track draws under its items: the control background at 30% and the
// track's title, small and secondary, 4 pt in from the leading edge and centred vertically.
// Main thread.
struct TimelineTrackFrame {
  static void paint(QPainter& painter, const QWidget& track, const QString& title);
};

}  // namespace tk
