#pragma once

#include <QLineF>
#include <QPointF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editor/VideoSegment.h"
#include "editor_ui/TimelineScale.h"

class QMenu;
class QProgressBar;

namespace tk {

// The timeline's cut strip: the audio waveform (or a spinner while it is made) under one block per
// cut segment, red where the segment is cut, blue where it is kept. A tap on a block, or its context
// menu's one item, toggles it; a press outside every block is left to the timeline (it seeks).
// Main thread.
class TrimmerSegmentStripView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 64;

  explicit TrimmerSegmentStripView(QWidget* parent = nullptr);
  ~TrimmerSegmentStripView() override;

  // Toggles a segment's cut in the model.
  std::function<void(const VideoSegment& segment)> onToggle;

  void setSegments(std::vector<VideoSegment> segments);
  void setWaveform(std::vector<float> samples, bool generating);
  void setDuration(double duration);

  // The blocks' extents across the strip, in list order: the row starts at the scale's leading end
  // and each block is as wide as its share of the duration.
  static std::vector<std::pair<double, double>> blockExtents(const std::vector<VideoSegment>& segments,
                                                             const TimelineScale& scale);
  // The segment under x, if any.
  std::optional<size_t> blockAt(double x) const;
  // The menu of a block: "Disable Segment (Cut)" for a kept one, "Enable Segment (Keep)" for a cut one.
  std::unique_ptr<QMenu> contextMenu(size_t block);
  const std::vector<QLineF>& waveformBars() const { return bars_; }
  bool showsProgress() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  TimelineScale scale() const;
  void relayout();

  std::vector<VideoSegment> segments_;
  std::vector<float> samples_;
  bool generating_ = false;
  double duration_ = 0;
  std::vector<std::pair<double, double>> blocks_;
  std::vector<QLineF> bars_;
  QProgressBar* progress_ = nullptr;
  std::optional<size_t> pressedBlock_;
  QPointF pressPosition_;
};

}  // namespace tk
