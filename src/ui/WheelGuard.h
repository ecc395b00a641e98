#pragma once

#include <QObject>

class QWidget;

namespace tk {

// Keeps a control from taking wheel turns meant for the page around it: a slider or pop-up under
// the pointer of a scrolling page would otherwise change (and store) its value. The control takes
// wheel turns once it has the focus; until then the page scrolls. Main thread only.
class WheelGuard : public QObject {
  Q_OBJECT
 public:
  static void install(QWidget* control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using QObject::QObject;
};

}  // namespace tk
