#pragma once

#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace tk {

class SGroupBox;
class SPicker;
class SToggle;

// The Output tab: the audio switches, the video pickers (resolution, frame rate, quality, format,
// encoder) and the output folder, chosen in the desktop's folder dialog. Main thread only.
class OutputView : public QWidget {
  Q_OBJECT
 public:
  // Asks the user for a folder; none when cancelled.
  using FolderChooser = std::function<std::optional<QString>(QWidget* parent)>;

  explicit OutputView(QWidget* parent = nullptr);
  // With a chooser of its own (tests answer in place of the dialog).
  OutputView(FolderChooser chooser, QWidget* parent = nullptr);

  QList<SGroupBox*> groups() const { return groups_; }
  SPicker* picker(const QString& title) const;
  QString folderText() const;
  QPushButton* selectButton() const { return select_; }

  // What "Select..." does.
  void selectFolder();
  void refreshFolder();

 private:
  FolderChooser chooser_;
  QList<SGroupBox*> groups_;
  QList<SPicker*> pickers_;
  QLabel* folder_ = nullptr;
  QPushButton* select_ = nullptr;
};

}  // namespace tk
