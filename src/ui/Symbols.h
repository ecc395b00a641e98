#pragma once

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace tk {

// The application's symbols, drawn from our own vector paths so that they look the same on every
// desktop and icon theme. Each path lives in a unit square (0..1, y down) and is filled whole.
enum class Symbol {
  xmark,
  display,     // a monitor on its stand
  window,      // an application window with its title bar
  viewfinder,  // four corner brackets around an area
  videoFill,   // a camera
  chevronDown,
  micFill,
  speakerWave2Fill,
  gearshapeFill,
  recordCircle,
  film,
  command,
  xmarkCircle,
};

// The symbol's outline in the unit square.
const QPainterPath& symbolPath(Symbol symbol);

// Fills the symbol into `box` (kept square, centred), in `color`.
void paintSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color);

// The symbol as an icon of `size` pixels, for list entries and menus.
QIcon symbolIcon(Symbol symbol, const QColor& color, int size = 32);

}  // namespace tk
