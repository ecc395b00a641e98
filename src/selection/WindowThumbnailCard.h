#pragma once

#include <QAbstractButton>
#include <QIcon>
#include <memory>

#include "selection/WindowThumbnail.h"

namespace tk {

// One window in the picker's grid, as wide as the grid's column: its picture (fitted, 100 high), a blue
// outline while chosen, its application's icon when the desktop knows one, and its title (else its
// application's name, else "Untitled") on one line, cut at the end. Titles are drawn as plain text. Main
// thread only.
class WindowThumbnailCard : public QAbstractButton {
  Q_OBJECT
 public:
  // The grid's columns, and so the cards, are between these widths.
  static constexpr int kMinimumWidth = 170;
  static constexpr int kMaximumWidth = 200;
  static constexpr int kHeight = 8 + 110 + 6 + 16 + 8;

  explicit WindowThumbnailCard(std::shared_ptr<const WindowThumbnail> thumbnail, QWidget* parent = nullptr);

  const std::shared_ptr<const WindowThumbnail>& thumbnail() const { return thumbnail_; }
  // The window's picture arrived: the card shows it (same window).
  void setThumbnail(std::shared_ptr<const WindowThumbnail> thumbnail);
  void setSelected(bool selected);
  bool isSelected() const { return selected_; }
  // The caption under the picture.
  QString caption() const;
  static QString captionFor(const CaptureWindow& window);
  // The icon of the window's application from the desktop's icon theme; null when there is none.
  static QIcon appIcon(const CaptureApplication& application);

  QSize sizeHint() const override { return {kMinimumWidth, kHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::shared_ptr<const WindowThumbnail> thumbnail_;
  QIcon icon_;
  bool selected_ = false;
};

}  // namespace tk
