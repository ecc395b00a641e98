#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

#include "recording/RecordingServices.h"
#include "model/RecordingConfiguration.h"

class QMenu;
class QMessageBox;

namespace tk {

class AudioDeviceManager;
class RecordButton;
class SymbolButton;

// The main window's bar: close, the three modes, the camera, microphone and system-audio toggles
// with their device menus, the settings link and the record button. Its toggles and device
// choices are settings; the mode is its own and starts at Display. Main thread only.
class ModeSelectionView : public QWidget {
  Q_OBJECT
 public:
  // The main window's own modes (not the capture mode of a recording).
  enum class RecordingMode { screen, window, area };
  static constexpr std::array<RecordingMode, 3> allModes{RecordingMode::screen, RecordingMode::window,
                                                         RecordingMode::area};
  // "Display", "Window", "Area": the stored text and the label.
  static QString text(RecordingMode mode);
  static std::optional<RecordingMode> modeFromText(const QString& text);

  static constexpr int kBarHeight = 52;

  explicit ModeSelectionView(ModeSelectionServices services, bool fromStatusBar = false,
                             QWidget* parent = nullptr);
  ~ModeSelectionView() override;

  RecordingMode selectedMode() const { return selectedMode_; }
  bool fromStatusBar() const { return fromStatusBar_; }
  AudioDeviceManager& audioDeviceManager() const { return *audioDeviceManager_; }
  const std::vector<CaptureDevice>& availableCameras() const { return availableCameras_; }

  // The user's actions.
  void selectMode(RecordingMode mode);
  QCoro::Task<void> toggleMicrophone();
  void toggleSystemAudio();
  QCoro::Task<void> toggleCamera();
  void handleRecordButton();
  QCoro::Task<void> startDisplayRecording();
  QCoro::Task<void> startAreaSelection();
  void openWindowSelector();
  // Closes the main window (this view's own window), unless the view lives in the status menu.
  void closeMainWindow();
  // The close button: a running recording is stopped and finished first, and one still counting
  // down is given up, then the application quits.
  QCoro::Task<void> quitApplication();

  // Refreshes the microphone and camera lists, as when the window appears.
  QCoro::Task<void> refreshDeviceLists();
  QCoro::Task<void> refreshCameras();

  void showMicrophonePermissionAlert();
  void showRecordingErrorAlert(const QString& message);

  // The display builder: the configuration of a recording of `display` from the settings.
  static RecordingConfiguration makeRecordingConfiguration(CaptureDisplayRef display);

  // Controls, for the tests and for the screenshot check.
  SymbolButton* closeButton() const { return closeButton_; }
  SymbolButton* modeButton(RecordingMode mode) const { return modeButtons_[static_cast<size_t>(mode)]; }
  SymbolButton* cameraButton() const { return cameraButton_; }
  SymbolButton* cameraMenuButton() const { return cameraMenuButton_; }
  SymbolButton* microphoneButton() const { return microphoneButton_; }
  SymbolButton* microphoneMenuButton() const { return microphoneMenuButton_; }
  SymbolButton* systemAudioButton() const { return systemAudioButton_; }
  SymbolButton* systemAudioMenuButton() const { return systemAudioMenuButton_; }
  SymbolButton* settingsButton() const { return settingsButton_; }
  RecordButton* recordButton() const { return recordButton_; }
  QMenu* microphoneMenu() const { return microphoneMenu_; }
  QMenu* cameraMenu() const { return cameraMenu_; }
  QMenu* systemAudioMenu() const { return systemAudioMenu_; }

  QSize sizeHint() const override;

 signals:
  // An alert was put up (tests and the application watch for it).
  void alertShown(QMessageBox* alert);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildLayout();
  void applySettings();
  void applyModeStyles();
  void rebuildMicrophoneMenu();
  void rebuildCameraMenu();
  QMessageBox* makeAlert(const QString& title, const QString& message);

  ModeSelectionServices services_;
  bool fromStatusBar_;
  AudioDeviceManager* audioDeviceManager_ = nullptr;
  RecordingMode selectedMode_ = RecordingMode::screen;
  std::vector<CaptureDevice> availableCameras_;

  SymbolButton* closeButton_ = nullptr;
  std::array<SymbolButton*, 3> modeButtons_{};
  SymbolButton* cameraButton_ = nullptr;
  SymbolButton* cameraMenuButton_ = nullptr;
  SymbolButton* microphoneButton_ = nullptr;
  SymbolButton* microphoneMenuButton_ = nullptr;
  SymbolButton* systemAudioButton_ = nullptr;
  SymbolButton* systemAudioMenuButton_ = nullptr;
  SymbolButton* settingsButton_ = nullptr;
  RecordButton* recordButton_ = nullptr;
  QMenu* microphoneMenu_ = nullptr;
  QMenu* cameraMenu_ = nullptr;
  QMenu* systemAudioMenu_ = nullptr;
  bool quitting_ = false;
  bool askingForDisplays_ = false;
};

}  // namespace tk
