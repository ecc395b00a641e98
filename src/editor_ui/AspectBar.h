#pragma once

#include <QWidget>
#include <vector>

class QCheckBox;
class QPushButton;

namespace tk {

class VideoTrimmerView;

// Above the timeline: the output aspect as one segmented choice per ratio, and the vertical-stack
// switch. Both only change the view state (the preview and the next "Export" read it). Main thread
// only.
class AspectBar : public QWidget {
  Q_OBJECT

 public:
  explicit AspectBar(VideoTrimmerView& view, QWidget* parent = nullptr);

  void refresh();

  const std::vector<QPushButton*>& segments() const { return segments_; }
  QCheckBox* verticalStackSwitch() const { return verticalStack_; }

 private:
  VideoTrimmerView& view_;
  std::vector<QPushButton*> segments_;
  QCheckBox* verticalStack_;
};

}  // namespace tk
