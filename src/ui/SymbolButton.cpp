#include "ui/SymbolButton.h"

#include <QPainter>

namespace tk {

SymbolButton::SymbolButton(Symbol symbol, double symbolSize, QSize size, QWidget* parent)
    : QPushButton(parent), symbol_(symbol), symbolSize_(symbolSize), fixedSize_(size) {
  setFlat(true);
  setFixedSize(size);
  setFocusPolicy(Qt::NoFocus);
  setCursor(Qt::PointingHandCursor);
}

void SymbolButton::setSymbolColor(const QColor& color) {
  symbolColor_ = color;
  update();
}

void SymbolButton::setCaption(const QString& caption, double pointSize) {
  caption_ = caption;
  captionPointSize_ = pointSize;
  setAccessibleName(caption);
  update();
}

void SymbolButton::setCaptionColor(const QColor& color) {
  captionColor_ = color;
  update();
}

void SymbolButton::setSymbolBackground(const QColor& color) {
  symbolBackground_ = color;
  update();
}

void SymbolButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor tint = isEnabled() ? symbolColor_ : QColor(128, 128, 128, 70);
  if (caption_.isEmpty()) {
    const QRectF box(QPointF(0, 0), QSizeF(symbolSize_, symbolSize_));
    paintSymbol(painter, symbol_, box.translated(rect().center() - box.center()), tint);
    return;
  }
  // A column: the symbol in its 42 x 34 frame, 4 points of space, the caption.
  QFont font = painter.font();
  // Sizes are in the bar's points, one pixel each, as the symbols are.
  font.setPixelSize(static_cast<int>(captionPointSize_ + 0.5));
  const QFontMetricsF metrics(font);
  const double columnHeight = 34 + 4 + metrics.height();
  const double top = (height() - columnHeight) / 2;
  const QRectF frame((width() - 42) / 2.0, top, 42, 34);
  if (symbolBackground_.alpha() > 0) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(symbolBackground_);
    painter.drawRoundedRect(frame, 6, 6);
  }
  const QRectF symbolBox(frame.center() - QPointF(symbolSize_ / 2, symbolSize_ / 2),
                         QSizeF(symbolSize_, symbolSize_));
  paintSymbol(painter, symbol_, symbolBox, tint);
  painter.setFont(font);
  painter.setPen(isEnabled() ? captionColor_ : QColor(128, 128, 128, 90));
  painter.drawText(QRectF(0, frame.bottom() + 4, width(), metrics.height()), Qt::AlignCenter, caption_);
}

}  // namespace tk
