#pragma once

#include <QFrame>
#include <functional>

#include "model/MetadataEvents.h"

class QPushButton;

namespace tk {

class SliderRow;

// The panel for one selected zoom keyframe: time, level, ease in and out, and the centre. It edits
// a working copy and reports every change of it to onUpdate (never on first display); "Delete" asks
// the host to delete. The host shows the live keyframe back with showLive, so a change made
// elsewhere (a drag on the preview or the timeline) is what the next slider move builds on.
// Main thread only.
class ZoomKeyframeEditor : public QFrame {
  Q_OBJECT

 public:
  ZoomKeyframeEditor(const ZoomKeyframe& keyframe, double duration, QWidget* parent = nullptr);

  std::function<void(const ZoomKeyframe&)> onUpdate;
  std::function<void()> onDelete;

  const ZoomKeyframe& working() const { return working_; }
  // Takes in the host's current keyframe and movie length without reporting anything.
  void showLive(const ZoomKeyframe& keyframe, double duration);

  // The "Time" slider's upper end: the duration, or a bit past a keyframe that lies beyond it.
  static double timeUpperBound(double duration, double time) { return std::max(duration, time + 0.01); }

  SliderRow* timeRow() const { return time_; }
  SliderRow* levelRow() const { return level_; }
  SliderRow* easeInRow() const { return easeIn_; }
  SliderRow* easeOutRow() const { return easeOut_; }
  SliderRow* xRow() const { return x_; }
  SliderRow* yRow() const { return y_; }
  QPushButton* deleteButton() const { return delete_; }

 private:
  void store(const ZoomKeyframe& next);
  void display();

  ZoomKeyframe working_;
  double duration_;
  SliderRow* time_;
  SliderRow* level_;
  SliderRow* easeIn_;
  SliderRow* easeOut_;
  SliderRow* x_;
  SliderRow* y_;
  QPushButton* delete_;
};

}  // namespace tk
