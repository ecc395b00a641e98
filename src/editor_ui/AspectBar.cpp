#include "editor_ui/AspectBar.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "editor/OutputAspectRatio.h"
#include "editor_ui/VideoTrimmerView.h"

namespace tk {

AspectBar::AspectBar(VideoTrimmerView& view, QWidget* parent) : QWidget(parent), view_(view) {
  setObjectName(QStringLiteral("aspectBarControls"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);
  row->addWidget(new QLabel(QStringLiteral("Aspect"), this));

  auto* picker = new QWidget(this);
  picker->setAccessibleName(QStringLiteral("Aspect"));
  picker->setFixedWidth(520);
  auto* pickerRow = new QHBoxLayout(picker);
  pickerRow->setContentsMargins(0, 0, 0, 0);
  pickerRow->setSpacing(0);
  auto* group = new QButtonGroup(picker);
  group->setExclusive(true);
  for (OutputAspectRatio ratio : allCases<OutputAspectRatio>()) {
    auto* segment =
        new QPushButton(QString::fromUtf8(rawValue(ratio).data(), rawValue(ratio).size()), picker);
    segment->setCheckable(true);
    group->addButton(segment);
    pickerRow->addWidget(segment, 1);
    connect(segment, &QPushButton::clicked, this, [this, ratio] { view_.setSelectedAspect(ratio); });
    segments_.push_back(segment);
  }
  row->addWidget(picker);

  auto* line = new QFrame(this);
  line->setFrameShape(QFrame::VLine);
  row->addWidget(line);
  verticalStack_ = new QCheckBox(QStringLiteral("Vertical Stack (9:16)"), this);
  verticalStack_->setToolTip(QStringLiteral("Stack Camera (top) + Screen (bottom) into a 9:16 canvas"));
  connect(verticalStack_, &QCheckBox::toggled, this, [this](bool on) {
    view_.setVerticalStack(on);
    refresh();  // a refused switch shows the state it kept
  });
  row->addWidget(verticalStack_);
  row->addStretch(1);
  refresh();
}

void AspectBar::refresh() {
  const auto cases = allCases<OutputAspectRatio>();
  for (size_t i = 0; i < cases.size(); ++i) {
    const QSignalBlocker quiet(segments_[i]);
    segments_[i]->setChecked(cases[i] == view_.selectedAspect());
  }
  const QSignalBlocker quiet(verticalStack_);
  verticalStack_->setChecked(view_.verticalStack());
  verticalStack_->setEnabled(view_.verticalStackAvailable() || view_.verticalStack());
}

}  // namespace tk
