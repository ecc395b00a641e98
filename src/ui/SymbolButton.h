#pragma once

#include <QColor>
#include <QPushButton>

#include "ui/Symbols.h"

namespace tk {

// A plain button showing one of our symbols in a colour, optionally over a caption (the mode
// buttons of the main window). With a menu it opens the menu when pressed. Main thread only.
class SymbolButton : public QPushButton {
  Q_OBJECT
 public:
  SymbolButton(Symbol symbol, double symbolSize, QSize size, QWidget* parent = nullptr);

  Symbol symbol() const { return symbol_; }
  QColor symbolColor() const { return symbolColor_; }
  void setSymbolColor(const QColor& color);

  // The caption under the symbol, in its own colour; the symbol then sits in a 42 x 34 frame.
  void setCaption(const QString& caption, double pointSize);
  void setCaptionColor(const QColor& color);
  // A filled rounded rectangle behind the symbol (the selected mode).
  void setSymbolBackground(const QColor& color);

  QSize sizeHint() const override { return fixedSize_; }
  QSize minimumSizeHint() const override { return fixedSize_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Symbol symbol_;
  double symbolSize_;
  QSize fixedSize_;
  QColor symbolColor_{Qt::gray};
  QString caption_;
  double captionPointSize_ = 10;
  QColor captionColor_{Qt::gray};
  QColor symbolBackground_{Qt::transparent};
};

}  // namespace tk
