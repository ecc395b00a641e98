#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QVariantAnimation>

namespace tk {

// The red round record button; it grows a little while the pointer is over it. Main thread only.
class RecordButton : public QAbstractButton {
  Q_OBJECT
 public:
  static constexpr double kDiameter = 28;
  static constexpr double kHoverScale = 1.08;
  static QColor fillColor() { return QColor::fromRgbF(0.9f, 0.2f, 0.35f); }

  explicit RecordButton(QWidget* parent = nullptr);

  bool hoveringRecord() const { return hovering_; }
  double currentScale() const { return scale_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void setHovering(bool hovering);

  bool hovering_ = false;
  double scale_ = 1.0;
  QVariantAnimation animation_;
};

}  // namespace tk
