#pragma once

#include <QWidget>
#include <optional>

#include "editor_ui/SelectionBinding.h"
#include "editor_ui/TimelineScale.h"

class QVariantAnimation;

namespace tk {

class TrimmerCameraKeyframesTrackView;
class TrimmerMarkerTrackView;
class TrimmerPlayheadView;
class TrimmerSegmentStripView;
class TrimmerTimeRulerView;
class TrimmerZoomSegmentsTrackView;
class VideoTrimmerViewModel;

// The editor's multi-track timeline: the time ruler, then the tracks area holding the cut strip with
// the waveform, at most one zoom track (segments, else keyframes, else recorded zoom events) and the
// camera keyframe track, with the red playhead standing over them. A tap in the tracks area seeks,
// dragging the playhead scrubs, a tap on a cut block toggles it, and the zoom tracks edit and select
// through the model and the editor view's two selections. It owns no document data: it draws the
// model, and every model change it hears of updates its rows.
//
// Every row maps time to x through one TimelineScale of the timeline's width and duration. The
// timeline is 138 pt high and grows when its tracks need more than the 110 pt below the ruler, so
// no track is cut off. Main thread only.
class TrimmerTimelineView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 138;
  static constexpr int kTracksHeight = kHeight - 28;
  static constexpr double kAddedZoomLength = 3.0;
  static constexpr double kAddedZoomLevel = 2.0;

  enum class ZoomTrack { none, segments, keyframes, events };

  TrimmerTimelineView(VideoTrimmerViewModel& viewModel, SelectionBinding selectedZoomKeyframeId,
                      SelectionBinding selectedZoomSegmentId, QWidget* parent = nullptr);
  ~TrimmerTimelineView() override;

  // The movie's duration in seconds: 0 without a player, an item, or a finite duration.
  double duration() const;
  // The tracks area's mapping, for the width the timeline has now.
  TimelineScale scale() const { return {double(width()), duration()}; }
  bool isDragging() const { return isDragging_; }
  // The zoom track a model shows: segments first, then keyframes, then recorded events.
  static ZoomTrack zoomTrackFor(const VideoTrimmerViewModel& viewModel);
  // Adds a 3 s segment at 2x at `time` and selects the latest-starting segment.
  void addZoomSegment(double time);

  // Re-reads the selections from the editor view (the timeline's own taps update themselves).
  void selectionChanged();

  TrimmerTimeRulerView& ruler() const { return *ruler_; }
  TrimmerSegmentStripView& segmentStrip() const { return *strip_; }
  TrimmerPlayheadView& playhead() const { return *playhead_; }
  ZoomTrack shownZoomTrack() const { return zoomTrack_; }
  // The zoom segment track when shown, else null.
  TrimmerZoomSegmentsTrackView* zoomSegmentsTrack() const;
  // The keyframe or event track when shown, else null.
  TrimmerMarkerTrackView* zoomMarkerTrack() const;
  TrimmerCameraKeyframesTrackView* cameraTrack() const { return cameraTrack_; }
  // The rectangle below the ruler that the tracks and playhead share.
  QRect tracksArea() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void refresh();
  void rebuildTracks();
  void relayout();
  void movePlayhead(bool animated);
  void scrub(double x);

  VideoTrimmerViewModel& viewModel_;
  SelectionBinding selectedZoomKeyframeId_;
  SelectionBinding selectedZoomSegmentId_;
  bool isDragging_ = false;

  TrimmerTimeRulerView* ruler_ = nullptr;
  TrimmerSegmentStripView* strip_ = nullptr;
  ZoomTrack zoomTrack_ = ZoomTrack::none;
  QWidget* zoomTrackView_ = nullptr;
  TrimmerCameraKeyframesTrackView* cameraTrack_ = nullptr;
  TrimmerPlayheadView* playhead_ = nullptr;
  QVariantAnimation* playheadAnimation_ = nullptr;
  std::vector<int> dividers_;  // y of each 1 pt line under a track
  std::optional<QPointF> pressPosition_;
};

}  // namespace tk
