#include "editor_ui/TrimmerTimelineView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

#include "editor/VideoTrimmerViewModel.h"
#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TrimmerCameraKeyframesTrackView.h"
#include "editor_ui/TrimmerPlayheadView.h"
#include "editor_ui/TrimmerSegmentStripView.h"
#include "editor_ui/TrimmerTimeRulerView.h"
#include "editor_ui/TrimmerZoomEventsTrackView.h"
#include "editor_ui/TrimmerZoomKeyframesTrackView.h"
#include "editor_ui/TrimmerZoomSegmentsTrackView.h"

namespace tk {

namespace {

constexpr int kDivider = 1;
constexpr double kCornerRadius = 6;
constexpr int kPlayheadAnimationMs = 33;

bool hasCameraTrack(const VideoTrimmerViewModel& model) {
  return model.metadata() && !model.metadata()->cameraPositions.empty();
}

}  // namespace

TrimmerTimelineView::TrimmerTimelineView(VideoTrimmerViewModel& viewModel,
                                         SelectionBinding selectedZoomKeyframeId,
                                         SelectionBinding selectedZoomSegmentId, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      selectedZoomKeyframeId_(std::move(selectedZoomKeyframeId)),
      selectedZoomSegmentId_(std::move(selectedZoomSegmentId)) {
  setObjectName(QStringLiteral("timeline"));
  setFixedHeight(kHeight);
  ruler_ = new TrimmerTimeRulerView(this);
  strip_ = new TrimmerSegmentStripView(this);
  strip_->onToggle = [this](const VideoSegment& segment) { viewModel_.toggleSegmentDeletion(segment.id); };
  playhead_ = new TrimmerPlayheadView(this);
  playhead_->onScrub = [this](double x) { scrub(x); };
  playhead_->onScrubEnd = [this] { isDragging_ = false; };
  playheadAnimation_ = new QVariantAnimation(this);
  playheadAnimation_->setDuration(kPlayheadAnimationMs);
  playheadAnimation_->setEasingCurve(QEasingCurve::Linear);
  connect(playheadAnimation_, &QVariantAnimation::valueChanged, this,
          [this](const QVariant& x) { playhead_->placeLine(x.toDouble()); });

  for (auto signal :
       {&VideoTrimmerViewModel::segmentsChanged, &VideoTrimmerViewModel::waveformSamplesChanged,
        &VideoTrimmerViewModel::isGeneratingWaveformChanged, &VideoTrimmerViewModel::zoomSegmentsChanged,
        &VideoTrimmerViewModel::zoomKeyframesChanged, &VideoTrimmerViewModel::metadataChanged,
        &VideoTrimmerViewModel::isLoadingChanged})
    connect(&viewModel_, signal, this, &TrimmerTimelineView::refresh);
  connect(&viewModel_, &VideoTrimmerViewModel::currentTimeChanged, this, [this] {
    ruler_->setValues(duration(), viewModel_.currentTime(), 1.0);
    if (auto* events = qobject_cast<TrimmerMarkerTrackView*>(zoomTrackView_))
      events->setCurrentTime(viewModel_.currentTime());
    if (cameraTrack_) cameraTrack_->setCurrentTime(viewModel_.currentTime());
    movePlayhead(!isDragging_);
  });
  // The duration becomes known when the player's item is ready.
  if (MediaPlayer* player = viewModel_.player())
    connect(player, &MediaPlayer::statusChanged, this, &TrimmerTimelineView::refresh);
  refresh();
}

TrimmerTimelineView::~TrimmerTimelineView() = default;

double TrimmerTimelineView::duration() const {
  MediaPlayer* player = viewModel_.player();
  if (!player || !player->hasItem()) return 0;
  const MediaTime time = player->itemDuration();
  if (!time.isValid()) return 0;
  const double seconds = time.seconds();
  return std::isfinite(seconds) ? seconds : 0;
}

TrimmerTimelineView::ZoomTrack TrimmerTimelineView::zoomTrackFor(const VideoTrimmerViewModel& model) {
  if (!model.zoomSegments().empty()) return ZoomTrack::segments;
  if (!model.zoomKeyframes().empty()) return ZoomTrack::keyframes;
  if (model.metadata() && !model.metadata()->zoomEvents.empty()) return ZoomTrack::events;
  return ZoomTrack::none;
}

TrimmerZoomSegmentsTrackView* TrimmerTimelineView::zoomSegmentsTrack() const {
  return qobject_cast<TrimmerZoomSegmentsTrackView*>(zoomTrackView_);
}

TrimmerMarkerTrackView* TrimmerTimelineView::zoomMarkerTrack() const {
  return qobject_cast<TrimmerMarkerTrackView*>(zoomTrackView_);
}

QRect TrimmerTimelineView::tracksArea() const {
  return QRect(0, TrimmerTimeRulerView::kHeight, width(), height() - TrimmerTimeRulerView::kHeight);
}

void TrimmerTimelineView::addZoomSegment(double time) {
  selectedZoomSegmentId_.assign(viewModel_.addZoomSegment(time, kAddedZoomLength, kAddedZoomLevel));
  selectionChanged();
}

void TrimmerTimelineView::selectionChanged() {
  if (zoomTrackView_) zoomTrackView_->update();
}

void TrimmerTimelineView::rebuildTracks() {
  // A track is made afresh when its kind changes, so its drag and selection start empty again.
  const ZoomTrack wanted = zoomTrackFor(viewModel_);
  if (wanted != zoomTrack_) {
    delete zoomTrackView_;
    zoomTrackView_ = nullptr;
    zoomTrack_ = wanted;
    switch (wanted) {
      case ZoomTrack::segments: {
        auto* track = new TrimmerZoomSegmentsTrackView(selectedZoomSegmentId_, this);
        track->onAdd = [this](double time) { addZoomSegment(time); };
        track->onMove = [this](const QUuid& id, double time) { viewModel_.moveZoomSegment(id, time); };
        track->onResizeStart = [this](const QUuid& id, double time) {
          viewModel_.updateZoomSegmentStart(id, time);
        };
        track->onResizeEnd = [this](const QUuid& id, double time) {
          viewModel_.updateZoomSegmentEnd(id, time);
        };
        zoomTrackView_ = track;
        break;
      }
      case ZoomTrack::keyframes:
        zoomTrackView_ = new TrimmerZoomKeyframesTrackView(selectedZoomKeyframeId_, this);
        break;
      case ZoomTrack::events:
        zoomTrackView_ = new TrimmerZoomEventsTrackView(this);
        break;
      case ZoomTrack::none:
        break;
    }
    if (zoomTrackView_) zoomTrackView_->show();
  }
  if (hasCameraTrack(viewModel_) != (cameraTrack_ != nullptr)) {
    delete cameraTrack_;
    cameraTrack_ = nullptr;
    if (hasCameraTrack(viewModel_)) {
      cameraTrack_ = new TrimmerCameraKeyframesTrackView(this);
      cameraTrack_->show();
    }
  }
}

void TrimmerTimelineView::refresh() {
  rebuildTracks();
  const double duration = this->duration();
  const double now = viewModel_.currentTime();
  ruler_->setValues(duration, now, 1.0);
  strip_->setDuration(duration);
  strip_->setSegments(viewModel_.segments());
  strip_->setWaveform(viewModel_.waveformSamples(), viewModel_.isGeneratingWaveform());
  if (auto* track = zoomSegmentsTrack()) {
    track->setDuration(duration);
    track->setSegments(viewModel_.zoomSegments());
  } else if (auto* track = qobject_cast<TrimmerZoomKeyframesTrackView*>(zoomTrackView_)) {
    track->setDuration(duration);
    track->setKeyframes(viewModel_.zoomKeyframes());
  } else if (auto* track = qobject_cast<TrimmerZoomEventsTrackView*>(zoomTrackView_)) {
    track->setDuration(duration);
    track->setCurrentTime(now);
    track->setEvents(viewModel_.metadata()->zoomEvents);
  }
  if (cameraTrack_) {
    cameraTrack_->setDuration(duration);
    cameraTrack_->setCurrentTime(now);
    cameraTrack_->setKeyframes(viewModel_.metadata()->cameraPositions);
  }
  relayout();
}

void TrimmerTimelineView::relayout() {
  const int w = width();
  std::vector<QWidget*> column{strip_};
  if (zoomTrackView_) column.push_back(zoomTrackView_);
  if (cameraTrack_) column.push_back(cameraTrack_);
  int columnHeight = 0;
  for (QWidget* row : column) columnHeight += row->height() + kDivider;

  // Grow rather than cut off the lowest track; a short column sits in the middle of the area.
  const int areaHeight = std::max(kTracksHeight, columnHeight);
  setFixedHeight(TrimmerTimeRulerView::kHeight + areaHeight);
  ruler_->setGeometry(0, 0, w, TrimmerTimeRulerView::kHeight);
  int y = TrimmerTimeRulerView::kHeight + (areaHeight - columnHeight) / 2;
  dividers_.clear();
  for (QWidget* row : column) {
    row->setGeometry(0, y, w, row->height());
    y += row->height();
    dividers_.push_back(y);
    y += kDivider;
  }
  playhead_->setGeometry(playhead_->x(), TrimmerTimeRulerView::kHeight, TrimmerPlayheadView::kWidth,
                         areaHeight);
  playhead_->raise();
  movePlayhead(false);

  QPainterPath outline;
  outline.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
  setMask(QRegion(outline.toFillPolygon().toPolygon()));
  update();
}

void TrimmerTimelineView::movePlayhead(bool animated) {
  const double target = scale().playheadX(viewModel_.currentTime());
  playheadAnimation_->stop();
  const double from = playhead_->x() + TrimmerPlayheadView::kWidth / 2.0;
  if (!animated || std::abs(target - from) < 0.5) {
    playhead_->placeLine(target);
    return;
  }
  playheadAnimation_->setStartValue(from);
  playheadAnimation_->setEndValue(target);
  playheadAnimation_->start();
}

void TrimmerTimelineView::scrub(double x) {
  isDragging_ = true;
  viewModel_.seek(scale().time(x));
}

void TrimmerTimelineView::resizeEvent(QResizeEvent*) {
  refresh();
}

void TrimmerTimelineView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), TimelinePalette::controlBackground(palette()));
  painter.setPen(TimelinePalette::secondary(palette(), 0.6));
  for (int y : dividers_) painter.drawLine(0, y, width(), y);
}

void TrimmerTimelineView::mousePressEvent(QMouseEvent* event) {
  pressPosition_.reset();
  if (event->button() != Qt::LeftButton || !tracksArea().contains(event->position().toPoint()))
    return event->ignore();
  pressPosition_ = event->position();
}

void TrimmerTimelineView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressPosition_) return event->ignore();
  const QPointF travel = event->position() - *pressPosition_;
  pressPosition_.reset();
  if (!TimelineScale::isTap(travel.x(), travel.y())) return;
  viewModel_.seek(scale().time(event->position().x()));
}

}  // namespace tk
