#pragma once

#include <QWidget>

class QVBoxLayout;

namespace tk {

// A settings page: its groups one under the other, `spacing` apart, filling the window's width,
// and (unless `noSpacer`) a flexible space below them that keeps them at the top. Main thread only.
class SForm : public QWidget {
  Q_OBJECT
 public:
  SForm(int spacing, bool noSpacer, QWidget* parent = nullptr);

  // Appends `content` below what the page holds; the page takes it as its child.
  void add(QWidget* content);
  int spacing() const { return spacing_; }
  bool noSpacer() const { return noSpacer_; }

 private:
  int spacing_;
  bool noSpacer_;
  QVBoxLayout* layout_ = nullptr;
};

}  // namespace tk
