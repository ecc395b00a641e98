#include "editor_ui/ZoomSegmentEditor.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "editor_ui/SliderRow.h"

namespace tk {

ZoomSegmentEditor::ZoomSegmentEditor(const ZoomSegment& segment, double videoDuration, QWidget* parent)
    : QFrame(parent), working_(segment), videoDuration_(videoDuration) {
  setObjectName(QStringLiteral("zoomSegmentEditor"));
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(
      QStringLiteral("#zoomSegmentEditor { background: rgba(128, 128, 128, 60); border-radius: 8px; }"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(6);

  auto* main = new QHBoxLayout();
  main->setSpacing(16);
  close_ = new QPushButton(style()->standardIcon(QStyle::SP_TitleBarCloseButton), QString(), this);
  close_->setFlat(true);
  close_->setToolTip(QStringLiteral("Close"));
  connect(close_, &QPushButton::clicked, this, [this] {
    if (onClose) onClose();
  });
  main->addWidget(close_);
  timeText_ = new QLabel(this);
  main->addWidget(timeText_);
  zoom_ = new SliderRow(QStringLiteral("Zoom"), 0, 1, 3, 0.1, SliderRow::decimals(1, QStringLiteral("x")), 28,
                        this);
  zoom_->slider()->setFixedWidth(80);
  main->addWidget(zoom_);
  ease_ = new SliderRow(QStringLiteral("Ease"), 0, 0.05, 2, 0.1, SliderRow::decimals(1), 20, this);
  ease_->slider()->setFixedWidth(50);
  main->addWidget(ease_);
  disclosure_ = new QPushButton(this);
  disclosure_->setFlat(true);
  connect(disclosure_, &QPushButton::clicked, this, &ZoomSegmentEditor::toggleAdvanced);
  main->addWidget(disclosure_);
  main->addStretch(1);
  delete_ = new QPushButton(style()->standardIcon(QStyle::SP_TrashIcon), QString(), this);
  delete_->setFlat(true);
  delete_->setToolTip(QStringLiteral("Delete"));
  connect(delete_, &QPushButton::clicked, this, [this] {
    if (onDelete) onDelete();
  });
  main->addWidget(delete_);
  column->addLayout(main);

  advanced_ = new QWidget(this);
  auto* advancedColumn = new QVBoxLayout(advanced_);
  advancedColumn->setContentsMargins(0, 0, 0, 0);
  auto* divider = new QFrame(advanced_);
  divider->setFrameShape(QFrame::HLine);
  advancedColumn->addWidget(divider);
  auto* advancedRow = new QHBoxLayout();
  advancedRow->setSpacing(16);
  start_ = new SliderRow(QStringLiteral("Start"), 28, 0, 1, 0, SliderRow::decimals(1, QStringLiteral("s")),
                         32, advanced_);
  end_ = new SliderRow(QStringLiteral("End"), 24, 0, 1, 0, SliderRow::decimals(1, QStringLiteral("s")), 32,
                       advanced_);
  easeOut_ = new SliderRow(QStringLiteral("Out"), 0, 0.05, 2, 0.1, SliderRow::decimals(1), 20, advanced_);
  smooth_ = new SliderRow(QStringLiteral("Smooth"), 0, 0, 1, 0.1, SliderRow::decimals(1), 20, advanced_);
  dead_ = new SliderRow(QStringLiteral("Dead"), 0, 0, 0.3, 0.01, &SliderRow::percent, 24, advanced_);
  for (auto [row, width] : {std::pair{start_, 80}, {end_, 80}, {easeOut_, 50}, {smooth_, 50}, {dead_, 40}}) {
    row->slider()->setFixedWidth(width);
    advancedRow->addWidget(row);
  }
  advancedColumn->addLayout(advancedRow);
  column->addWidget(advanced_);
  advanced_->hide();  // until the disclosure button opens it

  const auto middle = [this] { return (working_.startTime + working_.endTime) * 0.5; };
  zoom_->onChange = [this, middle](double v) {
    ZoomSegment next = working_;
    next.zoomLevel = v;
    store(next);
    seek(middle());
  };
  ease_->onChange = [this](double v) {
    ZoomSegment next = working_;
    next.easeIn = v;
    store(next);
    seek(std::max(0.0, working_.startTime - 0.5 * working_.easeIn));
  };
  start_->onChange = [this](double v) {
    ZoomSegment next = working_;
    next.startTime = clampedStart(v, next.endTime);
    seek(next.startTime);
    store(next);
  };
  end_->onChange = [this](double v) {
    ZoomSegment next = working_;
    next.endTime = clampedEnd(v, next.startTime, videoDuration_);
    seek(next.endTime);
    store(next);
  };
  easeOut_->onChange = [this](double v) {
    ZoomSegment next = working_;
    next.easeOut = v;
    store(next);
    seek(working_.endTime);
  };
  smooth_->onChange = [this, middle](double v) {
    ZoomSegment next = working_;
    next.panSmoothing = v;
    store(next);
    seek(middle());
  };
  dead_->onChange = [this, middle](double v) {
    ZoomSegment next = working_;
    next.deadZone = v;
    store(next);
    seek(middle());
  };
  start_->setTimeSteps();
  end_->setTimeSteps();
  display();

  QPointer<ZoomSegmentEditor> self(this);
  QTimer::singleShot(0, this, [self, middle] {
    if (self) self->seek(middle());
  });
}

void ZoomSegmentEditor::toggleAdvanced() {
  showAdvanced_ = !showAdvanced_;
  display();
  // The row opens or folds over 0.2 s, easing in and out; a folded row is hidden at the end.
  auto* fold = new QPropertyAnimation(advanced_, "maximumHeight", this);
  fold->setDuration(200);
  fold->setEasingCurve(QEasingCurve::InOutQuad);
  const int full = advanced_->sizeHint().height();
  fold->setStartValue(showAdvanced_ ? 0 : full);
  fold->setEndValue(showAdvanced_ ? full : 0);
  QPointer<QWidget> row(advanced_);
  connect(fold, &QPropertyAnimation::finished, this, [this, row] {
    if (!row) return;
    row->setMaximumHeight(QWIDGETSIZE_MAX);
    row->setVisible(showAdvanced_);
  });
  fold->start(QAbstractAnimation::DeleteWhenStopped);
}

void ZoomSegmentEditor::store(const ZoomSegment& next) {
  const bool changed = !(next == working_);
  working_ = next;
  display();
  if (!changed || !onUpdate) return;
  const ZoomSegment reported = working_;  // the host may show its own value back while it is called
  onUpdate(reported);
}

void ZoomSegmentEditor::seek(double time) {
  if (onSeekToSegment) onSeekToSegment(time);
}

void ZoomSegmentEditor::showLive(const ZoomSegment& segment, double videoDuration) {
  if (segment == working_ && videoDuration == videoDuration_) return;
  working_ = segment;
  videoDuration_ = videoDuration;
  display();
}

void ZoomSegmentEditor::display() {
  timeText_->setText(QStringLiteral("Time ") + QString::asprintf("%.1f", working_.startTime) +
                     QStringLiteral(" - ") + QString::asprintf("%.1fs", working_.endTime));
  zoom_->setValue(working_.zoomLevel);
  ease_->setValue(working_.easeIn);
  start_->setRange(0, std::max(videoDuration_, working_.startTime + 0.01));
  start_->setValue(working_.startTime);
  end_->setRange(0, std::max(videoDuration_, working_.endTime + 0.01));
  end_->setValue(working_.endTime);
  easeOut_->setValue(working_.easeOut);
  smooth_->setValue(working_.panSmoothing);
  dead_->setValue(working_.deadZone);
  // Down while the row is hidden, up while it shows.
  disclosure_->setText(showAdvanced_ ? QStringLiteral("\u25B4") : QStringLiteral("\u25BE"));
  disclosure_->setAccessibleName(showAdvanced_ ? QStringLiteral("chevron.up")
                                               : QStringLiteral("chevron.down"));
  // Shown at once when opened; a folding row stays until its animation ends.
  if (showAdvanced_) advanced_->setVisible(true);
}

}  // namespace tk
