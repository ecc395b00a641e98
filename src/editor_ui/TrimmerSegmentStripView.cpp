#include "editor_ui/TrimmerSegmentStripView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>

#include "editor_ui/TimelinePalette.h"
#include "editor_ui/TrimmerWaveformShape.h"

namespace tk {

TrimmerSegmentStripView::TrimmerSegmentStripView(QWidget* parent) : QWidget(parent) {
  setFixedHeight(kHeight);
  // An indeterminate bar at half size stands in for the waveform while it is made.
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 0);
  progress_->setTextVisible(false);
  progress_->setFixedSize(60, 8);
  progress_->hide();
}

TrimmerSegmentStripView::~TrimmerSegmentStripView() = default;

void TrimmerSegmentStripView::setSegments(std::vector<VideoSegment> segments) {
  segments_ = std::move(segments);
  blocks_ = blockExtents(segments_, scale());
  update();
}

void TrimmerSegmentStripView::setWaveform(std::vector<float> samples, bool generating) {
  samples_ = std::move(samples);
  generating_ = generating;
  relayout();
}

void TrimmerSegmentStripView::setDuration(double duration) {
  if (duration == duration_) return;
  duration_ = duration;
  relayout();
}

TimelineScale TrimmerSegmentStripView::scale() const {
  return {double(width()), duration_};
}

std::vector<std::pair<double, double>> TrimmerSegmentStripView::blockExtents(
    const std::vector<VideoSegment>& segments, const TimelineScale& scale) {
  std::vector<std::pair<double, double>> extents;
  extents.reserve(segments.size());
  double x = TimelineScale::kInset;
  for (const VideoSegment& segment : segments) {
    const double seconds = segment.endTime.seconds() - segment.startTime.seconds();
    const double width = std::max(scale.spanWidth(seconds), 0.0);
    extents.emplace_back(x, width);
    x += width;
  }
  return extents;
}

std::optional<size_t> TrimmerSegmentStripView::blockAt(double x) const {
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (x >= blocks_[i].first && x < blocks_[i].first + blocks_[i].second) return i;
  return std::nullopt;
}

std::unique_ptr<QMenu> TrimmerSegmentStripView::contextMenu(size_t block) {
  auto menu = std::make_unique<QMenu>(this);
  if (block >= segments_.size()) return menu;
  const VideoSegment segment = segments_[block];
  const QString text = segment.isMarkedForDeletion ? QStringLiteral("Enable Segment (Keep)")
                                                   : QStringLiteral("Disable Segment (Cut)");
  menu->addAction(text, this, [this, segment] {
    if (onToggle) onToggle(segment);
  });
  return menu;
}

bool TrimmerSegmentStripView::showsProgress() const {
  return !progress_->isHidden();
}

void TrimmerSegmentStripView::relayout() {
  const TimelineScale scale = this->scale();
  blocks_ = blockExtents(segments_, scale);
  // The waveform's buckets cover the movie, so it spans the time axis, 4 pt in from top and bottom.
  const QRectF area(TimelineScale::kInset, 4, scale.usableWidth(), std::max(height() - 8, 0));
  bars_ = TrimmerWaveformShape{samples_}.bars(area);
  progress_->setVisible(samples_.empty() && generating_);
  progress_->move((width() - progress_->width()) / 2, (height() - progress_->height()) / 2);
  update();
}

void TrimmerSegmentStripView::resizeEvent(QResizeEvent*) {
  relayout();
}

void TrimmerSegmentStripView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), TimelinePalette::gray(0.1));
  if (!bars_.empty()) {
    QPen pen(TimelinePalette::blue(0.6), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.drawLines(bars_.data(), static_cast<int>(bars_.size()));
  }
  const double h = height();
  const QPen outline(QColor(0, 0, 0, 26), 1);
  for (size_t i = 0; i < blocks_.size(); ++i) {
    const auto [x, w] = blocks_[i];
    if (w <= 0) continue;
    const QRectF block(x, 0, w, h);
    painter.fillRect(
        block, segments_[i].isMarkedForDeletion ? TimelinePalette::red(0.3) : TimelinePalette::blue(0.1));
    painter.setPen(outline);
    painter.drawRect(block.adjusted(0.5, 0.5, -0.5, -0.5));
  }
}

void TrimmerSegmentStripView::mousePressEvent(QMouseEvent* event) {
  pressedBlock_.reset();
  if (event->button() != Qt::LeftButton) return event->ignore();
  pressedBlock_ = blockAt(event->position().x());
  if (!pressedBlock_) return event->ignore();  // the timeline seeks
  pressPosition_ = event->position();
}

void TrimmerSegmentStripView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressedBlock_) return event->ignore();
  const size_t block = *pressedBlock_;
  pressedBlock_.reset();
  const QPointF travel = event->position() - pressPosition_;
  if (!TimelineScale::isTap(travel.x(), travel.y())) return;
  if (block < segments_.size() && onToggle) onToggle(segments_[block]);
}

void TrimmerSegmentStripView::contextMenuEvent(QContextMenuEvent* event) {
  const std::optional<size_t> block = blockAt(event->pos().x());
  if (!block) return event->ignore();
  contextMenu(*block)->exec(event->globalPos());
}

}  // namespace tk
