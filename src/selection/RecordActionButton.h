#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace tk {

// The pickers' Record button: a red dot and "Record" on a pale red rounded rectangle (grey while
// disabled), grown a little while the pointer is over it and it is enabled. Main thread only.
class RecordActionButton : public QAbstractButton {
  Q_OBJECT
 public:
  static constexpr double kHoverScale = 1.05;

  // `padding` is the space around the label (horizontal, vertical).
  explicit RecordActionButton(QSize padding, QWidget* parent = nullptr);

  bool hoveringRecord() const { return hovering_; }
  double currentScale() const { return scale_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void setHovering(bool hovering);
  double targetScale() const;

  QSize padding_;
  bool hovering_ = false;
  double scale_ = 1.0;
  QVariantAnimation animation_;
};

}  // namespace tk
