#pragma once

// Real pointer input for the editor's end-to-end tests: clicks and taps sent through the X server
// with xdotool, as a person's would be.

#include <QPoint>
#include <QProcess>
#include <QStringList>
#include <QWidget>

#include "editor_ui/TrimmerSegmentStripView.h"

namespace tk::test {

inline bool xdotool(const QStringList& arguments) {
  return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// A click at `at` inside `widget`, or in its middle.
inline bool pointerClick(QWidget& widget, QPoint at) {
  const QPoint global = widget.mapToGlobal(at);
  return xdotool({"mousemove", "--sync", QString::number(global.x()), QString::number(global.y())}) &&
         xdotool({"click", "1"});
}
inline bool pointerClick(QWidget& widget) {
  return pointerClick(widget, widget.rect().center());
}

// A tap in the middle of the segment strip's block `index`; false when the strip shows no such block.
inline bool tapSegment(TrimmerSegmentStripView& strip, size_t index) {
  int first = -1, last = -1;
  for (int x = 0; x < strip.width(); ++x) {
    if (strip.blockAt(x) != index) continue;
    if (first < 0) first = x;
    last = x;
  }
  return first >= 0 && pointerClick(strip, QPoint((first + last) / 2, strip.height() / 2));
}

}  // namespace tk::test
