#include "selection/CloseButton.h"

namespace tk {

namespace {
QColor restingColour() {
  return QColor::fromRgbF(0.56f, 0.56f, 0.58f, 0.6f);
}
}  // namespace

CloseButton::CloseButton(QSize size, QWidget* parent) : SymbolButton(Symbol::xmark, 12, size, parent) {
  setSymbolColor(restingColour());
  setToolTip(tr("Close"));
}

void CloseButton::enterEvent(QEnterEvent* event) {
  SymbolButton::enterEvent(event);
  hovering_ = true;
  setSymbolColor(Qt::white);
}

void CloseButton::leaveEvent(QEvent* event) {
  SymbolButton::leaveEvent(event);
  hovering_ = false;
  setSymbolColor(restingColour());
}

}  // namespace tk
