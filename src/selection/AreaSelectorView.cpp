#include "selection/AreaSelectorView.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

#include "model/RecordingError.h"
#include "platform/qt/Diagnostics.h"
#include "platform/x11/NeverCapture.h"
#include "platform/x11/OverlayWindowShape.h"
#include "recording/RecordingServices.h"
#include "selection/AreaOverlayView.h"
#include "selection/AreaOverlayWindow.h"
#include "selection/CloseButton.h"
#include "selection/RecordActionButton.h"
#include "selection/RecordingErrorAlert.h"
#include "selection/ResizePanelView.h"
#include "selection/ScreenSelectorViewModel.h"
#include "settings/RecordingConfigurationBuilder.h"
#include "settings/SettingsKeys.h"
#include "ui/SymbolButton.h"

namespace tk {

namespace {

QColor gray(double opacity) {
  QColor color(142, 142, 147);
  color.setAlphaF(float(opacity));
  return color;
}

void markNeverCaptured(QWidget* window, const char* what) {
  try {
    markNeverCapture(window->winId());
  } catch (const std::exception& error) {
    Diagnostics::line(std::string("⚠️ ") + what + " may appear in recordings: " + error.what());
  }
}

}  // namespace

AreaSelectorView::AreaSelectorView(CaptureDisplayRef screen, SelectionServices services, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint),
      screen_(std::move(screen)),
      services_(services),
      translucent_(OverlayWindowShape::compositingManagerRunning()) {
  setWindowTitle(QStringLiteral("Area Control Panel"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_TranslucentBackground);
  setFixedSize(kPanelSize);
  screens_ = new ScreenSelectorViewModel(this);

  const QRect frame = screen_ ? screen_->frame.toAlignedRect() : QRect();
  overlayWindow_ =
      std::make_unique<AreaOverlayWindow>(frame, kInitialAreaSize.toSize(), storage_, translucent_);
  connect(overlayWindow_->overlayView(), &AreaOverlayView::selectionChanged, this,
          [this] { refreshSizeLabel(); });

  buildLayout();
  refreshSizeLabel();
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &AreaSelectorView::onClose);

  QRect usable = frame;
  if (screen_) {
    if (QScreen* shown = ScreenSelectorViewModel::screenOf(*screen_)) usable = shown->availableGeometry();
  }
  move(panelPosition(frame, usable));
}

AreaSelectorView::~AreaSelectorView() = default;

ResizePanelView* AreaSelectorView::resizeSheet() const {
  return resizeSheet_.data();
}

QPoint AreaSelectorView::panelPosition(QRect displayFrame, QRect usableFrame) {
  return {displayFrame.x() + (displayFrame.width() - kPanelSize.width()) / 2,
          usableFrame.y() + usableFrame.height() - 80 - kPanelSize.height()};
}

AreaSelectorView* AreaSelectorView::open(CaptureDisplayRef screen, SelectionServices services) {
  auto* panel = new AreaSelectorView(std::move(screen), services);
  panel->present();
  return panel;
}

QCoro::Task<void> AreaSelectorView::present() {
  QPointer<AreaSelectorView> self(this);
  if (!translucent_ && screen_) {
    // An opaque overlay would hide what is being picked: it shows the display's picture instead.
    std::vector<CaptureDisplayRef> displays(1, screen_);
    co_await screens_->refreshScreens(std::move(displays));
    if (!self) co_return;
    useBackdrop(screens_->thumbnailFor(*screen_));
  }
  showWindows();
}

void AreaSelectorView::useBackdrop(const std::shared_ptr<const ScreenThumbnail>& thumbnail) {
  if (thumbnail) {
    overlayWindow_->overlayView()->setBackdrop(thumbnail->image);
  } else {
    Diagnostics::line("⚠️ No picture of the display for the area overlay");
  }
}

void AreaSelectorView::showWindows() {
  overlayWindow_->present();
  markNeverCaptured(this, "Area control panel");
  show();
  raise();
  activateWindow();
}

void AreaSelectorView::hideWindows() {
  if (resizeSheet_) resizeSheet_->reject();
  overlayWindow_->hide();
  hide();
}

void AreaSelectorView::buildLayout() {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 0, 16, 0);
  row->setSpacing(0);

  closeButton_ = new CloseButton({16, 28}, this);
  connect(closeButton_, &QPushButton::clicked, this, &AreaSelectorView::onClose);
  row->addWidget(closeButton_);

  auto* separator = new QWidget(this);
  separator->setFixedSize(1, 28);
  separator->setAttribute(Qt::WA_StyledBackground);
  separator->setStyleSheet("background-color: rgba(255, 255, 255, 38);");
  row->addSpacing(12);
  row->addWidget(separator);
  row->addSpacing(12);

  resizeButton_ = new SymbolButton(Symbol::viewfinder, 18, {kResizeButtonWidth, kPanelSize.height()}, this);
  resizeButton_->setCaption(tr("Resize"), 10);
  resizeButton_->setSymbolColor(QColor(0, 122, 255));
  resizeButton_->setCaptionColor(gray(0.6));
  connect(resizeButton_, &QPushButton::clicked, this, &AreaSelectorView::openResizeSheet);
  row->addWidget(resizeButton_);
  row->addSpacing(12);

  sizeLabel_ = new QLabel(this);
  sizeLabel_->setTextFormat(Qt::PlainText);
  QFont font = sizeLabel_->font();
  font.setPixelSize(12);
  font.setWeight(QFont::Medium);
  sizeLabel_->setFont(font);
  sizeLabel_->setStyleSheet("color: rgba(255, 255, 255, 178);");
  row->addWidget(sizeLabel_);
  row->addStretch();

  recordButton_ = new RecordActionButton({16, 8}, this);
  connect(recordButton_, &QAbstractButton::clicked, this, [this] { record(); });
  row->addWidget(recordButton_);
}

QString AreaSelectorView::sizeText() const {
  long long width = settings::areaWidth.read();
  long long height = settings::areaHeight.read();
  if (storage_.selectedArea) {
    width = (long long)storage_.selectedArea->width();
    height = (long long)storage_.selectedArea->height();
  }
  return QString::number(width) + QStringLiteral(" × ") + QString::number(height);
}

void AreaSelectorView::refreshSizeLabel() {
  sizeLabel_->setText(sizeText());
}

void AreaSelectorView::openResizeSheet() {
  if (resizeSheet_) {
    resizeSheet_->raise();
    return;
  }
  QPointer<AreaSelectorView> self(this);
  // The sheet starts from the area as drawn; the stored size stands in only while there is none.
  QSize drawn(int(settings::areaWidth.read()), int(settings::areaHeight.read()));
  if (storage_.selectedArea) drawn = storage_.selectedArea->size().toSize();
  resizeSheet_ = new ResizePanelView(screen_, drawn, settings::resolution.read(), [self](QSize size) {
    // What is drawn is what is recorded: the overlay takes the typed size.
    if (self) self->overlayWindow_->overlayView()->setSelectionSize(QSizeF(size));
  });
  resizeSheet_->setAttribute(Qt::WA_DeleteOnClose);
  resizeSheet_->setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
  markNeverCaptured(resizeSheet_, "Resize sheet");
  resizeSheet_->adjustSize();
  resizeSheet_->move(x() + (width() - resizeSheet_->width()) / 2, y() - resizeSheet_->height() - 8);
  resizeSheet_->show();
  resizeSheet_->raise();
  resizeSheet_->activateWindow();
}

void AreaSelectorView::onClose() {
  if (resizeSheet_) resizeSheet_->close();
  overlayWindow_->close();
  close();
}

QCoro::Task<void> AreaSelectorView::record() {
  const std::optional<QRectF> area = storage_.selectedArea;
  if (!area) {
    Diagnostics::line("❌ No area selected");
    co_return;
  }
  if (recording_ || !services_.recording) co_return;
  recording_ = true;
  QPointer<AreaSelectorView> self(this);
  RecordingControl* recording = services_.recording;
  // Neither window may be in the movie or catch the first clicks of the recording.
  hideWindows();
  std::string failure;
  try {
    RecordingConfiguration configuration =
        RecordingConfigurationBuilder::build(RecordingMode::screenArea(screen_, *area));
    co_await recording->prepareRecording(RecordingMode::screenArea(screen_, *area), std::move(configuration));
    co_await recording->startRecording();
  } catch (...) {
    failure = describeException(std::current_exception());
  }
  if (!self) co_return;
  recording_ = false;
  if (failure.empty()) {
    emit recordFinished(true);
    onClose();
    co_return;
  }
  showWindows();
  showRecordingErrorAlert(tr("Failed to start recording: ") + QString::fromStdString(failure));
  emit recordFinished(false);
}

void AreaSelectorView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromRgbF(0.18f, 0.18f, 0.18f, 0.92f));
  painter.drawRoundedRect(QRectF(rect()), 10, 10);
}

// Movable by its background; the window manager does not handle it, so it moves itself.
void AreaSelectorView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragOffset_ = event->globalPosition().toPoint() - pos();
}

void AreaSelectorView::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
}

}  // namespace tk
