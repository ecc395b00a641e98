#pragma once

#include <QDialog>
#include <QPointer>
#include <QToolButton>

namespace tk {

// The info button of a settings row: pressing it shows the row's help text in a sheet over the
// window, closed by its "OK" button (or Return). Main thread only.
class SInfoButton : public QToolButton {
  Q_OBJECT
 public:
  explicit SInfoButton(QString tips, QWidget* parent = nullptr);

  const QString& tips() const { return tips_; }
  // True while the help sheet is shown.
  bool isPresented() const { return sheet_ != nullptr; }
  QDialog* sheet() const { return sheet_; }

 private:
  void present();

  QString tips_;
  QPointer<QDialog> sheet_;
};

}  // namespace tk
