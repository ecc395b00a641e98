#include "editor_ui/TransportControls.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include "editor_ui/TrimmerActions.h"
#include "editor_ui/VideoTrimmerView.h"

namespace tk {

namespace {

QFrame* divider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::VLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

size_t TransportControls::segmentAt(const std::vector<VideoSegment>& segments, double time) {
  // Each span ends where the next begins; the last one also holds the movie's end.
  for (size_t i = 0; i < segments.size(); ++i)
    if (time < segments[i].endTime.seconds()) return i;
  return segments.empty() ? 0 : segments.size() - 1;
}

TransportControls::TransportControls(VideoTrimmerView& view, TrimmerActions& actions, QWidget* parent)
    : QWidget(parent), view_(view), actions_(actions) {
  setObjectName(QStringLiteral("transportControls"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(6);

  // Playback row.
  auto* playback = new QHBoxLayout();
  playback->setSpacing(12);
  play_ = new QPushButton(this);
  play_->setFocusPolicy(Qt::NoFocus);  // the space bar belongs to the shortcut, not to a focused button
  connect(play_, &QPushButton::clicked, this, [this] { actions_.togglePlayback(); });
  playback->addWidget(play_);
  time_ = new QLabel(this);
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSizeF(9);
  mono.setWeight(QFont::Medium);
  time_->setFont(mono);
  time_->setForegroundRole(QPalette::PlaceholderText);
  playback->addWidget(time_);
  playback->addStretch(1);
  segment_ = new QLabel(this);
  QFont caption = segment_->font();
  caption.setPointSizeF(std::max(7.0, caption.pointSizeF() - 1));
  segment_->setFont(caption);
  segment_->setForegroundRole(QPalette::PlaceholderText);
  playback->addWidget(segment_);
  column->addLayout(playback);

  // Edit row.
  auto* edit = new QHBoxLayout();
  edit->setSpacing(8);
  split_ = new QPushButton(QStringLiteral("Split"), this);
  split_->setToolTip(QStringLiteral("Split video at current time"));
  connect(split_, &QPushButton::clicked, this, [this] { view_.viewModel().addCutAtCurrentTime(); });
  edit->addWidget(split_);
  edit->addWidget(divider(this));
  exportMerged_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                                  QStringLiteral("Export Merged"), this);
  exportMerged_->setDefault(true);
  connect(exportMerged_, &QPushButton::clicked, this, [this] { actions_.exportTrimmedVideo(); });
  edit->addWidget(exportMerged_);
  edit->addWidget(divider(this));
  addZoom_ = new QPushButton(QStringLiteral("Add Zoom Segment"), this);
  connect(addZoom_, &QPushButton::clicked, this, [this] { actions_.addZoomSegmentAtPlayhead(); });
  edit->addWidget(addZoom_);
  deleteSegment_ =
      new QPushButton(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Delete Segment"), this);
  connect(deleteSegment_, &QPushButton::clicked, this, [this] {
    if (auto selected = view_.selectedZoomSegmentId()) actions_.deleteSelectedZoomSegment(*selected);
  });
  edit->addWidget(deleteSegment_);
  deleteKeyframe_ =
      new QPushButton(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Delete Keyframe"), this);
  connect(deleteKeyframe_, &QPushButton::clicked, this, [this] {
    if (auto selected = view_.selectedZoomKeyframeId()) actions_.deleteZoomKeyframe(*selected);
  });
  edit->addWidget(deleteKeyframe_);
  edit->addStretch(1);
  column->addLayout(edit);

  auto* space = new QShortcut(QKeySequence(Qt::Key_Space), &view_);
  space->setContext(Qt::WindowShortcut);
  connect(space, &QShortcut::activated, this, [this] { actions_.togglePlayback(); });
  auto* splitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &view_);
  splitKey->setContext(Qt::WindowShortcut);
  connect(splitKey, &QShortcut::activated, split_, &QPushButton::click);

  refresh();
}

void TransportControls::refresh() {
  const bool playing = view_.isPlaying();
  play_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
  play_->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
  time_->setText(TrimmerActions::formatPlaybackTime(view_.currentTime()) + QStringLiteral(" / ") +
                 TrimmerActions::formatPlaybackTime(actions_.duration()));
  const auto& segments = view_.viewModel().segments();
  segment_->setText(QStringLiteral("Segment %1/%2")
                        .arg(segmentAt(segments, view_.currentTime()) + 1)
                        .arg(segments.empty() ? 1 : segments.size()));
  // Without a picture (a failed load, a file of sound only) there is nothing to cut or export.
  const bool editable = view_.canEdit();
  exportMerged_->setEnabled(!view_.viewModel().isExporting() && editable);
  split_->setEnabled(editable);
  addZoom_->setEnabled(editable);
  const bool segmentSelected = view_.selectedZoomSegmentId().has_value();
  deleteSegment_->setVisible(segmentSelected);
  deleteKeyframe_->setVisible(!segmentSelected && view_.selectedZoomKeyframeId().has_value());
}

}  // namespace tk
