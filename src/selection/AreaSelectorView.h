#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/media/ShareableContent.h"
#include "selection/AreaSelectionStorage.h"
#include "selection/SelectionServices.h"

class QLabel;

namespace tk {

class AreaOverlayWindow;
class CloseButton;
class RecordActionButton;
class ResizePanelView;
class ScreenSelectorViewModel;
struct ScreenThumbnail;
class SymbolButton;

// The area picker: the toolbar window titled "Area Control Panel" near the bottom of the display,
// which owns the overlay over that display and the area they share. Close, Resize (the size
// sheet), the area's size and Record. Record hides both windows, so that neither is recorded nor
// catches a click, and asks the coordinator to prepare and start a recording of the area; on
// success both close, on failure both come back with the "Recording Error" alert. The window
// deletes itself when closed. Main thread only.
class AreaSelectorView : public QWidget {
  Q_OBJECT
 public:
  static constexpr QSize kPanelSize{420, 52};
  static constexpr QSizeF kInitialAreaSize{600, 450};
  static constexpr int kResizeButtonWidth = 44;

  AreaSelectorView(CaptureDisplayRef screen, SelectionServices services, QWidget* parent = nullptr);
  ~AreaSelectorView() override;

  // Opens the picker over `screen`: without a compositing manager it first takes the display's
  // picture for the overlay to show. Returns the panel (it deletes itself when closed).
  static AreaSelectorView* open(CaptureDisplayRef screen, SelectionServices services);
  // Shows the overlay and the panel (after the backdrop, when the overlay cannot be translucent).
  QCoro::Task<void> present();

  const CaptureDisplayRef& screen() const { return screen_; }
  AreaOverlayWindow* overlayWindow() const { return overlayWindow_.get(); }
  AreaSelectionStorage& storage() { return storage_; }
  bool isTranslucent() const { return translucent_; }

  // The user's actions.
  QCoro::Task<void> record();
  void openResizeSheet();
  void onClose();

  // "W × H" of the area (of the stored size while there is no area).
  QString sizeText() const;

  CloseButton* closeButton() const { return closeButton_; }
  SymbolButton* resizeButton() const { return resizeButton_; }
  QLabel* sizeLabel() const { return sizeLabel_; }
  RecordActionButton* recordButton() const { return recordButton_; }
  ResizePanelView* resizeSheet() const;

  // Where the panel goes on its display: centred, 80 points above the bottom of the usable area.
  static QPoint panelPosition(QRect displayFrame, QRect usableFrame);

 signals:
  // Record finished: the recording started (true) or failed with the alert shown (false).
  void recordFinished(bool started);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void buildLayout();
  void refreshSizeLabel();
  void showWindows();
  void useBackdrop(const std::shared_ptr<const ScreenThumbnail>& thumbnail);
  void hideWindows();

  CaptureDisplayRef screen_;
  SelectionServices services_;
  AreaSelectionStorage storage_;
  bool translucent_ = false;
  std::unique_ptr<AreaOverlayWindow> overlayWindow_;
  ScreenSelectorViewModel* screens_ = nullptr;
  CloseButton* closeButton_ = nullptr;
  SymbolButton* resizeButton_ = nullptr;
  QLabel* sizeLabel_ = nullptr;
  RecordActionButton* recordButton_ = nullptr;
  QPointer<ResizePanelView> resizeSheet_;
  bool recording_ = false;
  QPoint dragOffset_;
};

}  // namespace tk
