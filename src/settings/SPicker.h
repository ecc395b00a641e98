#pragma once

#include <QVariant>
#include <utility>
#include <vector>

#include "settings/SItem.h"
#include "settings/SettingBinding.h"

class QComboBox;

namespace tk {

// A pop-up menu row. Each option is a text tagged with its value; the binding gives the value to
// show and takes the value chosen. A value that no option carries shows no option. Main thread
// only.
class SPicker : public SItem {
  Q_OBJECT
 public:
  using Option = std::pair<QString, QVariant>;

  SPicker(const QString& title, SettingBinding<QVariant> selection, std::vector<Option> options,
          std::optional<QString> tips = std::nullopt, QWidget* parent = nullptr);

  // The texts of the options, in order.
  QStringList optionTexts() const;
  // The shown option's text and value (empty and invalid when none is shown).
  QString currentText() const;
  QVariant currentValue() const;
  // Chooses an option as the user does from the menu; false for an index out of range.
  bool choose(int index);
  void refresh();
  QComboBox* control() const { return menu_; }

 signals:
  void chosen(const QVariant& value);

 private:
  SettingBinding<QVariant> binding_;
  QComboBox* menu_ = nullptr;
};

}  // namespace tk
