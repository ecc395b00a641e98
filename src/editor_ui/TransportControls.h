#pragma once

#include <QWidget>
#include <vector>

#include "editor/VideoSegment.h"

class QLabel;
class QPushButton;

namespace tk {

class TrimmerActions;
class VideoTrimmerView;

// The transport card's two rows: play or pause with the time, and the segment under the playhead
// of the segment count ("Segment k/N"); then Split,
// Export Merged, Add Zoom Segment and the delete button of the zoom selection. Owns the window's
// space (play) and Ctrl+S (split) shortcuts. Redraws on every change of the view state or the
// model. Main thread only.
class TransportControls : public QWidget {
  Q_OBJECT

 public:
  TransportControls(VideoTrimmerView& view, TrimmerActions& actions, QWidget* parent = nullptr);

  void refresh();
  // Index of the cut segment that holds `time` (the last one past the end; 0 without segments).
  static size_t segmentAt(const std::vector<VideoSegment>& segments, double time);

  QPushButton* playButton() const { return play_; }
  QLabel* timeLabel() const { return time_; }
  QLabel* segmentLabel() const { return segment_; }
  QPushButton* splitButton() const { return split_; }
  QPushButton* exportMergedButton() const { return exportMerged_; }
  QPushButton* addZoomSegmentButton() const { return addZoom_; }
  QPushButton* deleteSegmentButton() const { return deleteSegment_; }
  QPushButton* deleteKeyframeButton() const { return deleteKeyframe_; }

 private:
  VideoTrimmerView& view_;
  TrimmerActions& actions_;
  QPushButton* play_;
  QLabel* time_;
  QLabel* segment_;
  QPushButton* split_;
  QPushButton* exportMerged_;
  QPushButton* addZoom_;
  QPushButton* deleteSegment_;
  QPushButton* deleteKeyframe_;
};

}  // namespace tk
