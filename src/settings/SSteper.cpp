#include "settings/SSteper.h"

#include <QLineEdit>
#include <QLocale>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

namespace tk {

SSteper::SSteper(const QString& title, SettingBinding<long long> value, long long min, long long max,
                 int width, std::optional<QString> tips, QWidget* parent)
    : SItem(title, 0, nullptr, parent), binding_(std::move(value)), min_(min), max_(max) {
  addInfo(tips);
  field_ = new QLineEdit(this);
  field_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  field_->setFixedWidth(width);
  addTrailing(field_);

  auto* stepper = new QWidget(this);
  auto* arrows = new QVBoxLayout(stepper);
  arrows->setContentsMargins(2, 0, 0, 0);
  arrows->setSpacing(0);
  up_ = new QToolButton(stepper);
  up_->setArrowType(Qt::UpArrow);
  down_ = new QToolButton(stepper);
  down_->setArrowType(Qt::DownArrow);
  up_->setToolTip(QStringLiteral("Increase"));
  down_->setToolTip(QStringLiteral("Decrease"));
  for (QToolButton* arrow : {up_, down_}) {
    arrow->setFixedSize(14, kRowHeight / 2);
    arrow->setAutoRepeat(true);
    arrows->addWidget(arrow);
  }
  addTrailing(stepper);

  connect(field_, &QLineEdit::editingFinished, this, [this] { enter(field_->text()); });
  connect(up_, &QToolButton::clicked, this, &SSteper::stepUp);
  connect(down_, &QToolButton::clicked, this, &SSteper::stepDown);
  if (binding_.observe) binding_.observe(this, [this] { refresh(); });
  refresh();
}

long long SSteper::value() const {
  return binding_.get();
}

void SSteper::enter(const QString& text) {
  bool ok = false;
  long long typed = QLocale().toLongLong(text.trimmed(), &ok);
  if (!ok) typed = text.trimmed().toLongLong(&ok);
  if (!ok) {
    refresh();
    return;
  }
  apply(typed);
}

// Stepping has no bounds of its own; the clamp below undoes a step past a bound. Saturated, so a
// stored extreme cannot wrap around.
void SSteper::stepUp() {
  const long long v = value();
  apply(v == std::numeric_limits<long long>::max() ? v : v + 1);
}

void SSteper::stepDown() {
  const long long v = value();
  apply(v == std::numeric_limits<long long>::min() ? v : v - 1);
}

void SSteper::apply(long long v) {
  if (v > max_) v = max_;
  if (v < min_) v = min_;
  binding_.set(v);
  field_->setText(QString::number(v));
}

void SSteper::refresh() {
  const long long stored = binding_.get();
  long long shown = stored;
  if (stored > max_) shown = max_;
  if (shown < min_) shown = min_;
  // A value out of range that came from elsewhere is clamped like a typed one.
  if (shown != stored) binding_.set(shown);
  field_->setText(QString::number(shown));
}

}  // namespace tk
