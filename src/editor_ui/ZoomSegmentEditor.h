#pragma once

#include <QFrame>
#include <functional>

#include "model/MetadataEvents.h"

class QLabel;
class QPushButton;
class QWidget;

namespace tk {

class SliderRow;

// The compact panel for one selected zoom segment: its span, zoom level and ease in on one row, and
// behind a disclosure button its start, end, ease out, pan smoothing and dead zone. It edits a
// working copy, reports every change to onUpdate (never on first display) and asks the host to move
// the player where the change shows (onSeekToSegment); on first display it asks for the middle.
// The host shows the live segment back with showLive, so a drag elsewhere is kept by the next slider
// move. Main thread only.
class ZoomSegmentEditor : public QFrame {
  Q_OBJECT

 public:
  // The first seek is asked for on the next turn of the event loop, once the host has connected.
  ZoomSegmentEditor(const ZoomSegment& segment, double videoDuration, QWidget* parent = nullptr);

  std::function<void(const ZoomSegment&)> onUpdate;
  std::function<void()> onDelete;
  std::function<void()> onClose;
  std::function<void(double)> onSeekToSegment;

  const ZoomSegment& working() const { return working_; }
  bool showAdvanced() const { return showAdvanced_; }
  void toggleAdvanced();
  void showLive(const ZoomSegment& segment, double videoDuration);

  // The two time setters' rules: the segment stays at least half a second long.
  static double clampedStart(double value, double endTime) {
    return std::max(0.0, std::min(value, endTime - 0.5));
  }
  static double clampedEnd(double value, double startTime, double videoDuration) {
    return std::max(startTime + 0.5, std::min(value, videoDuration));
  }

  QLabel* timeText() const { return timeText_; }
  SliderRow* zoomRow() const { return zoom_; }
  SliderRow* easeRow() const { return ease_; }
  SliderRow* startRow() const { return start_; }
  SliderRow* endRow() const { return end_; }
  SliderRow* easeOutRow() const { return easeOut_; }
  SliderRow* smoothRow() const { return smooth_; }
  SliderRow* deadRow() const { return dead_; }
  QWidget* advancedRow() const { return advanced_; }
  QPushButton* closeButton() const { return close_; }
  QPushButton* disclosureButton() const { return disclosure_; }
  QPushButton* deleteButton() const { return delete_; }

 private:
  void store(const ZoomSegment& next);
  void seek(double time);
  void display();

  ZoomSegment working_;
  double videoDuration_;
  bool showAdvanced_ = false;
  QLabel* timeText_;
  SliderRow* zoom_;
  SliderRow* ease_;
  SliderRow* start_;
  SliderRow* end_;
  SliderRow* easeOut_;
  SliderRow* smooth_;
  SliderRow* dead_;
  QWidget* advanced_;
  QPushButton* close_;
  QPushButton* disclosure_;
  QPushButton* delete_;
};

}  // namespace tk
