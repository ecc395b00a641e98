#pragma once

#include "ui/SymbolButton.h"

namespace tk {

// The pickers' close button: the "xmark" symbol, grey, white while the pointer is over it.
// Main thread only.
class CloseButton : public SymbolButton {
  Q_OBJECT
 public:
  explicit CloseButton(QSize size, QWidget* parent = nullptr);

  bool hoveringClose() const { return hovering_; }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool hovering_ = false;
};

}  // namespace tk
