#pragma once

#include <QWidget>

namespace tk {

// A faint line between two rows of a group. Main thread only.
class SDivider : public QWidget {
  Q_OBJECT
 public:
  explicit SDivider(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tk
