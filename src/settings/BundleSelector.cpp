#include "settings/BundleSelector.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QToolButton>
#include <algorithm>

#include "platform/qt/Async.h"
#include "platform/qt/DesktopEntry.h"
#include "platform/qt/Diagnostics.h"
#include "platform/x11/X11ShareableContent.h"
#include "settings/SettingsKeys.h"
#include "ui/Symbols.h"

namespace tk {

namespace {

// The desktop's file dialog, opened where the installed applications' entries are.
std::optional<QString> askForEntry(QWidget* parent) {
  const QString file = QFileDialog::getOpenFileName(parent, BundleSelector::tr("Choose an Application"),
                                                    QStringLiteral("/usr/share/applications"),
                                                    BundleSelector::tr("Applications (*.desktop)"));
  if (file.isEmpty()) return std::nullopt;
  return file;
}

QString text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

BundleSelector::BundleSelector(QWidget* parent) : BundleSelector(askForEntry, parent) {}

BundleSelector::BundleSelector(EntryChooser chooser, QWidget* parent)
    : BundleSelector(std::move(chooser), desktopWindowClasses, parent) {}

BundleSelector::BundleSelector(EntryChooser chooser, OpenWindowClasses openWindowClasses, QWidget* parent)
    : QWidget(parent), chooser_(std::move(chooser)), openWindowClasses_(std::move(openWindowClasses)) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setFocusPolicy(Qt::NoFocus);
  add_ = new QToolButton(this);
  add_->setAutoRaise(true);
  add_->setIconSize(QSize(20, 20));
  add_->setIcon(symbolIcon(Symbol::plusSquareFill, palette().color(QPalette::PlaceholderText)));
  add_->setToolTip(tr("Add an application"));
  add_->setCursor(Qt::PointingHandCursor);
  layout->addWidget(list_, 0, 0);
  // Over the list's bottom-right corner, a point above its edge.
  layout->addWidget(add_, 0, 0, Qt::AlignBottom | Qt::AlignRight);
  add_->setContentsMargins(0, 0, 0, 1);
  connect(add_, &QToolButton::clicked, this, &BundleSelector::chooseAndAdd);
}

QStringList BundleSelector::rowNames() const {
  QStringList names;
  for (const AppInfo& app : bundles_) names << text(app.name);
  return names;
}

void BundleSelector::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  load();
  refreshOpenWindows();
}

std::vector<std::string> BundleSelector::desktopWindowClasses() {
  std::vector<std::string> classes;
  try {
    for (const auto& application : loadShareableContent().applications) {
      if (application) classes.push_back(application->bundleIdentifier);
    }
  } catch (const std::exception& error) {
    Diagnostics::line(std::string("⚠️ The open windows cannot be listed: ") + error.what());
  }
  return classes;
}

QCoro::Task<void> BundleSelector::refreshOpenWindows() {
  if (!openWindowClasses_) co_return;
  QPointer<BundleSelector> self(this);
  OpenWindowClasses ask = openWindowClasses_;
  std::vector<std::string> classes = co_await onWorker(std::move(ask));
  if (!self) co_return;
  openClasses_ = std::move(classes);
  rebuildRows();
}

std::vector<bool> BundleSelector::rowsWithOpenWindow() const {
  std::vector<bool> open;
  for (const AppInfo& app : bundles_) {
    open.push_back(!openClasses_ ||
                   std::any_of(openClasses_->begin(), openClasses_->end(),
                               [&](const std::string& windowClass) { return app.matches(windowClass); }));
  }
  return open;
}

void BundleSelector::load() {
  const auto data = settings::hiddenApps.read();
  if (!data) return;
  std::string problem;
  auto apps = decodeAppInfoList(*data, &problem);
  if (!apps) {
    Diagnostics::line("⚠️ The hidden applications cannot be read (" + problem +
                      "); the next change replaces them");
    return;
  }
  bundles_ = std::move(*apps);
  rebuildRows();
}

void BundleSelector::chooseAndAdd() {
  if (!chooser_) return;
  if (const auto path = chooser_(this)) addEntry(*path);
}

bool BundleSelector::addEntry(const QString& path) {
  const auto entry = DesktopEntry::read(path);
  if (!entry) {
    Diagnostics::line("⚠️ Not a desktop entry: " + path.toStdString());
    return false;
  }
  const QStringList classes = entry->windowClasses();
  // An entry that runs nothing and names no class is no application we can find windows of.
  const bool namesApplication = !entry->applicationId().isEmpty() || !entry->flatpakApplicationId().isEmpty();
  if ((!entry->type.isEmpty() && entry->type != QLatin1String("Application")) || !namesApplication) {
    Diagnostics::line("⚠️ Not an application entry with a window class: " + path.toStdString());
    return false;
  }
  const QString name = entry->name.isEmpty() ? QFileInfo(path).completeBaseName() : entry->name;
  AppInfo app{classes.first().toStdString(), name.toStdString()};
  for (qsizetype i = 1; i < classes.size(); ++i) app.windowClasses.push_back(classes[i].toStdString());
  if (std::find(bundles_.begin(), bundles_.end(), app) != bundles_.end()) return false;
  std::vector<AppInfo> changed = bundles_;
  changed.push_back(std::move(app));
  setBundles(std::move(changed));
  // The application may have been started since the tab was shown.
  refreshOpenWindows();
  return true;
}

void BundleSelector::remove(const AppInfo& app) {
  const auto found = std::find(bundles_.begin(), bundles_.end(), app);
  if (found == bundles_.end()) return;  // the list changed meanwhile
  std::vector<AppInfo> changed = bundles_;
  changed.erase(changed.begin() + (found - bundles_.begin()));
  setBundles(std::move(changed));
}

bool BundleSelector::removeRow(int index) {
  if (index < 0 || index >= list_->count()) return false;
  auto* minus = list_->itemWidget(list_->item(index))->findChild<QToolButton*>();
  if (!minus) return false;
  minus->click();
  return true;
}

void BundleSelector::setBundles(std::vector<AppInfo> bundles) {
  bundles_ = std::move(bundles);
  save();
  rebuildRows();
}

void BundleSelector::save() const {
  settings::hiddenApps.write(encodeAppInfoList(bundles_));
}

void BundleSelector::rebuildRows() {
  list_->clear();
  QFont small = font();
  small.setPointSize(std::max(8, small.pointSize() - 1));
  const std::vector<bool> open = rowsWithOpenWindow();
  for (size_t index = 0; index < bundles_.size(); ++index) {
    const AppInfo& app = bundles_[index];
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* minus = new QToolButton(row);
    minus->setAutoRaise(true);
    minus->setIconSize(QSize(12, 12));
    minus->setIcon(symbolIcon(Symbol::minusCircleFill, QColor(255, 59, 48)));
    minus->setToolTip(tr("Remove"));
    // Names come from files anyone can write: shown as plain text, never as markup.
    auto* name = new QLabel(text(app.name), row);
    name->setTextFormat(Qt::PlainText);
    name->setFont(small);
    layout->addWidget(minus);
    layout->addWidget(name, 1);
    if (!open[index]) {
      auto* note = new QLabel(tr("No open window matches"), row);
      note->setObjectName(QStringLiteral("noOpenWindow"));
      note->setTextFormat(Qt::PlainText);
      note->setFont(small);
      note->setForegroundRole(QPalette::PlaceholderText);
      QStringList classes{QString::fromStdString(app.bundleID)};
      for (const auto& other : app.windowClasses) classes << QString::fromStdString(other);
      note->setToolTip(tr("Its windows are left out once they open with one of these classes: %1")
                           .arg(classes.join(QStringLiteral(", "))));
      layout->addWidget(note);
    }
    // Queued: removing rebuilds the rows, and with them the button still sending its click.
    connect(
        minus, &QToolButton::clicked, this, [this, app] { remove(app); }, Qt::QueuedConnection);
    auto* item = new QListWidgetItem(list_);
    item->setSizeHint(row->sizeHint());
    list_->setItemWidget(item, row);
  }
}

}  // namespace tk
