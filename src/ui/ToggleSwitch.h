#pragma once

#include <QAbstractButton>

namespace tk {

// An on/off switch: a rounded track with a knob that sits right while on. Checkable; `toggled`
// reports each change. Main thread only.
class ToggleSwitch : public QAbstractButton {
  Q_OBJECT
 public:
  explicit ToggleSwitch(QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& position) const override;
};

}  // namespace tk
