#include "settings/SForm.h"

#include <QStyle>
#include <QVBoxLayout>

namespace tk {

SForm::SForm(int spacing, bool noSpacer, QWidget* parent)
    : QWidget(parent), spacing_(spacing), noSpacer_(noSpacer) {
  layout_ = new QVBoxLayout(this);
  layout_->setSpacing(spacing);
  const int padding = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
  // The spacer's own spacing is taken back from the bottom padding, so the last group sits as
  // far from the bottom as the page's padding says.
  layout_->setContentsMargins(padding, padding, padding, noSpacer ? padding : std::max(0, padding - spacing));
  if (!noSpacer) layout_->addStretch(1);
}

void SForm::add(QWidget* content) {
  content->setParent(this);
  // Before the spacer, when there is one.
  layout_->insertWidget(noSpacer_ ? layout_->count() : layout_->count() - 1, content);
}

}  // namespace tk
