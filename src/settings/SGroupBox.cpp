#include "settings/SGroupBox.h"

#include <QApplication>
#include <QVBoxLayout>

namespace tk {

SGroupBox::SGroupBox(std::optional<QString> label, QWidget* parent) : QGroupBox(parent) {
  if (label) {
    setTitle(*label);
    QFont headline = font();
    headline.setBold(true);
    setFont(headline);
  }
  layout_ = new QVBoxLayout(this);
  layout_->setSpacing(10);
  layout_->setContentsMargins(5, 5, 5, 5);
}

void SGroupBox::add(QWidget* content) {
  content->setParent(this);
  // The headline font is the title's alone.
  if (!title().isEmpty()) {
    QFont plain = QApplication::font();
    plain.setBold(false);  // marked as set, so it is not inherited from the group
    content->setFont(plain);
  }
  layout_->addWidget(content);
}

QList<QWidget*> SGroupBox::contents() const {
  QList<QWidget*> result;
  for (int i = 0; i < layout_->count(); ++i) {
    if (QWidget* widget = layout_->itemAt(i)->widget()) result << widget;
  }
  return result;
}

}  // namespace tk
