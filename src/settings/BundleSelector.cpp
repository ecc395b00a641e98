#include "settings/BundleSelector.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QToolButton>
#include <algorithm>

#include "platform/qt/DesktopEntry.h"
#include "platform/qt/Diagnostics.h"
#include "settings/SettingsKeys.h"
#include "ui/Symbols.h"

namespace tk {

namespace {

// The desktop's file dialog, opened where the installed applications' entries are.
std::optional<QString> askForEntry(QWidget* parent) {
  const QString file = QFileDialog::getOpenFileName(parent, QStringLiteral("Choose an Application"),
                                                    QStringLiteral("/usr/share/applications"),
                                                    QStringLiteral("Applications (*.desktop)"));
  if (file.isEmpty()) return std::nullopt;
  return file;
}

QString text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

BundleSelector::BundleSelector(QWidget* parent) : BundleSelector(askForEntry, parent) {}

BundleSelector::BundleSelector(EntryChooser chooser, QWidget* parent)
    : QWidget(parent), chooser_(std::move(chooser)) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::NoSelection);
  list_->setFocusPolicy(Qt::NoFocus);
  add_ = new QToolButton(this);
  add_->setAutoRaise(true);
  add_->setIconSize(QSize(20, 20));
  add_->setIcon(symbolIcon(Symbol::plusSquareFill, palette().color(QPalette::PlaceholderText)));
  add_->setToolTip(QStringLiteral("Add an application"));
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
  const QString id = entry->applicationId();
  if ((!entry->type.isEmpty() && entry->type != QLatin1String("Application")) || id.isEmpty()) {
    Diagnostics::line("⚠️ Not an application entry with a window class: " + path.toStdString());
    return false;
  }
  const QString name = entry->name.isEmpty() ? QFileInfo(path).completeBaseName() : entry->name;
  const AppInfo app{id.toStdString(), name.toStdString()};
  if (std::find(bundles_.begin(), bundles_.end(), app) != bundles_.end()) return false;
  std::vector<AppInfo> changed = bundles_;
  changed.push_back(app);
  setBundles(std::move(changed));
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
  for (const AppInfo& app : bundles_) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* minus = new QToolButton(row);
    minus->setAutoRaise(true);
    minus->setIconSize(QSize(12, 12));
    minus->setIcon(symbolIcon(Symbol::minusCircleFill, QColor(255, 59, 48)));
    minus->setToolTip(QStringLiteral("Remove"));
    // Names come from files anyone can write: shown as plain text, never as markup.
    auto* name = new QLabel(text(app.name), row);
    name->setTextFormat(Qt::PlainText);
    name->setFont(small);
    layout->addWidget(minus);
    layout->addWidget(name, 1);
    // Queued: removing rebuilds the rows, and with them the button still sending its click.
    connect(
        minus, &QToolButton::clicked, this, [this, app] { remove(app); }, Qt::QueuedConnection);
    auto* item = new QListWidgetItem(list_);
    item->setSizeHint(row->sizeHint());
    list_->setItemWidget(item, row);
  }
}

}  // namespace tk
