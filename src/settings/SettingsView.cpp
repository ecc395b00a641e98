#include "settings/SettingsView.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QStackedWidget>
#include <array>

#include "ui/Symbols.h"

namespace tk {

namespace {

struct Tab {
  const char* title;
  Symbol symbol;
};

constexpr std::array<Tab, 5> kTabs = {{
    {"General", Symbol::gearshapeFill},
    {"Recorder", Symbol::recordCircle},
    {"Output", Symbol::film},
    {"Hotkey", Symbol::command},
    {"Blocklist", Symbol::xmarkCircle},
}};

}  // namespace

SettingsView::SettingsView(const QString& selectedItem, QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("tavelkombrix Settings"));
  sidebar_ = new QListWidget(this);
  sidebar_->setFixedWidth(170);
  sidebar_->setIconSize(QSize(16, 16));
  pages_ = new QStackedWidget(this);
  pages_->setFixedSize(600, 512);
  const QColor symbolColor = palette().color(QPalette::WindowText);
  for (const Tab& tab : kTabs) {
    auto* item = new QListWidgetItem(symbolIcon(tab.symbol, symbolColor), QString::fromUtf8(tab.title));
    sidebar_->addItem(item);
    auto* page = new QWidget(pages_);
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
}

QStringList SettingsView::tabTitles() {
  QStringList titles;
  for (const Tab& tab : kTabs) titles << QString::fromUtf8(tab.title);
  return titles;
}

QString SettingsView::selectedItem() const {
  const int row = sidebar_->currentRow();
  return row < 0 ? QString() : sidebar_->item(row)->text();
}

void SettingsView::setSelectedItem(const QString& title) {
  sidebar_->setCurrentRow(tabTitles().indexOf(title));
}

QWidget* SettingsView::page(const QString& title) const {
  const int index = tabTitles().indexOf(title);
  return index < 0 ? nullptr : pages_->widget(index);
}

}  // namespace tk
