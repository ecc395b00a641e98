#pragma once

#include <QCoroTask>
#include <QWidget>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/media/ShareableContent.h"
#include "selection/SelectionServices.h"
#include "selection/WindowThumbnail.h"
#include "selection/WindowThumbnailCard.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;

namespace tk {

class CloseButton;
class RecordActionButton;
class WindowSelectorViewModel;

// The window picker, a borderless window titled "Window Selector": a title bar with its close
// button, one tab per display while more than one display has windows, a grid of the current
// display's window pictures, and Record. The grid is lazy: a card is made when its row first
// comes into view (and its window's picture is asked for first), and a picture that arrives
// updates its own card; the grid lays its cards out again when the list or the viewport changes.
// As many columns as fit at 170 px, each as wide as the row allows up to 200 px, the cards sized
// to them. Cards toggle the selection (in the order chosen); a tab empties it, and a window that
// leaves the grid leaves it too. Record closes the picker and asks the coordinator to prepare and
// start a recording of the chosen window, or of the chosen windows in their order; a failure ends
// in the "Recording Error" alert. The window deletes itself when closed. Main thread only.
class WindowSelectorView : public QWidget {
  Q_OBJECT
 public:
  static constexpr QSize kWindowSize{600, 450};

  explicit WindowSelectorView(SelectionServices services, QWidget* parent = nullptr);
  ~WindowSelectorView() override;

  // Opens the picker centred on the primary screen and starts listing the windows.
  static WindowSelectorView* open(SelectionServices services);

  WindowSelectorViewModel& viewModel() const { return *viewModel_; }
  const std::vector<CaptureWindowRef>& selectedWindows() const { return selectedWindows_; }
  int selectedTab() const { return selectedTab_; }

  // Displays with windows, by ascending id; the tab's display (the first when the tab is gone).
  std::vector<CaptureDisplayRef> sortedDisplays() const;
  CaptureDisplayRef currentDisplay() const;

  // The user's actions.
  void selectTab(int index);
  void toggleSelection(const WindowThumbnail& thumbnail);
  QCoro::Task<void> recordSelectedWindows();
  void closeWindowSelector();

  // The cards made so far, in the grid's order (the rows seen so far), for the tests.
  std::vector<WindowThumbnailCard*> cards() const { return cards_; }
  // How many windows the grid holds (cards made or not).
  int gridCount() const { return int(shown_.size()); }
  QScrollArea* scrollArea() const { return scrollArea_; }
  std::vector<QPushButton*> tabButtons() const { return tabButtons_; }
  QWidget* tabBar() const { return tabBar_; }
  RecordActionButton* recordButton() const { return recordButton_; }
  CloseButton* closeButton() const { return closeButton_; }

 signals:
  // Record finished: the recording started (true) or failed with the alert shown (false).
  void recordFinished(bool started);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildLayout();
  void rebuildTabs();
  // Takes the current display's list again and lays the grid out for it.
  void layoutGrid();
  // Makes the cards of the rows in view (and a row beyond) and places every made card.
  void makeVisibleCards();
  void updateCard(const std::shared_ptr<const WindowThumbnail>& thumbnail);
  void applySelection();

  SelectionServices services_;
  WindowSelectorViewModel* viewModel_ = nullptr;
  std::vector<CaptureWindowRef> selectedWindows_;
  int selectedTab_ = 0;
  bool refreshed_ = false;
  bool recording_ = false;

  CloseButton* closeButton_ = nullptr;
  QWidget* tabBar_ = nullptr;
  QHBoxLayout* tabRow_ = nullptr;
  std::vector<QPushButton*> tabButtons_;
  QScrollArea* scrollArea_ = nullptr;
  QWidget* grid_ = nullptr;
  std::vector<std::shared_ptr<const WindowThumbnail>> shown_;
  std::unordered_map<uint32_t, WindowThumbnailCard*> cardsById_;
  std::vector<WindowThumbnailCard*> cards_;
  int columns_ = 1;
  int columnWidth_ = WindowThumbnailCard::kMinimumWidth;
  RecordActionButton* recordButton_ = nullptr;
};

}  // namespace tk
