#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QHBoxLayout;
class QLabel;

namespace tk {

class SInfoButton;

// A settings row: the title on the left, a flexible gap, then the control(s) on the right. Every
// row of the form has the same fixed height. The toggle, picker and stepper rows are items too.
// Main thread only.
class SItem : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 24;

  // `content` (may be null) goes to the right end; the item takes it as its child.
  SItem(std::optional<QString> label, int spacing, QWidget* content = nullptr, QWidget* parent = nullptr);

  // The title text, empty for an item without one.
  QString label() const;
  // The help button of a row with help text, else null.
  SInfoButton* infoButton() const { return info_; }

 protected:
  // Appends a control at the right end.
  void addTrailing(QWidget* control);
  // Adds the help button of `tips` before the controls, when there is help text.
  void addInfo(const std::optional<QString>& tips);

 private:
  QHBoxLayout* layout_ = nullptr;
  QLabel* label_ = nullptr;
  SInfoButton* info_ = nullptr;
};

}  // namespace tk
