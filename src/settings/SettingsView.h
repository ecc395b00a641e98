#pragma once

#include <QString>
#include <QWidget>

class QListWidget;
class QStackedWidget;

namespace tk {

// The settings window: a sidebar of the five tabs (General, Recorder, Output, Hotkey, Blocklist)
// beside the open tab's page, which grows with the window. Every time the window opens it shows
// "General", wholly on the screen it opens on (frame included), made smaller when that screen is.
// Main thread only.
class SettingsView : public QWidget {
  Q_OBJECT
 public:
  explicit SettingsView(const QString& selectedItem = QStringLiteral("General"), QWidget* parent = nullptr);

  static constexpr QSize kPageSize{600, 512};
  static constexpr int kSidebarWidth = 170;

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
