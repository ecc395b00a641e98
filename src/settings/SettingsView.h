#pragma once

#include <QString>
#include <QWidget>

class QListWidget;
class QStackedWidget;

namespace tk {

// The settings window: a sidebar of the five tabs (General, Recorder, Output, Hotkey, Blocklist)
// beside the open tab's page. Every time the window opens it shows "General".
// Main thread only.
class SettingsView : public QWidget {
  Q_OBJECT
 public:
  explicit SettingsView(const QString& selectedItem = QStringLiteral("General"), QWidget* parent = nullptr);

  static QStringList tabTitles();

  // The open tab's title, or empty when none is selected.
  QString selectedItem() const;
  void setSelectedItem(const QString& title);

  // The page of the tab `title` (a GeneralView, RecorderView, ...); null for an unknown title.
  QWidget* page(const QString& title) const;
  template <typename Page>
  Page* page() const {
    for (const QString& title : tabTitles()) {
      if (auto* found = qobject_cast<Page*>(page(title))) return found;
    }
    return nullptr;
  }

 signals:
  void selectedItemChanged(const QString& title);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QListWidget* sidebar_ = nullptr;
  QStackedWidget* pages_ = nullptr;
};

}  // namespace tk
