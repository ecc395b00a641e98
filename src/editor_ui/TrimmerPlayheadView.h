#pragma once

#include <QWidget>
#include <functional>

namespace tk {

// The red playhead standing over the timeline's tracks: a handle on top of a 2 pt line. The line
// runs down the middle of the 12 pt wide view, so the timeline places the view's centre on the
// current time. Pressing and dragging it scrubs: every press and movement reports the pointer's x in
// the parent's coordinates, and the release ends the scrub. Main thread.
class TrimmerPlayheadView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 12;
  static constexpr int kHandleHeight = 16;

  explicit TrimmerPlayheadView(QWidget* parent = nullptr);

  // The pointer's x in the parent's coordinates, on the press and on every movement.
  std::function<void(double x)> onScrub;
  std::function<void()> onScrubEnd;

  // Stands the line on x (the parent's coordinates).
  void placeLine(double x);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tk
