#pragma once

#include <QString>
#include <QWidget>

class QListWidget;
class QStackedWidget;

namespace tk {

// The settings window: a sidebar of the five tabs (General, Recorder, Output, Hotkey, Blocklist)
// beside the open tab's page. The pages start empty; each tab puts its form into its page.
// Main thread only.
class SettingsView : public QWidget {
  Q_OBJECT
 public:
  explicit SettingsView(const QString& selectedItem = QStringLiteral("General"), QWidget* parent = nullptr);

  static QStringList tabTitles();

  // The open tab's title, or empty when none is selected.
  QString selectedItem() const;
  void setSelectedItem(const QString& title);

  // The page of the tab `title`, where its form is placed; null for an unknown title.
  QWidget* page(const QString& title) const;

 signals:
  void selectedItemChanged(const QString& title);

 private:
  QListWidget* sidebar_ = nullptr;
  QStackedWidget* pages_ = nullptr;
};

}  // namespace tk
