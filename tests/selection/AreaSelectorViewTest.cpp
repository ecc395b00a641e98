// The area picker on a two-screen offscreen desktop: where its windows go, what Record hands the
// coordinator and what becomes of the windows, and the typed size.

#include "selection/AreaSelectorView.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>

#include "SelectionTestSupport.h"
#include "selection/AreaOverlayView.h"
#include "selection/AreaOverlayWindow.h"
#include "selection/CloseButton.h"
#include "selection/RecordActionButton.h"
#include "selection/ResizePanelView.h"
#include "ui/SymbolButton.h"

using namespace tk;

namespace {

// Notes whether the picker's windows were on screen when the coordinator was asked to prepare.
class WatchingRecordingControl : public test::FakeRecordingControl {
 public:
  std::function<bool()> windowsShown;
  std::vector<bool> shownAtPrepare;
  QCoro::Task<void> prepareRecording(RecordingMode mode, RecordingConfiguration configuration) override {
    shownAtPrepare.push_back(windowsShown && windowsShown());
    co_await FakeRecordingControl::prepareRecording(std::move(mode), std::move(configuration));
  }
};

class AreaSelectorViewTest : public test::SelectionFixture {
 protected:
  // The picker over the right-hand screen, shown.
  QPointer<AreaSelectorView> openOnRight() {
    display = test::offscreenDisplay(1);
    QPointer<AreaSelectorView> panel = new AreaSelectorView(display, {&watching, &content});
    panel->present();
    EXPECT_TRUE(
        test::waitUntil([&] { return panel && panel->isVisible() && panel->overlayWindow()->isVisible(); }));
    watching.windowsShown = [panel] {
      return panel && (panel->isVisible() || panel->overlayWindow()->isVisible());
    };
    return panel;
  }

  // A drag on the overlay's view, in the widget's own positions (top-left origin).
  static void dragOn(QWidget* view, QPoint from, QPoint to) {
    const auto send = [view](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
      QMouseEvent event(type, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                        Qt::NoModifier);
      QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
  }

  CaptureDisplayRef display;
  WatchingRecordingControl watching;
};

TEST_F(AreaSelectorViewTest, TheOverlayCoversItsDisplayAndThePanelSitsNearTheDisplaysBottom) {
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  AreaOverlayWindow* overlay = panel->overlayWindow();
  EXPECT_EQ(overlay->windowTitle(), "Area Selector");
  EXPECT_EQ(panel->windowTitle(), "Area Control Panel");
  EXPECT_EQ(overlay->geometry(), display->frame.toRect());
  // Without a compositing manager the overlay is opaque and shows the display's picture.
  EXPECT_FALSE(overlay->isTranslucent());

  const QRect frame = display->frame.toRect();
  EXPECT_EQ(panel->size(), AreaSelectorView::kPanelSize);
  EXPECT_EQ(panel->pos().x(), frame.x() + (frame.width() - 420) / 2);
  EXPECT_EQ(panel->geometry().bottom() + 1, frame.bottom() + 1 - 80);

  // The starting area is centred on this display, in its own bottom-left model.
  const QRectF expected((frame.width() - 600) / 2.0, (frame.height() - 450) / 2.0, 600, 450);
  EXPECT_EQ(panel->storage().selectedArea, expected);
  EXPECT_EQ(panel->sizeLabel()->text(), "600 × 450");
}

TEST_F(AreaSelectorViewTest, RecordHidesBothWindowsThenRecordsTheDraggedAreaAndClosesThem) {
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  AreaOverlayView* view = panel->overlayWindow()->overlayView();
  const int height = int(display->frame.height());
  // From 100 down the widget to 400 down: rows 100..400 of the display, y up from its bottom.
  dragOn(view, {100, 100}, {500, 400});
  const QRectF area(100, height - 400, 400, 300);
  EXPECT_EQ(panel->storage().selectedArea, area);
  EXPECT_EQ(panel->sizeLabel()->text(), "400 × 300");

  panel->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return watching.calls.size() == 2; }));
  EXPECT_EQ(watching.calls, (std::vector<std::string>{"prepare", "start"}));
  EXPECT_EQ(watching.shownAtPrepare, std::vector<bool>{false});
  ASSERT_TRUE(watching.preparedMode);
  EXPECT_EQ(*watching.preparedMode, RecordingMode::screenArea(display, area));
  EXPECT_EQ(watching.preparedConfiguration->mode, RecordingMode::screenArea(display, area));
  EXPECT_TRUE(test::waitUntil([&] { return !panel; })) << "the picker stayed after the recording started";
}

TEST_F(AreaSelectorViewTest, AFailedStartBringsBothWindowsBackWithTheAlert) {
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  watching.failPrepare = true;
  panel->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return openAlert() != nullptr; }));
  QMessageBox* alert = openAlert();
  EXPECT_EQ(alert->text(), "Recording Error");
  EXPECT_TRUE(alert->informativeText().startsWith("Failed to start recording: "))
      << alert->informativeText().toStdString();
  ASSERT_TRUE(panel);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_TRUE(panel->overlayWindow()->isVisible());
  // Once only, and the person can try again.
  EXPECT_EQ(watching.calls, std::vector<std::string>{"prepare"});
  alert->close();
  watching.failPrepare = false;
  panel->recordButton()->click();
  EXPECT_TRUE(test::waitUntil([&] { return watching.calls.size() == 3; }));
}

TEST_F(AreaSelectorViewTest, ATypedSizeIsClampedToTheDisplayAndIsWhatTheOverlayDrawsAndRecords) {
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  panel->resizeButton()->click();
  ResizePanelView* sheet = panel->resizeSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->widthField()->text(), "600");

  sheet->widthField()->setText("0");
  sheet->commit(ResizePanelView::Field::width);
  EXPECT_EQ(settings::areaWidth.read(), 1);
  EXPECT_EQ(sheet->widthField()->text(), "1");

  sheet->widthField()->setText("99999");
  sheet->commit(ResizePanelView::Field::width);
  EXPECT_EQ(settings::areaWidth.read(), display->width);
  sheet->heightField()->setText("300");
  sheet->doneButton()->click();
  EXPECT_EQ(settings::areaHeight.read(), 300);

  // The overlay took the size, moved back inside the display.
  const QRectF area = *panel->storage().selectedArea;
  EXPECT_EQ(area.size(), QSizeF(display->width, 300));
  EXPECT_EQ(area.x(), 0);
  EXPECT_EQ(*panel->overlayWindow()->overlayView()->selectionRect(), area);
  EXPECT_EQ(panel->sizeLabel()->text(), QString::number(display->width) + " × 300");

  panel->recordButton()->click();
  ASSERT_TRUE(test::waitUntil([&] { return watching.preparedMode.has_value(); }));
  EXPECT_EQ(*watching.preparedMode, RecordingMode::screenArea(display, area));
}

TEST_F(AreaSelectorViewTest, TheSheetShowsTheMovieSizeAtTheScreensPixelScaleForHighResolution) {
  settings::resolution.write(2);
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  panel->overlayWindow()->overlayView()->setSelectionSize(QSizeF(1000, 500));
  panel->resizeButton()->click();
  ASSERT_NE(panel->resizeSheet(), nullptr);
  // The right-hand screen has two pixels a point.
  EXPECT_EQ(panel->resizeSheet()->outputLabel()->text(), "2000 × 1000");
  panel->resizeSheet()->close();
  ASSERT_TRUE(test::waitUntil([&] { return panel->resizeSheet() == nullptr; }));

  settings::resolution.write(1);
  panel->resizeButton()->click();
  ASSERT_NE(panel->resizeSheet(), nullptr);
  EXPECT_EQ(panel->resizeSheet()->outputLabel()->text(), "1000 × 500");
}

TEST_F(AreaSelectorViewTest, TheSheetStartsFromTheDrawnAreaAndOnlyATypedChangeMovesIt) {
  settings::areaWidth.write(640);
  settings::areaHeight.write(480);
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  dragOn(panel->overlayWindow()->overlayView(), {100, 100}, {900, 400});
  const QRectF drawn = *panel->storage().selectedArea;
  ASSERT_EQ(drawn.size(), QSizeF(800, 300));

  // Opens the sheet and waits until it has the keyboard, as a person finds it.
  const auto openSheet = [&]() -> ResizePanelView* {
    panel->resizeButton()->click();
    ResizePanelView* sheet = panel->resizeSheet();
    if (!sheet) return nullptr;
    sheet->activateWindow();
    EXPECT_TRUE(test::waitUntil([&] { return QApplication::focusWidget() == sheet->widthField(); }))
        << "the width field never took the focus";
    return sheet;
  };
  const auto sheetGone = [&] { return test::waitUntil([&] { return panel->resizeSheet() == nullptr; }); };

  // Return presses Done.
  ResizePanelView* sheet = openSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->widthField()->text(), "800");
  EXPECT_EQ(sheet->heightField()->text(), "300");
  test::pressKey(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(sheetGone()) << "Return did not close the sheet";
  EXPECT_EQ(*panel->storage().selectedArea, drawn);

  // Escape, after walking the fields with Tab.
  sheet = openSheet();
  ASSERT_NE(sheet, nullptr);
  test::pressKey(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), sheet->heightField());
  test::pressKey(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), sheet->widthField());
  EXPECT_EQ(*panel->storage().selectedArea, drawn);
  test::pressKey(QApplication::focusWidget(), Qt::Key_Escape);
  ASSERT_TRUE(sheetGone()) << "Escape did not close the sheet";
  EXPECT_EQ(*panel->storage().selectedArea, drawn);
  EXPECT_EQ(panel->sizeLabel()->text(), "800 × 300");
  EXPECT_EQ(settings::areaWidth.read(), 640);

  // A typed width changes the width alone.
  sheet = openSheet();
  ASSERT_NE(sheet, nullptr);
  test::pressKey(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
  for (const QChar digit : QStringLiteral("900")) test::pressKey(QApplication::focusWidget(), 0, {}, digit);
  test::pressKey(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(panel->storage().selectedArea->size(), QSizeF(900, 300));
  EXPECT_EQ(settings::areaWidth.read(), 900);
  test::pressKey(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(sheetGone());
  EXPECT_EQ(panel->storage().selectedArea->size(), QSizeF(900, 300));
  EXPECT_EQ(panel->sizeLabel()->text(), "900 × 300");
}

TEST_F(AreaSelectorViewTest, CloseAndEscapeCloseBothWindows) {
  QPointer<AreaSelectorView> panel = openOnRight();
  ASSERT_TRUE(panel);
  QPointer<AreaOverlayWindow> overlay = panel->overlayWindow();
  // White while the pointer is over it.
  QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(4, 4));
  QApplication::sendEvent(panel->closeButton(), &enter);
  EXPECT_EQ(panel->closeButton()->symbolColor(), QColor(Qt::white));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(panel->closeButton(), &leave);
  EXPECT_NE(panel->closeButton()->symbolColor(), QColor(Qt::white));
  panel->closeButton()->click();
  EXPECT_TRUE(test::waitUntil([&] { return !panel && !overlay; }));

  QPointer<AreaSelectorView> again = openOnRight();
  ASSERT_TRUE(again);
  again->activateWindow();
  ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == again; }));
  test::pressKey(again, Qt::Key_Escape);
  EXPECT_TRUE(test::waitUntil([&] { return !again; }));
  EXPECT_TRUE(watching.calls.empty());
}

}  // namespace
