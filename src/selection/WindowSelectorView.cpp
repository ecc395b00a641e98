#include "selection/WindowSelectorView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "model/RecordingError.h"
#include "recording/RecordingServices.h"
#include "selection/CloseButton.h"
#include "selection/RecordActionButton.h"
#include "selection/RecordingErrorAlert.h"
#include "selection/ScreenSelectorViewModel.h"
#include "selection/WindowSelectorViewModel.h"
#include "selection/WindowThumbnailCard.h"
#include "settings/RecordingConfigurationBuilder.h"

namespace tk {

namespace {

constexpr int kTitleBarHeight = 44;
constexpr int kBottomBarHeight = 56;
constexpr int kTabBarHeight = 12 + 24 + 12;
constexpr int kGridPadding = 16;
constexpr int kGridSpacing = 12;
constexpr int kRowPitch = WindowThumbnailCard::kHeight + kGridSpacing;

QColor grey(double level, double opacity) {
  return QColor::fromRgbF(float(level), float(level), float(level), float(opacity));
}

QString windowSelectorTitle() {
  return QStringLiteral("Window Selector");
}

}  // namespace

WindowSelectorView::WindowSelectorView(SelectionServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), services_(services) {
  setWindowTitle(windowSelectorTitle());
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_TranslucentBackground);
  resize(kWindowSize);
  viewModel_ = new WindowSelectorViewModel(services_.content, this);
  buildLayout();
  connect(viewModel_, &WindowSelectorViewModel::windowsByDisplayChanged, this, [this] {
    rebuildTabs();
    layoutGrid();
  });
  connect(viewModel_, &WindowSelectorViewModel::thumbnailChanged, this, &WindowSelectorView::updateCard);
  connect(scrollArea_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { makeVisibleCards(); });
  scrollArea_->viewport()->installEventFilter(this);
  rebuildTabs();
  layoutGrid();
}

WindowSelectorView::~WindowSelectorView() = default;

WindowSelectorView* WindowSelectorView::open(SelectionServices services) {
  auto* view = new WindowSelectorView(services);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    view->move(available.center() - QPoint(kWindowSize.width() / 2, kWindowSize.height() / 2));
  }
  view->show();
  view->raise();
  view->activateWindow();
  return view;
}

void WindowSelectorView::buildLayout() {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // Title bar: close, the title centred, and a clear square that balances the close button.
  auto* titleBar = new QWidget(this);
  titleBar->setFixedHeight(kTitleBarHeight);
  auto* titleRow = new QHBoxLayout(titleBar);
  titleRow->setContentsMargins(16, 0, 16, 0);
  closeButton_ = new CloseButton({28, 28}, titleBar);
  connect(closeButton_, &QPushButton::clicked, this, &WindowSelectorView::closeWindowSelector);
  titleRow->addWidget(closeButton_);
  titleRow->addStretch();
  auto* title = new QLabel(tr("Select Window to Record"), titleBar);
  QFont titleFont = title->font();
  titleFont.setPixelSize(14);
  titleFont.setWeight(QFont::Medium);
  title->setFont(titleFont);
  title->setStyleSheet("color: rgba(255, 255, 255, 230);");
  titleRow->addWidget(title);
  titleRow->addStretch();
  titleRow->addSpacing(28);
  column->addWidget(titleBar);

  tabBar_ = new QWidget(this);
  tabBar_->setFixedHeight(kTabBarHeight);
  tabRow_ = new QHBoxLayout(tabBar_);
  tabRow_->setContentsMargins(8, 10, 8, 10);
  tabRow_->setSpacing(8);
  column->addWidget(tabBar_);

  scrollArea_ = new QScrollArea(this);
  scrollArea_->setFrameShape(QFrame::NoFrame);
  scrollArea_->setWidgetResizable(true);
  scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scrollArea_->setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
  // Cards are placed by hand: the grid is as high as all its rows, but holds only the cards seen.
  grid_ = new QWidget();
  scrollArea_->setWidget(grid_);
  column->addWidget(scrollArea_, 1);

  auto* bottomBar = new QWidget(this);
  bottomBar->setFixedHeight(kBottomBarHeight);
  auto* bottomRow = new QHBoxLayout(bottomBar);
  bottomRow->setContentsMargins(0, 0, 0, 0);
  bottomRow->addStretch();
  recordButton_ = new RecordActionButton({20, 10}, bottomBar);
  recordButton_->setEnabled(false);
  connect(recordButton_, &QAbstractButton::clicked, this, [this] { recordSelectedWindows(); });
  bottomRow->addWidget(recordButton_);
  bottomRow->addStretch();
  column->addWidget(bottomBar);
}

std::vector<CaptureDisplayRef> WindowSelectorView::sortedDisplays() const {
  std::vector<CaptureDisplayRef> displays;
  for (const auto& [display, thumbnails] : viewModel_->windowsByDisplay()) displays.push_back(display);
  std::stable_sort(
      displays.begin(), displays.end(),
      [](const CaptureDisplayRef& a, const CaptureDisplayRef& b) { return a->displayID < b->displayID; });
  return displays;
}

CaptureDisplayRef WindowSelectorView::currentDisplay() const {
  const std::vector<CaptureDisplayRef> displays = sortedDisplays();
  if (displays.empty()) return nullptr;
  if (selectedTab_ >= 0 && size_t(selectedTab_) < displays.size()) return displays[size_t(selectedTab_)];
  return displays.front();
}

void WindowSelectorView::rebuildTabs() {
  // A tab's own click rebuilds the tabs: its button goes once the click is done with it.
  while (QLayoutItem* item = tabRow_->takeAt(0)) {
    if (QWidget* widget = item->widget()) {
      widget->hide();
      widget->deleteLater();
    }
    delete item;
  }
  tabButtons_.clear();
  const std::vector<CaptureDisplayRef> displays = sortedDisplays();
  tabBar_->setVisible(displays.size() > 1);
  if (displays.size() <= 1) return;
  tabRow_->addStretch();
  for (size_t index = 0; index < displays.size(); ++index) {
    auto* button = new QPushButton(ScreenSelectorViewModel::screenName(*displays[index]), tabBar_);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    const bool selected = int(index) == selectedTab_;
    button->setStyleSheet(
        QStringLiteral("QPushButton { font-size: 12px; font-weight: 500; padding: 6px 12px; "
                       "border: none; border-radius: 6px; color: %1; background: %2; }")
            .arg(selected ? "white" : "gray", selected ? "rgb(0, 122, 255)" : "transparent"));
    connect(button, &QPushButton::clicked, this, [this, index] { selectTab(int(index)); });
    tabRow_->addWidget(button);
    tabButtons_.push_back(button);
  }
  tabRow_->addStretch();
}

void WindowSelectorView::layoutGrid() {
  const CaptureDisplayRef display = currentDisplay();
  shown_ = display ? viewModel_->windowsOf(*display) : std::vector<std::shared_ptr<const WindowThumbnail>>{};
  // Cards of windows no longer in the grid go; the others stay as they are.
  for (auto it = cardsById_.begin(); it != cardsById_.end();) {
    const uint32_t id = it->first;
    const bool kept = std::any_of(shown_.begin(), shown_.end(),
                                  [id](const auto& thumbnail) { return thumbnail->window->windowID == id; });
    if (kept) {
      ++it;
    } else {
      delete it->second;
      it = cardsById_.erase(it);
    }
  }
  // A window that left the grid cannot be recorded from here: it is no longer chosen either.
  std::erase_if(selectedWindows_, [this](const CaptureWindowRef& window) {
    return std::none_of(shown_.begin(), shown_.end(), [&](const auto& thumbnail) {
      return thumbnail->window->windowID == window->windowID;
    });
  });
  const int available = std::max(0, scrollArea_->viewport()->width() - 2 * kGridPadding);
  columns_ = std::max(1, (available + kGridSpacing) / (WindowThumbnailCard::kMinimumWidth + kGridSpacing));
  // The row's room shared out between the columns; a viewport narrower than one column still
  // keeps its card inside.
  columnWidth_ = std::clamp((available - (columns_ - 1) * kGridSpacing) / columns_, 1,
                            WindowThumbnailCard::kMaximumWidth);
  const int rows = (int(shown_.size()) + columns_ - 1) / columns_;
  grid_->setMinimumHeight(rows == 0 ? 0 : 2 * kGridPadding + rows * kRowPitch - kGridSpacing);
  makeVisibleCards();
}

void WindowSelectorView::makeVisibleCards() {
  const int top = scrollArea_->verticalScrollBar()->value();
  const int bottom = top + scrollArea_->viewport()->height();
  // One row more on each side, so a short scroll finds its cards made.
  const int firstRow = std::max(0, (top - kGridPadding) / kRowPitch - 1);
  const int lastRow = std::max(0, (bottom - kGridPadding) / kRowPitch + 1);
  const int count = int(shown_.size());
  std::vector<uint32_t> madeNow;
  for (int index = firstRow * columns_; index < std::min(count, (lastRow + 1) * columns_); ++index) {
    const auto& thumbnail = shown_[size_t(index)];
    const uint32_t id = thumbnail->window->windowID;
    if (cardsById_.count(id)) continue;
    auto* card = new WindowThumbnailCard(thumbnail, grid_);
    connect(card, &QAbstractButton::clicked, this, [this, card] { toggleSelection(*card->thumbnail()); });
    cardsById_[id] = card;
    card->show();
    if (thumbnail->placeholder) madeNow.push_back(id);
  }
  // Centred rows of column-wide cards, in the model's order.
  const int rowWidth = columns_ * columnWidth_ + (columns_ - 1) * kGridSpacing;
  const int left = std::max(kGridPadding, (scrollArea_->viewport()->width() - rowWidth) / 2);
  cards_.clear();
  for (int index = 0; index < count; ++index) {
    const auto found = cardsById_.find(shown_[size_t(index)]->window->windowID);
    if (found == cardsById_.end()) continue;
    if (found->second->thumbnail() != shown_[size_t(index)])
      found->second->setThumbnail(shown_[size_t(index)]);
    if (found->second->width() != columnWidth_) found->second->setFixedWidth(columnWidth_);
    found->second->move(left + (index % columns_) * (columnWidth_ + kGridSpacing),
                        kGridPadding + (index / columns_) * kRowPitch);
    cards_.push_back(found->second);
  }
  // The windows in view get their pictures first.
  if (!madeNow.empty()) viewModel_->prioritize(madeNow);
  applySelection();
}

void WindowSelectorView::updateCard(const std::shared_ptr<const WindowThumbnail>& thumbnail) {
  const auto id = thumbnail->window->windowID;
  for (auto& shown : shown_) {
    if (shown->window->windowID == id) shown = thumbnail;
  }
  if (const auto found = cardsById_.find(id); found != cardsById_.end())
    found->second->setThumbnail(thumbnail);
}

void WindowSelectorView::applySelection() {
  for (WindowThumbnailCard* card : cards_) {
    const uint32_t id = card->thumbnail()->window->windowID;
    card->setSelected(std::any_of(selectedWindows_.begin(), selectedWindows_.end(),
                                  [id](const CaptureWindowRef& window) { return window->windowID == id; }));
  }
  recordButton_->setEnabled(!selectedWindows_.empty());
}

void WindowSelectorView::selectTab(int index) {
  selectedTab_ = index;
  selectedWindows_.clear();
  rebuildTabs();
  // Another display's windows: its cards are made afresh, from its top.
  for (auto& [id, card] : cardsById_) delete card;
  cardsById_.clear();
  scrollArea_->verticalScrollBar()->setValue(0);
  layoutGrid();
}

void WindowSelectorView::toggleSelection(const WindowThumbnail& thumbnail) {
  const uint32_t id = thumbnail.window->windowID;
  const auto same = [id](const CaptureWindowRef& window) { return window->windowID == id; };
  if (std::any_of(selectedWindows_.begin(), selectedWindows_.end(), same)) {
    std::erase_if(selectedWindows_, same);
  } else {
    selectedWindows_.push_back(thumbnail.window);
  }
  applySelection();
}

void WindowSelectorView::closeWindowSelector() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->windowTitle() == windowSelectorTitle() && widget->isVisible()) widget->close();
  }
}

QCoro::Task<void> WindowSelectorView::recordSelectedWindows() {
  // The display of the tab shown now: a picker whose pictures came late must not ignore Record.
  if (selectedWindows_.empty() || !currentDisplay() || recording_ || !services_.recording) co_return;
  recording_ = true;
  QPointer<WindowSelectorView> self(this);
  RecordingControl* recording = services_.recording;
  const std::vector<CaptureWindowRef> windows = selectedWindows_;
  closeWindowSelector();
  std::string failure;
  try {
    const RecordingMode mode = RecordingConfigurationBuilder::windowSelectionMode(windows);
    RecordingConfiguration configuration = RecordingConfigurationBuilder::build(mode);
    co_await recording->prepareRecording(mode, std::move(configuration));
    co_await recording->startRecording();
  } catch (...) {
    failure = describeException(std::current_exception());
  }
  if (!failure.empty())
    showRecordingErrorAlert(tr("Failed to start recording: ") + QString::fromStdString(failure));
  if (self) {
    recording_ = false;
    emit recordFinished(failure.empty());
  }
}

void WindowSelectorView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (refreshed_) return;
  refreshed_ = true;
  viewModel_->refreshWindows(false);
}

bool WindowSelectorView::eventFilter(QObject* watched, QEvent* event) {
  // The viewport narrows when the scroll bar comes with a longer list, not only with the window.
  if (watched == scrollArea_->viewport() && event->type() == QEvent::Resize) layoutGrid();
  return QWidget::eventFilter(watched, event);
}

void WindowSelectorView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), 12, 12);
  painter.setClipPath(shape);
  painter.fillRect(rect(), grey(0.18, 0.92));
  painter.fillRect(QRect(0, 0, width(), kTitleBarHeight), grey(0.12, 0.95));
  if (tabBar_->isVisible()) painter.fillRect(tabBar_->geometry(), grey(0.15, 0.9));
  painter.fillRect(scrollArea_->geometry(), grey(0.1, 0.85));
  painter.fillRect(QRect(0, height() - kBottomBarHeight, width(), kBottomBarHeight), grey(0.12, 0.95));
}

void WindowSelectorView::mousePressEvent(QMouseEvent* event) {
  // Movable by its background.
  if (event->button() == Qt::LeftButton && windowHandle()) windowHandle()->startSystemMove();
}

}  // namespace tk
