#include "settings/SettingsView.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QShowEvent>
#include <QStackedWidget>
#include <array>

#include "settings/BlocklistView.h"
#include "settings/GeneralView.h"
#include "settings/HotkeyView.h"
#include "settings/OutputView.h"
#include "settings/RecorderView.h"
#include "ui/ScreenFit.h"
#include "ui/Symbols.h"

namespace tk {

namespace {

struct Tab {
  const char* title;
  Symbol symbol;
  QWidget* (*make)();
};

template <typename View>
QWidget* make() {
  return new View;
}

constexpr std::array<Tab, 5> kTabs = {{
    {QT_TRANSLATE_NOOP("tk::SettingsView", "General"), Symbol::gearshapeFill, make<GeneralView>},
    {QT_TRANSLATE_NOOP("tk::SettingsView", "Recorder"), Symbol::recordCircle, make<RecorderView>},
    {QT_TRANSLATE_NOOP("tk::SettingsView", "Output"), Symbol::film, make<OutputView>},
    {QT_TRANSLATE_NOOP("tk::SettingsView", "Hotkey"), Symbol::command, make<HotkeyView>},
    {QT_TRANSLATE_NOOP("tk::SettingsView", "Blocklist"), Symbol::xmarkCircle, make<BlocklistView>},
}};

}  // namespace

SettingsView::SettingsView(const QString& selectedItem, QWidget* parent) : QWidget(parent) {
  setWindowTitle(tr("tavelkombrix Settings"));
  sidebar_ = new QListWidget(this);
  sidebar_->setFixedWidth(kSidebarWidth);
  sidebar_->setIconSize(QSize(16, 16));
  pages_ = new QStackedWidget(this);
  // The pages' own size is where the window starts; it grows with the window, and shrinks with it
  // on a small screen (the Recorder page scrolls).
  pages_->setMinimumSize(320, 240);
  pages_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  const QColor symbolColor = palette().color(QPalette::WindowText);
  for (const Tab& tab : kTabs) {
    // The tab's title names it in code; the sidebar shows it translated.
    auto* item = new QListWidgetItem(symbolIcon(tab.symbol, symbolColor), tr(tab.title));
    item->setData(Qt::UserRole, QString::fromUtf8(tab.title));
    sidebar_->addItem(item);
    QWidget* page = tab.make();
    page->setObjectName(QString::fromUtf8(tab.title));
    pages_->addWidget(page);
  }

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 9, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(sidebar_);
  layout->addWidget(pages_);

  connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) pages_->setCurrentIndex(row);
    emit selectedItemChanged(this->selectedItem());
  });
  setSelectedItem(selectedItem);
  resize(kSidebarWidth + kPageSize.width(), 9 + kPageSize.height());
  ScreenFit::install(this);
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // An opening, not the desktop showing the window again (un-minimising): start at General.
  if (event->spontaneous()) return;
  setSelectedItem(QStringLiteral("General"));
}

QStringList SettingsView::tabTitles() {
  QStringList titles;
  for (const Tab& tab : kTabs) titles << QString::fromUtf8(tab.title);
  return titles;
}

QString SettingsView::selectedItem() const {
  const int row = sidebar_->currentRow();
  return row < 0 ? QString() : sidebar_->item(row)->data(Qt::UserRole).toString();
}

void SettingsView::setSelectedItem(const QString& title) {
  sidebar_->setCurrentRow(tabTitles().indexOf(title));
}

QWidget* SettingsView::page(const QString& title) const {
  const int index = tabTitles().indexOf(title);
  return index < 0 ? nullptr : pages_->widget(index);
}

}  // namespace tk
