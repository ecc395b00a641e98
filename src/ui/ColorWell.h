#pragma once

#include <QColor>
#include <QPushButton>

namespace tk {

// A colour well: a small button filled with its colour that opens the colour chooser (with
// opacity when allowed) and reports the chosen colour through `colorChosen`. Setting the colour
// from code reports nothing. Main thread only.
class ColorWell : public QPushButton {
  Q_OBJECT
 public:
  explicit ColorWell(bool allowsOpacity, QWidget* parent = nullptr);

  QColor color() const { return color_; }
  void setColor(const QColor& color);

  // What a choice in the chooser does: shows the colour and reports it.
  void choose(const QColor& color);

 signals:
  void colorChosen(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void openChooser();

  bool allowsOpacity_;
  QColor color_ = Qt::black;
};

}  // namespace tk
