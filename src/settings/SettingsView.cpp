#include "settings/SettingsView.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QScreen>
#include <QShowEvent>
#include <QStackedWidget>
#include <array>

#include "settings/BlocklistView.h"
#include "settings/GeneralView.h"
#include "settings/HotkeyView.h"
#include "settings/OutputView.h"
#include "settings/RecorderView.h"
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
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // An opening, not the desktop showing the window again (un-minimising): start at General.
  if (event->spontaneous()) return;
  setSelectedItem(QStringLiteral("General"));
  // Placed before the window is mapped, so the window manager keeps the place (it would otherwise
  // put the window under the pointer, partly below the screen when the pointer is low).
  fitIntoScreen();
  // Once framed, the real frame is known and the window is fitted again.
  fitPending_ = true;
}

bool SettingsView::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  if (fitPending_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
      frameGeometry() != geometry()) {
    fitPending_ = false;
    fitIntoScreen();
  }
  return handled;
}

void SettingsView::fitIntoScreen() {
  QScreen* shownOn = placed_ ? screen() : QGuiApplication::screenAt(QCursor::pos());
  if (!shownOn) shownOn = screen();
  if (!shownOn) return;
  const QRect usable = shownOn->availableGeometry();
  // Before the window manager framed the window its frame is unknown: room is kept for a title
  // bar and borders, and the window is fitted again once framed.
  const QRect frame = frameGeometry();
  const QMargins margins =
      frame != geometry() ? QMargins(geometry().left() - frame.left(), geometry().top() - frame.top(),
                                     frame.right() - geometry().right(), frame.bottom() - geometry().bottom())
                          : QMargins(8, 32, 8, 8);
  const QSize room = usable.size().shrunkBy(margins);
  const QSize fitted = size().boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room));
  if (fitted != size()) resize(fitted);
  QRect outer(frame.topLeft(), fitted.grownBy(margins));
  // First opening: in the middle of the screen. Later: where it was, moved in as little as it takes.
  if (!placed_) outer.moveCenter(usable.center());
  if (outer.right() > usable.right()) outer.moveRight(usable.right());
  if (outer.bottom() > usable.bottom()) outer.moveBottom(usable.bottom());
  if (outer.left() < usable.left()) outer.moveLeft(usable.left());
  if (outer.top() < usable.top()) outer.moveTop(usable.top());
  placed_ = true;
  if (outer.topLeft() != frame.topLeft()) move(outer.topLeft());
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
