#include "settings/SItem.h"

#include <QHBoxLayout>
#include <QLabel>

#include "settings/SInfoButton.h"

namespace tk {

SItem::SItem(std::optional<QString> label, int spacing, QWidget* content, QWidget* parent) : QWidget(parent) {
  layout_ = new QHBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(spacing);
  if (label) {
    // Titles are shown as they stand, never read as markup.
    label_ = new QLabel(*label, this);
    label_->setTextFormat(Qt::PlainText);
    layout_->addWidget(label_);
  }
  layout_->addStretch(1);
  if (content) addTrailing(content);
  setFixedHeight(kRowHeight);
}

QString SItem::label() const {
  return label_ ? label_->text() : QString();
}

void SItem::addTrailing(QWidget* control) {
  control->setParent(this);
  // A control without words of its own (a switch, a colour well) is read by its row's title.
  if (label_ && control->accessibleName().isEmpty() && control->toolTip().isEmpty())
    control->setAccessibleName(label_->text());
  layout_->addWidget(control, 0, Qt::AlignVCenter);
}

void SItem::addInfo(const std::optional<QString>& tips) {
  if (!tips) return;
  info_ = new SInfoButton(*tips, this);
  layout_->addWidget(info_, 0, Qt::AlignVCenter);
}

}  // namespace tk
