#pragma once

#include <QDialog>
#include <functional>

#include "platform/media/ShareableContent.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tk {

// The area control panel's sheet: the width and height of the area typed as numbers, the size of
// the movie they give, and Done. The fields start from the area as drawn; only a value that
// differs from what its field showed changes anything: it is clamped to 1 ... the display's size,
// stored in "areaWidth" / "areaHeight", and handed on so the overlay draws, and Record captures,
// that size. Done, Escape and moving between the fields leave an untouched area as it is.
// Main thread only.
class ResizePanelView : public QDialog {
  Q_OBJECT
 public:
  enum class Field { width = 0, height = 1 };

  // `size` is the area's size as drawn; `resolution` is the "resolution" setting when the sheet
  // opens (2: the display's pixel scale multiplies the movie's size).
  ResizePanelView(CaptureDisplayRef screen, QSize size, long long resolution,
                  std::function<void(QSize)> onSizeChanged, QWidget* parent = nullptr);

  QLineEdit* widthField() const { return widthField_; }
  QLineEdit* heightField() const { return heightField_; }
  QLabel* outputLabel() const { return outputLabel_; }
  QPushButton* doneButton() const { return doneButton_; }

  // Applies what the field holds when it differs from what it showed (run when a field loses the
  // focus or takes Return, and by Done).
  void commit(Field field);
  // The size the fields stand for now.
  QSize size() const { return size_; }
  // The movie's size text: "W × H".
  QString outputText() const;

 private:
  void refresh();

  CaptureDisplayRef screen_;
  QSize size_;
  long long resolution_;
  std::function<void(QSize)> onSizeChanged_;
  QLineEdit* widthField_ = nullptr;
  QLineEdit* heightField_ = nullptr;
  QLabel* outputLabel_ = nullptr;
  QPushButton* doneButton_ = nullptr;
};

}  // namespace tk
