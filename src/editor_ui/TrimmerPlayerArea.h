#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tk {

class TrimmerPreview;
class VideoTrimmerView;

// The editor's large preview region: while the movie loads a black placeholder with a spinner and
// "Loading video..." (or, when loading failed, the reason); then the preview canvas, the largest
// rectangle of the output's ratio that fits, centred; and over everything, while an export runs,
// the progress card with its "Cancel" button. Re-laid on every change of the view state, the model
// and the size. Main thread only.
class TrimmerPlayerArea : public QWidget {
  Q_OBJECT

 public:
  TrimmerPlayerArea(VideoTrimmerView& trimmer, QWidget* parent = nullptr);

  static constexpr int kMinimumHeight = 200;

  TrimmerPreview& preview() const { return *preview_; }
  QWidget& loadingOverlay() const { return *loading_; }
  QLabel& loadingText() const { return *loadingText_; }
  QWidget& exportProgressOverlay() const { return *exportCard_; }
  QProgressBar& exportProgressBar() const { return *exportBar_; }
  QLabel& exportProgressText() const { return *exportText_; }
  QPushButton& exportCancelButton() const { return *exportCancel_; }

  // The canvas and screen area for the current state and size.
  void relayout();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  VideoTrimmerView& trimmer_;
  QWidget* loading_ = nullptr;
  QLabel* loadingText_ = nullptr;
  QProgressBar* spinner_ = nullptr;
  TrimmerPreview* preview_ = nullptr;
  QWidget* exportCard_ = nullptr;
  QProgressBar* exportBar_ = nullptr;
  QLabel* exportText_ = nullptr;
  QPushButton* exportCancel_ = nullptr;
};

}  // namespace tk
