#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QToolButton;

namespace tk {

class FloatingRecordingPanelController;

// The small always-on-top panel of a running recording: a status dot (red, yellow while paused),
// the elapsed time, a pause/resume button and a stop button; below them, once the take loses
// something (its sound, its metadata), what it lost. It never takes focus, is moved by
// dragging its background, and carries the never-capture marker so recordings leave it out.
// Main thread only; the controller calls refresh() whenever its published fields change.
class FloatingRecordingPanel : public QWidget {
 public:
  static constexpr int kWidth = 220;
  static constexpr int kHeight = 50;

  explicit FloatingRecordingPanel(FloatingRecordingPanelController& controller);
  ~FloatingRecordingPanel() override;

  void refresh();

  QToolButton* pauseButton() const { return pauseButton_; }
  QToolButton* stopButton() const { return stopButton_; }
  QString timeText() const;
  // The line on what the take lost; empty while it loses nothing.
  QString problemText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  class StatusDot;

  FloatingRecordingPanelController& controller_;
  StatusDot* dot_;
  QLabel* time_;
  QLabel* problem_;
  QToolButton* pauseButton_;
  QToolButton* stopButton_;
  QPoint dragOffset_;
};

}  // namespace tk
