#include "settings/SPicker.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "ui/WheelGuard.h"

namespace tk {

SPicker::SPicker(const QString& title, SettingBinding<QVariant> selection, std::vector<Option> options,
                 std::optional<QString> tips, QWidget* parent)
    : SItem(title, 6, nullptr, parent), binding_(std::move(selection)) {
  addInfo(tips);
  menu_ = new QComboBox(this);
  for (auto& [text, value] : options) menu_->addItem(text, value);
  menu_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  WheelGuard::install(menu_);
  addTrailing(menu_);
  refresh();
  connect(menu_, &QComboBox::activated, this, [this](int index) {
    const QVariant value = menu_->itemData(index);
    binding_.set(value);
    emit chosen(value);
  });
  if (binding_.observe) binding_.observe(this, [this] { refresh(); });
}

QStringList SPicker::optionTexts() const {
  QStringList texts;
  for (int i = 0; i < menu_->count(); ++i) texts << menu_->itemText(i);
  return texts;
}

QString SPicker::currentText() const {
  return menu_->currentIndex() < 0 ? QString() : menu_->currentText();
}

QVariant SPicker::currentValue() const {
  return menu_->currentData();
}

bool SPicker::choose(int index) {
  if (index < 0 || index >= menu_->count()) return false;
  menu_->setCurrentIndex(index);
  emit menu_->activated(index);
  return true;
}

void SPicker::refresh() {
  const QSignalBlocker quiet(menu_);
  menu_->setCurrentIndex(menu_->findData(binding_.get()));
}

}  // namespace tk
