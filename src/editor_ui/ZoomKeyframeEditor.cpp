#include "editor_ui/ZoomKeyframeEditor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "editor_ui/SliderRow.h"

namespace tk {

namespace {

// Both centre sliders: at most 1, and 0 for anything below 0 or not a number.
double centreValue(double value) {
  const double v = std::min(value, 1.0);
  return v >= 0 ? v : 0.0;
}

}  // namespace

ZoomKeyframeEditor::ZoomKeyframeEditor(const ZoomKeyframe& keyframe, double duration, QWidget* parent)
    : QFrame(parent), working_(keyframe), duration_(duration) {
  setObjectName(QStringLiteral("zoomKeyframeEditor"));
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(
      QStringLiteral("#zoomKeyframeEditor { background: rgba(128, 128, 128, 60); border-radius: 8px; }"));
  // Two lines, so that the window keeps room for the preview: the title with the time and the
  // level, then the eases and the centre.
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(10, 8, 10, 8);
  column->setSpacing(6);

  auto* first = new QHBoxLayout();
  first->setSpacing(16);
  auto* title = new QLabel(QStringLiteral("Zoom Keyframe"), this);
  QFont headline = title->font();
  headline.setBold(true);
  title->setFont(headline);
  first->addWidget(title);
  time_ = new SliderRow(QStringLiteral("Time"), 0, 0, timeUpperBound(duration_, working_.time), 0,
                        SliderRow::decimals(2, QStringLiteral("s")), 0, this);
  level_ = new SliderRow(QStringLiteral("Level"), 0, 1, 3, 0.05, SliderRow::decimals(2, QStringLiteral("x")),
                         0, this);
  first->addWidget(time_, 1);
  first->addWidget(level_, 1);
  delete_ = new QPushButton(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Delete"), this);
  delete_->setFlat(true);
  connect(delete_, &QPushButton::clicked, this, [this] {
    if (onDelete) onDelete();
  });
  first->addWidget(delete_);
  column->addLayout(first);

  auto* second = new QHBoxLayout();
  second->setSpacing(16);
  easeIn_ = new SliderRow(QStringLiteral("Ease In"), 0, 0.05, 1.5, 0.05,
                          SliderRow::decimals(2, QStringLiteral("s")), 0, this);
  easeOut_ = new SliderRow(QStringLiteral("Ease Out"), 0, 0.05, 1.5, 0.05,
                           SliderRow::decimals(2, QStringLiteral("s")), 0, this);
  second->addWidget(easeIn_, 1);
  second->addWidget(easeOut_, 1);
  auto* centre = new QHBoxLayout();
  centre->setSpacing(8);
  centre->addWidget(new QLabel(QStringLiteral("Center"), this));
  x_ = new SliderRow(QStringLiteral("X"), 0, 0, 1, 0, SliderRow::decimals(2), 0, this);
  y_ = new SliderRow(QStringLiteral("Y"), 0, 0, 1, 0, SliderRow::decimals(2), 0, this);
  centre->addWidget(x_, 1);
  centre->addWidget(y_, 1);
  second->addLayout(centre, 2);
  column->addLayout(second);

  // Each setter replaces one field of the working copy: one move, one change.
  const auto setter = [this](auto write) {
    return [this, write](double v) {
      ZoomKeyframe next = working_;
      write(next, v);
      store(next);
    };
  };
  time_->onChange =
      setter([this](ZoomKeyframe& k, double v) { k.time = std::max(0.0, std::min(v, duration_)); });
  level_->onChange = setter([](ZoomKeyframe& k, double v) { k.level = v; });
  easeIn_->onChange = setter([](ZoomKeyframe& k, double v) { k.easeIn = v; });
  easeOut_->onChange = setter([](ZoomKeyframe& k, double v) { k.easeOut = v; });
  x_->onChange = setter([](ZoomKeyframe& k, double v) { k.center.setX(centreValue(v)); });
  y_->onChange = setter([](ZoomKeyframe& k, double v) { k.center.setY(centreValue(v)); });
  time_->setTimeSteps();
  display();
}

void ZoomKeyframeEditor::store(const ZoomKeyframe& next) {
  const bool changed = !(next == working_);
  working_ = next;
  display();
  if (!changed || !onUpdate) return;
  const ZoomKeyframe reported = working_;  // the host may show its own value back while it is called
  onUpdate(reported);
}

void ZoomKeyframeEditor::showLive(const ZoomKeyframe& keyframe, double duration) {
  if (keyframe == working_ && duration == duration_) return;
  working_ = keyframe;
  duration_ = duration;
  display();
}

void ZoomKeyframeEditor::display() {
  time_->setRange(0, timeUpperBound(duration_, working_.time));
  time_->setValue(working_.time);
  level_->setValue(working_.level);
  easeIn_->setValue(working_.easeIn);
  easeOut_->setValue(working_.easeOut);
  x_->setValue(working_.center.x());
  y_->setValue(working_.center.y());
}

}  // namespace tk
