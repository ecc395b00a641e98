#include "ui/Symbols.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>
#include <array>
#include <cmath>
#include <numbers>

namespace tk {

namespace {

// Strokes become filled outlines, so every symbol is painted by one fill.
QPainterPath stroked(const QPainterPath& path, double width, Qt::PenCapStyle cap = Qt::RoundCap) {
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(cap);
  stroker.setJoinStyle(Qt::RoundJoin);
  return stroker.createStroke(path);
}

QPainterPath line(QPointF from, QPointF to) {
  QPainterPath path(from);
  path.lineTo(to);
  return path;
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
  QPainterPath path;
  bool first = true;
  for (const QPointF& p : points) {
    if (first)
      path.moveTo(p);
    else
      path.lineTo(p);
    first = false;
  }
  return path;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

QPainterPath xmarkPath(double inset, double width) {
  QPainterPath cross = stroked(line({inset, inset}, {1 - inset, 1 - inset}), width);
  return cross.united(stroked(line({1 - inset, inset}, {inset, 1 - inset}), width));
}

QPainterPath makeDisplay() {
  QPainterPath screen = stroked(roundedRect({0.06, 0.14, 0.88, 0.58}, 0.07), 0.09);
  QPainterPath stand = stroked(line({0.3, 0.88}, {0.7, 0.88}), 0.09);
  return screen.united(stand).united(stroked(line({0.5, 0.74}, {0.5, 0.86}), 0.08));
}

QPainterPath makeWindow() {
  QPainterPath frame = stroked(roundedRect({0.06, 0.14, 0.88, 0.72}, 0.09), 0.08);
  QPainterPath titleBar;
  titleBar.addRect(QRectF(0.08, 0.16, 0.84, 0.16));
  return frame.united(titleBar);
}

QPainterPath makeViewfinder() {
  const double a = 0.1, b = 0.9, l = 0.26;
  QPainterPath corners;
  corners.addPath(polyline({{a, a + l}, {a, a}, {a + l, a}}));
  corners.addPath(polyline({{b - l, a}, {b, a}, {b, a + l}}));
  corners.addPath(polyline({{b, b - l}, {b, b}, {b - l, b}}));
  corners.addPath(polyline({{a + l, b}, {a, b}, {a, b - l}}));
  return stroked(corners, 0.09);
}

QPainterPath makeVideo() {
  QPainterPath body = roundedRect({0.04, 0.24, 0.64, 0.52}, 0.1);
  QPainterPath lens;
  lens.moveTo(0.72, 0.44);
  lens.lineTo(0.96, 0.28);
  lens.lineTo(0.96, 0.72);
  lens.lineTo(0.72, 0.56);
  lens.closeSubpath();
  return body.united(lens);
}

QPainterPath makeChevronDown() {
  return stroked(polyline({{0.18, 0.34}, {0.5, 0.66}, {0.82, 0.34}}), 0.14);
}

QPainterPath makeMic() {
  QPainterPath capsule = roundedRect({0.34, 0.04, 0.32, 0.56}, 0.16);
  QPainterPath cradle;
  cradle.moveTo(0.2, 0.42);
  cradle.cubicTo(0.2, 0.86, 0.8, 0.86, 0.8, 0.42);
  QPainterPath stand = cradle;
  stand.addPath(line({0.5, 0.76}, {0.5, 0.92}));
  stand.addPath(line({0.34, 0.94}, {0.66, 0.94}));
  return capsule.united(stroked(stand, 0.08));
}

QPainterPath makeSpeaker() {
  QPainterPath body;
  body.moveTo(0.04, 0.36);
  body.lineTo(0.2, 0.36);
  body.lineTo(0.44, 0.14);
  body.lineTo(0.44, 0.86);
  body.lineTo(0.2, 0.64);
  body.lineTo(0.04, 0.64);
  body.closeSubpath();
  QPainterPath waves;
  waves.arcMoveTo(QRectF(0.3, 0.28, 0.36, 0.44), 50);
  waves.arcTo(QRectF(0.3, 0.28, 0.36, 0.44), 50, -100);
  waves.arcMoveTo(QRectF(0.24, 0.12, 0.66, 0.76), 52);
  waves.arcTo(QRectF(0.24, 0.12, 0.66, 0.76), 52, -104);
  return body.united(stroked(waves, 0.08));
}

QPainterPath makeGear() {
  constexpr int teeth = 8;
  constexpr double outer = 0.48, inner = 0.36;
  QPainterPath gear;
  for (int i = 0; i < teeth * 4; ++i) {
    // Each tooth: rise, top, fall, valley, a quarter of the tooth's angle each.
    const double angle = (i - 0.5) * 2 * std::numbers::pi / (teeth * 4);
    const int phase = i % 4;
    const double radius = (phase == 1 || phase == 2) ? outer : inner;
    const QPointF p(0.5 + radius * std::cos(angle), 0.5 + radius * std::sin(angle));
    if (i == 0)
      gear.moveTo(p);
    else
      gear.lineTo(p);
  }
  gear.closeSubpath();
  QPainterPath hole;
  hole.addEllipse(QPointF(0.5, 0.5), 0.14, 0.14);
  return gear.subtracted(hole);
}

QPainterPath makeRecordCircle() {
  QPainterPath ring;
  ring.addEllipse(QPointF(0.5, 0.5), 0.42, 0.42);
  QPainterPath dot;
  dot.addEllipse(QPointF(0.5, 0.5), 0.22, 0.22);
  return stroked(ring, 0.08).united(dot);
}

QPainterPath makeFilm() {
  QPainterPath strip = roundedRect({0.1, 0.06, 0.8, 0.88}, 0.08);
  QPainterPath holes;
  for (int i = 0; i < 4; ++i) {
    const double y = 0.14 + i * 0.2;
    holes.addRect(QRectF(0.16, y, 0.1, 0.1));
    holes.addRect(QRectF(0.74, y, 0.1, 0.1));
  }
  holes.addRect(QRectF(0.34, 0.14, 0.32, 0.3));
  holes.addRect(QRectF(0.34, 0.56, 0.32, 0.3));
  return strip.subtracted(holes);
}

QPainterPath makeCommand() {
  // Four loops joined by the sides of a square in the middle.
  QPainterPath shape;
  const double a = 0.36, b = 0.64, r = 0.14;
  shape.addEllipse(QPointF(a - r, a - r), r, r);
  shape.addEllipse(QPointF(b + r, a - r), r, r);
  shape.addEllipse(QPointF(b + r, b + r), r, r);
  shape.addEllipse(QPointF(a - r, b + r), r, r);
  shape.addPath(polyline({{a, a - r}, {a, b + r}}));
  shape.addPath(polyline({{b, a - r}, {b, b + r}}));
  shape.addPath(polyline({{a - r, a}, {b + r, a}}));
  shape.addPath(polyline({{a - r, b}, {b + r, b}}));
  return stroked(shape, 0.07);
}

QPainterPath makeXmarkCircle() {
  QPainterPath ring;
  ring.addEllipse(QPointF(0.5, 0.5), 0.42, 0.42);
  return stroked(ring, 0.08).united(xmarkPath(0.34, 0.08));
}

QPainterPath build(Symbol symbol) {
  switch (symbol) {
    case Symbol::xmark:
      return xmarkPath(0.16, 0.16);
    case Symbol::display:
      return makeDisplay();
    case Symbol::window:
      return makeWindow();
    case Symbol::viewfinder:
      return makeViewfinder();
    case Symbol::videoFill:
      return makeVideo();
    case Symbol::chevronDown:
      return makeChevronDown();
    case Symbol::micFill:
      return makeMic();
    case Symbol::speakerWave2Fill:
      return makeSpeaker();
    case Symbol::gearshapeFill:
      return makeGear();
    case Symbol::recordCircle:
      return makeRecordCircle();
    case Symbol::film:
      return makeFilm();
    case Symbol::command:
      return makeCommand();
    case Symbol::xmarkCircle:
      return makeXmarkCircle();
  }
  return {};
}

}  // namespace

const QPainterPath& symbolPath(Symbol symbol) {
  static const auto paths = [] {
    std::array<QPainterPath, static_cast<size_t>(Symbol::xmarkCircle) + 1> all;
    for (size_t i = 0; i < all.size(); ++i) all[i] = build(static_cast<Symbol>(i)).simplified();
    return all;
  }();
  return paths[static_cast<size_t>(symbol)];
}

void paintSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color) {
  const double side = std::min(box.width(), box.height());
  if (side <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
  painter.scale(side, side);
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawPath(symbolPath(symbol));
  painter.restore();
}

QIcon symbolIcon(Symbol symbol, const QColor& color, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  paintSymbol(painter, symbol, QRectF(0, 0, size, size), color);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace tk
