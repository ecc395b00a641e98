#pragma once

#include <QGroupBox>
#include <optional>

class QVBoxLayout;

namespace tk {

// A group of settings rows in a box, titled in the headline font when it has a label. Rows stand
// 10 apart inside a padding of 5. Main thread only.
class SGroupBox : public QGroupBox {
  Q_OBJECT
 public:
  explicit SGroupBox(std::optional<QString> label = std::nullopt, QWidget* parent = nullptr);

  // Appends a row (or any view); the group takes it as its child.
  void add(QWidget* content);
  // The rows and views the group holds, in order.
  QList<QWidget*> contents() const;

 private:
  QVBoxLayout* layout_ = nullptr;
};

}  // namespace tk
