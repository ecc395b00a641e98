#pragma once

#include <QCoroTask>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/AppInfo.h"

class QListWidget;
class QToolButton;

namespace tk {

// The list of applications that display and area recordings leave out, stored as JSON under
// "hiddenApps" (the form AppInfo reads). An application is added from its desktop entry with
// every window class its windows may carry (DesktopEntry::windowClasses: StartupWMClass, the
// Flatpak application id, the program it runs, the entry's own id), its name the entry's. A row
// whose application has no open window says so, since nothing on the desktop shows which class
// it will carry. Each row's minus removes it; every change is stored at once. Main thread only.
class BundleSelector : public QWidget {
  Q_OBJECT
 public:
  // Asks the user for one desktop entry file; none when cancelled.
  using EntryChooser = std::function<std::optional<QString>(QWidget* parent)>;
  // The WM_CLASS classes of the open windows; called on a worker thread.
  using OpenWindowClasses = std::function<std::vector<std::string>()>;

  explicit BundleSelector(QWidget* parent = nullptr);
  BundleSelector(EntryChooser chooser, QWidget* parent = nullptr);
  BundleSelector(EntryChooser chooser, OpenWindowClasses openWindowClasses, QWidget* parent = nullptr);

  // The desktop's open windows' classes, asked of the X server.
  static std::vector<std::string> desktopWindowClasses();

  const std::vector<AppInfo>& bundles() const { return bundles_; }
  // The row texts, in order.
  QStringList rowNames() const;
  QToolButton* addButton() const { return add_; }
  // Per row, whether an open window belongs to its application (true until the desktop answered).
  std::vector<bool> rowsWithOpenWindow() const;
  // Asks the desktop again which windows are open and updates the rows' notes.
  QCoro::Task<void> refreshOpenWindows();

  // Replaces the list by the stored one (absent or unreadable: unchanged).
  void load();
  // The "+" button: asks for an entry and adds it.
  void chooseAndAdd();
  // Adds the application of the desktop entry at `path`; false (with a line saying why) when it
  // is no application entry or names no window class, and false when it is listed already.
  bool addEntry(const QString& path);
  // The row's minus: removes the first equal record, when there still is one.
  void remove(const AppInfo& app);
  // Presses the minus of row `index` (the removal follows on the next turn of the event loop).
  bool removeRow(int index);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void setBundles(std::vector<AppInfo> bundles);
  void save() const;
  void rebuildRows();

  EntryChooser chooser_;
  OpenWindowClasses openWindowClasses_;
  std::optional<std::vector<std::string>> openClasses_;
  std::vector<AppInfo> bundles_;
  QListWidget* list_ = nullptr;
  QToolButton* add_ = nullptr;
};

}  // namespace tk
