#include "app/ModeSelectionView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

#include "app/AudioDeviceManager.h"
#include "model/RecordingError.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "settings/RecordingConfigurationBuilder.h"
#include "settings/SettingsKeys.h"
#include "ui/RecordButton.h"
#include "ui/SymbolButton.h"

namespace tk {

namespace {

QColor gray(double opacity) {
  QColor color(142, 142, 147);
  color.setAlphaF(static_cast<float>(opacity));
  return color;
}
const QColor kBlue(0, 122, 255);
const QColor kCameraGreen = QColor::fromRgbF(0.2f, 0.8f, 0.4f);
const QColor kMicrophoneOrange = QColor::fromRgbF(0.85f, 0.5f, 0.15f);
const QColor kSpeakerYellow = QColor::fromRgbF(0.9f, 0.7f, 0.1f);

Symbol modeSymbol(ModeSelectionView::RecordingMode mode) {
  switch (mode) {
    case ModeSelectionView::RecordingMode::screen:
      return Symbol::display;
    case ModeSelectionView::RecordingMode::window:
      return Symbol::window;
    case ModeSelectionView::RecordingMode::area:
      return Symbol::viewfinder;
  }
  return Symbol::display;
}

QWidget* separator(QWidget* parent) {
  auto* line = new QWidget(parent);
  line->setFixedSize(1, 28);
  line->setAttribute(Qt::WA_StyledBackground);
  line->setStyleSheet("background-color: rgba(255, 255, 255, 38);");
  return line;
}

// Device names come from the system and are shown as they are: '&' must not become a shortcut.
QString menuText(const std::string& name) {
  return QString::fromStdString(name).replace('&', "&&");
}

}  // namespace

QString ModeSelectionView::text(RecordingMode mode) {
  switch (mode) {
    case RecordingMode::screen:
      return tr("Display");
    case RecordingMode::window:
      return tr("Window");
    case RecordingMode::area:
      return tr("Area");
  }
  return {};
}

std::optional<ModeSelectionView::RecordingMode> ModeSelectionView::modeFromText(const QString& value) {
  for (RecordingMode mode : allModes) {
    if (text(mode) == value) return mode;
  }
  return std::nullopt;
}

ModeSelectionView::ModeSelectionView(ModeSelectionServices services, bool fromStatusBar, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), fromStatusBar_(fromStatusBar) {
  setWindowTitle(QStringLiteral("tavelkombrix"));
  audioDeviceManager_ = new AudioDeviceManager(services_.devices, this);
  buildLayout();
  applySettings();
  applyModeStyles();
  connect(&SettingsStore::standard(), &SettingsStore::changed, this, [this] { applySettings(); });
  connect(audioDeviceManager_, &AudioDeviceManager::availableDevicesChanged, this,
          &ModeSelectionView::rebuildMicrophoneMenu);
}

ModeSelectionView::~ModeSelectionView() = default;

void ModeSelectionView::buildLayout() {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  closeButton_ = new SymbolButton(Symbol::xmark, 12, {16, 28}, this);
  closeButton_->setSymbolColor(gray(0.6));
  closeButton_->setToolTip(QStringLiteral("Quit tavelkombrix"));
  connect(closeButton_, &QPushButton::clicked, this, [this] { quitApplication(); });
  row->addSpacing(12);
  row->addWidget(closeButton_);
  row->addSpacing(8);
  row->addWidget(separator(this));

  row->addSpacing(12);
  for (RecordingMode mode : allModes) {
    auto* button = new SymbolButton(modeSymbol(mode), 18, {52, kBarHeight}, this);
    button->setCaption(text(mode), 10);
    connect(button, &QPushButton::clicked, this, [this, mode] { selectMode(mode); });
    modeButtons_[static_cast<size_t>(mode)] = button;
    if (mode != allModes.front()) row->addSpacing(8);
    row->addWidget(button);
  }
  if (!services_.openWindowSelector) {
    modeButton(RecordingMode::window)->setEnabled(false);
    modeButton(RecordingMode::window)->setToolTip(tr("Window recording is not available yet"));
  }
  if (!services_.openAreaSelector) {
    modeButton(RecordingMode::area)->setEnabled(false);
    modeButton(RecordingMode::area)->setToolTip(tr("Area recording is not available yet"));
  }
  row->addSpacing(12);
  row->addWidget(separator(this));

  // Camera group.
  cameraButton_ = new SymbolButton(Symbol::videoFill, 15, {20, 28}, this);
  cameraButton_->setToolTip(tr("Camera"));
  connect(cameraButton_, &QPushButton::clicked, this, [this] { toggleCamera(); });
  cameraMenuButton_ = new SymbolButton(Symbol::chevronDown, 9, {16, 28}, this);
  cameraMenuButton_->setToolTip(QStringLiteral("Choose Camera"));
  cameraMenu_ = new QMenu(this);
  cameraMenuButton_->setMenu(cameraMenu_);
  row->addSpacing(12);
  row->addWidget(cameraButton_);
  row->addSpacing(6);
  row->addWidget(cameraMenuButton_);
  row->addSpacing(12);

  // Devices and actions.
  microphoneButton_ = new SymbolButton(Symbol::micFill, 15, {20, 28}, this);
  microphoneButton_->setToolTip(tr("Microphone"));
  connect(microphoneButton_, &QPushButton::clicked, this, [this] { toggleMicrophone(); });
  microphoneMenuButton_ = new SymbolButton(Symbol::chevronDown, 8, {16, 28}, this);
  microphoneMenuButton_->setToolTip(QStringLiteral("Choose Microphone"));
  microphoneMenu_ = new QMenu(this);
  microphoneMenuButton_->setMenu(microphoneMenu_);
  row->addWidget(microphoneButton_);
  row->addSpacing(6);
  row->addWidget(microphoneMenuButton_);
  row->addSpacing(4 + 6);

  systemAudioButton_ = new SymbolButton(Symbol::speakerWave2Fill, 15, {20, 28}, this);
  systemAudioButton_->setToolTip(tr("System Audio"));
  connect(systemAudioButton_, &QPushButton::clicked, this, [this] { toggleSystemAudio(); });
  systemAudioMenuButton_ = new SymbolButton(Symbol::chevronDown, 8, {16, 28}, this);
  systemAudioMenuButton_->setToolTip(QStringLiteral("Choose System Audio"));
  systemAudioMenu_ = new QMenu(this);
  systemAudioMenu_->addAction(tr("System Default"));
  systemAudioMenuButton_->setMenu(systemAudioMenu_);
  row->addWidget(systemAudioButton_);
  row->addSpacing(6);
  row->addWidget(systemAudioMenuButton_);
  row->addSpacing(8 + 6);

  settingsButton_ = new SymbolButton(Symbol::gearshapeFill, 16, {20, 28}, this);
  settingsButton_->setSymbolColor(gray(0.6));
  settingsButton_->setToolTip(tr("Settings"));
  connect(settingsButton_, &QPushButton::clicked, this, [this] {
    if (services_.openSettings) services_.openSettings();
  });
  row->addWidget(settingsButton_);
  row->addSpacing(8 + 6);

  recordButton_ = new RecordButton(this);
  recordButton_->setToolTip(tr("Record"));
  connect(recordButton_, &QAbstractButton::clicked, this, &ModeSelectionView::handleRecordButton);
  row->addWidget(recordButton_);
  row->addSpacing(12);

  rebuildMicrophoneMenu();
  rebuildCameraMenu();
}

QSize ModeSelectionView::sizeHint() const {
  return {layout()->sizeHint().width(), kBarHeight};
}

void ModeSelectionView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromRgbF(0.18f, 0.18f, 0.18f, 0.92f));
  const QRectF bar(0, (height() - kBarHeight) / 2.0, width(), kBarHeight);
  painter.drawRoundedRect(bar, 10, 10);
}

void ModeSelectionView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refreshDeviceLists();
}

QCoro::Task<void> ModeSelectionView::refreshDeviceLists() {
  QPointer<ModeSelectionView> self(this);
  co_await audioDeviceManager_->refreshDevices();
  if (self) co_await refreshCameras();
}

QCoro::Task<void> ModeSelectionView::refreshCameras() {
  if (!services_.devices) co_return;
  QPointer<ModeSelectionView> self(this);
  CaptureDeviceSource* devices = services_.devices;
  std::vector<CaptureDevice> cameras;
  try {
    cameras = co_await onWorker([devices] { return devices->cameras(); });
  } catch (...) {
    Diagnostics::line("❌ Failed to list cameras: " + describeException(std::current_exception()));
  }
  if (!self) co_return;
  availableCameras_ = std::move(cameras);
  rebuildCameraMenu();
}

void ModeSelectionView::applySettings() {
  const bool camera = settings::recordCamera.read();
  cameraButton_->setSymbolColor(camera ? kCameraGreen : gray(0.5));
  cameraMenuButton_->setSymbolColor(camera ? kCameraGreen : gray(0.5));

  const bool microphone = settings::recordMicrophone.read();
  microphoneButton_->setSymbolColor(microphone ? kMicrophoneOrange : gray(0.5));
  microphoneMenuButton_->setSymbolColor(microphone ? kMicrophoneOrange : gray(0.4));
  microphoneMenuButton_->setEnabled(microphone);

  const bool systemAudio = settings::recordSystemAudio.read();
  systemAudioButton_->setSymbolColor(systemAudio ? kSpeakerYellow : gray(0.5));
  systemAudioMenuButton_->setSymbolColor(systemAudio ? kSpeakerYellow : gray(0.4));
  systemAudioMenuButton_->setEnabled(systemAudio);
}

void ModeSelectionView::applyModeStyles() {
  for (RecordingMode mode : allModes) {
    SymbolButton* button = modeButton(mode);
    const bool selected = mode == selectedMode_;
    button->setSymbolColor(selected ? QColor(Qt::white) : gray(0.7));
    button->setSymbolBackground(selected ? kBlue : QColor(Qt::transparent));
    button->setCaptionColor(selected ? kBlue : gray(0.6));
  }
}

void ModeSelectionView::rebuildMicrophoneMenu() {
  microphoneMenu_->clear();
  connect(microphoneMenu_->addAction(tr("Default")), &QAction::triggered, this,
          [] { settings::microphoneDevice.write(QString::fromUtf8(settings::defaultDeviceName)); });
  microphoneMenu_->addSeparator();
  for (const CaptureDevice& device : audioDeviceManager_->availableDevices()) {
    QAction* action = microphoneMenu_->addAction(menuText(device.localizedName));
    action->setData(QString::fromStdString(device.uniqueID));
    const QString name = QString::fromStdString(device.localizedName);
    connect(action, &QAction::triggered, this, [name] { settings::microphoneDevice.write(name); });
  }
}

void ModeSelectionView::rebuildCameraMenu() {
  cameraMenu_->clear();
  connect(cameraMenu_->addAction(tr("Default Camera")), &QAction::triggered, this,
          [] { settings::cameraDevice.write(QString::fromUtf8(settings::defaultDeviceName)); });
  cameraMenu_->addSeparator();
  for (const CaptureDevice& device : availableCameras_) {
    QAction* action = cameraMenu_->addAction(menuText(device.localizedName));
    action->setData(QString::fromStdString(device.uniqueID));
    const QString name = QString::fromStdString(device.localizedName);
    connect(action, &QAction::triggered, this, [name] {
      settings::cameraDevice.write(name);
      if (!settings::recordCamera.read()) settings::recordCamera.write(true);
    });
  }
}

void ModeSelectionView::selectMode(RecordingMode mode) {
  selectedMode_ = mode;
  applyModeStyles();
  if (mode == RecordingMode::window) openWindowSelector();
  if (mode == RecordingMode::area) startAreaSelection();
}

QCoro::Task<void> ModeSelectionView::toggleMicrophone() {
  const bool on = !settings::recordMicrophone.read();
  settings::recordMicrophone.write(on);
  if (!on || !services_.devices) co_return;
  QPointer<ModeSelectionView> self(this);
  const bool granted = co_await services_.devices->requestMicrophoneAccess();
  if (self && !granted) showMicrophonePermissionAlert();
}

void ModeSelectionView::toggleSystemAudio() {
  settings::recordSystemAudio.write(!settings::recordSystemAudio.read());
}

QCoro::Task<void> ModeSelectionView::toggleCamera() {
  if (settings::recordCamera.read()) {
    settings::recordCamera.write(false);
    co_return;
  }
  if (!services_.devices) co_return;
  QPointer<ModeSelectionView> self(this);
  const bool granted = co_await services_.devices->requestCameraAccess();
  if (!self || !granted) co_return;
  settings::recordCamera.write(true);
  co_await refreshCameras();
}

QMessageBox* ModeSelectionView::makeAlert(const QString& title, const QString& message) {
  // Not parented to the bar: the bar is often closed by the time a recording fails.
  auto* alert = new QMessageBox();
  alert->setAttribute(Qt::WA_DeleteOnClose);
  alert->setWindowTitle(title);
  alert->setTextFormat(Qt::PlainText);
  alert->setText(title);
  alert->setInformativeText(message);
  alert->setWindowModality(Qt::ApplicationModal);
  return alert;
}

void ModeSelectionView::showMicrophonePermissionAlert() {
  settings::recordMicrophone.write(false);
  QMessageBox* alert =
      makeAlert(tr("Permission Required"), tr("tavelkombrix needs permission to record your microphone."));
  alert->setIcon(QMessageBox::Warning);
  QPushButton* openSettings = alert->addButton(tr("Open Settings"), QMessageBox::AcceptRole);
  alert->addButton(QMessageBox::Cancel);
  alert->setDefaultButton(openSettings);
  auto openMicrophoneSettings = services_.openMicrophoneSettings;
  connect(alert, &QMessageBox::buttonClicked, alert,
          [openSettings, openMicrophoneSettings](QAbstractButton* b) {
            if (b == openSettings && openMicrophoneSettings) openMicrophoneSettings();
          });
  alert->open();
  emit alertShown(alert);
}

void ModeSelectionView::showRecordingErrorAlert(const QString& message) {
  QMessageBox* alert = makeAlert(tr("Recording Error"), message);
  alert->setIcon(QMessageBox::Critical);
  alert->addButton(QMessageBox::Ok);
  alert->open();
  emit alertShown(alert);
}

void ModeSelectionView::handleRecordButton() {
  switch (selectedMode_) {
    case RecordingMode::screen:
      startDisplayRecording();
      break;
    case RecordingMode::window:
      openWindowSelector();
      break;
    case RecordingMode::area:
      startAreaSelection();
      break;
  }
}

RecordingConfiguration ModeSelectionView::makeRecordingConfiguration(CaptureDisplayRef display) {
  return RecordingConfigurationBuilder::build(tk::RecordingMode::screen(std::move(display)));
}

QCoro::Task<void> ModeSelectionView::startDisplayRecording() {
  // A second click while the displays are being asked for would start a second recording.
  if (!services_.content || !services_.recording || askingForDisplays_) co_return;
  QPointer<ModeSelectionView> self(this);
  RecordingControl* recording = services_.recording;
  std::string failure;
  try {
    askingForDisplays_ = true;
    std::vector<CaptureDisplayRef> displays;
    try {
      displays = co_await services_.content->displays();
    } catch (...) {
      if (self) askingForDisplays_ = false;
      throw;
    }
    if (!self) co_return;
    askingForDisplays_ = false;
    if (displays.empty()) {
      showRecordingErrorAlert(tr("No display found"));
      co_return;
    }
    const CaptureDisplayRef display = displays.front();
    RecordingConfiguration configuration = makeRecordingConfiguration(display);
    const std::string outputDirectory = configuration.outputDirectory.string();
    closeMainWindow();
    co_await recording->prepareRecording(tk::RecordingMode::screen(display), std::move(configuration));
    co_await recording->startRecording();
    // Given up while it counted down (a quit).
    if (recording->activity() == RecordingControl::Activity::idle) co_return;
    Diagnostics::line("✅ Recording started successfully");
    Diagnostics::line("📁 Output directory: " + outputDirectory);
    co_return;
  } catch (...) {
    failure = describeException(std::current_exception());
  }
  if (self) showRecordingErrorAlert(tr("Failed to start recording: ") + QString::fromStdString(failure));
}

QCoro::Task<void> ModeSelectionView::startAreaSelection() {
  if (!services_.content || !services_.openAreaSelector) co_return;
  QPointer<ModeSelectionView> self(this);
  std::vector<CaptureDisplayRef> displays;
  try {
    displays = co_await services_.content->displays();
  } catch (...) {
    Diagnostics::line("Error: " + describeException(std::current_exception()));
    co_return;
  }
  if (!self) co_return;
  // The display under the pointer; display frames are in the desktop's root coordinates.
  const QPoint pointer = QCursor::pos();
  for (const CaptureDisplayRef& display : displays) {
    if (display && display->frame.contains(pointer)) {
      services_.openAreaSelector(display);
      closeMainWindow();
      co_return;
    }
  }
}

void ModeSelectionView::openWindowSelector() {
  if (!services_.openWindowSelector) return;
  services_.openWindowSelector();
  closeMainWindow();
}

void ModeSelectionView::closeMainWindow() {
  if (fromStatusBar_) return;
  window()->close();
}

QCoro::Task<void> ModeSelectionView::quitApplication() {
  if (quitting_) co_return;
  quitting_ = true;
  QPointer<ModeSelectionView> self(this);
  RecordingControl* recording = services_.recording;
  auto quit = services_.quit ? services_.quit : [] { QApplication::quit(); };
  // Whatever is being recorded is finished and saved before the application goes; a take still
  // starting (counting down) is given up, as nothing of it is recorded yet.
  bool stopTried = false;
  bool cancelTried = false;
  while (recording && recording->activity() != RecordingControl::Activity::idle) {
    if (recording->activity() == RecordingControl::Activity::starting && !cancelTried) {
      cancelTried = true;
      try {
        co_await recording->cancelStart();
      } catch (...) {
        Diagnostics::line("❌ Failed to give up the recording: " +
                          describeException(std::current_exception()));
      }
    } else if (recording->activity() == RecordingControl::Activity::recording && !stopTried) {
      stopTried = true;
      try {
        co_await recording->stopRecording();
      } catch (...) {
        Diagnostics::line("❌ Failed to stop recording: " + describeException(std::current_exception()));
      }
    } else if (recording->activity() == RecordingControl::Activity::recording) {
      break;  // stopping failed; nothing more can be saved
    } else {
      co_await sleepFor(std::chrono::milliseconds(50));
    }
  }
  quit();
  if (self) quitting_ = false;
}

}  // namespace tk
