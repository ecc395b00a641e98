#pragma once

#include <QMessageBox>
#include <QPointF>
#include <QPointer>
#include <QSizeF>
#include <QStringList>
#include <QUuid>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/OutputAspectRatio.h"
#include "editor/VideoTrimmerViewModel.h"
#include "editor/ZoomSegmentIndex.h"
#include "model/BackgroundSettings.h"
#include "model/CameraShape.h"
#include "platform/composition/AffineTransform.h"
#include "platform/player/MediaPlayer.h"

class QCheckBox;
class QLabel;

class QTimer;
class QVBoxLayout;

namespace tk {

class AppearancePanel;
class AspectBar;
class GradientPresetPicker;
class TransportControls;
class TrimmerActions;
class ZoomEditorHost;
class SymbolButton;
class TrimmerPlayerArea;
class TrimmerTimelineView;
class WindowAccessor;

// The root of one editor window: the editor's view state (aspect, appearance, camera bubble, zoom
// selection), its view model, and the window's regions top to bottom: header, player area, the
// timeline, the transport card's place, the zoom editor's place and the appearance strip.
//
// Lifecycle: when the window is found the movie loads (with its camera layer when one lies beside
// it) and the overlay clock starts; once ready the playback clock runs. When the window closes (not
// when it hides) every clock, observer and pending completion goes with it and the model is cleaned
// up. Every setter updates the widgets that show the value; a programmatic update of a control never
// writes back. Main thread only: every function, timer and callback.
class VideoTrimmerView : public QWidget {
  Q_OBJECT

 public:
  explicit VideoTrimmerView(std::filesystem::path videoURL, QWidget* parent = nullptr);
  ~VideoTrimmerView() override;

  static constexpr int kMinimumWidth = 1000;
  static constexpr int kMinimumHeight = 720;
  // What the regions need, and never less than the least size above.
  QSize minimumSizeHint() const override;

  // ---- view state ----
  const std::filesystem::path& videoURL() const { return videoURL_; }
  VideoTrimmerViewModel& viewModel() const { return *viewModel_; }
  // The camera layer beside the movie (".camera.mov" in its folder), whether or not it exists.
  std::filesystem::path cameraLayerURL() const;
  // The camera layer exists and, once the window has looked at it, can be read.
  bool cameraLayerExists() const;

  bool showError() const { return showError_; }
  // Loading the movie failed (the reason is errorMessage()).
  bool loadFailed() const { return loadFailed_; }
  // Whether there is a picture to edit and export: not after a failed load, nor for a file
  // without a video track. The edit and export buttons follow it.
  bool canEdit() const { return !loadFailed_ && !noVideoTrack_; }
  // What the window tells the person about the recording (a camera layer that cannot be read, a
  // file without a picture, ...), each once, in the banner under the header.
  void addNotice(const QString& text);
  const QStringList& notices() const { return notices_; }
  QLabel* noticeBanner() const { return noticeBanner_; }
  const std::string& errorMessage() const { return errorMessage_; }
  bool showExportSuccess() const { return showExportSuccess_; }
  const std::optional<std::filesystem::path>& exportedURL() const { return exportedURL_; }
  // Export completions: raise the "Export Failed" or "Export Successful" alert.
  void presentError(std::string message);
  // `note`: what the person should know about the movie written (it ended early, say).
  void presentExportSuccess(std::optional<std::filesystem::path> exportedURL,
                            std::optional<std::string> note = std::nullopt);

  bool forceDarkMode() const { return forceDarkMode_; }
  void setForceDarkMode(bool value);
  OutputAspectRatio selectedAspect() const { return selectedAspect_; }
  void setSelectedAspect(OutputAspectRatio value);
  bool verticalStack() const { return verticalStack_; }
  // The vertical stack puts the camera over the screen, so it is offered only while the camera is
  // part of the output: turning it on is refused otherwise, and leaving the camera out turns it off.
  bool verticalStackAvailable() const { return includeCameraInExport_ && cameraLayerExists(); }
  void setVerticalStack(bool value);
  bool includeCameraInExport() const { return includeCameraInExport_; }
  void setIncludeCameraInExport(bool value);

  struct Appearance {
    double paddingPixels = 120;
    double backgroundCornerRadius = 28;
    double screenShadowOpacity = 0.4;
    double screenShadowRadius = 30;
    double cameraShadowOpacity = 0.4;
    double cameraShadowRadius = 12;
    double pipWidthFraction = 0.22;
    QPointF pipCenterNormalized{0.85, 0.18};
    CameraShape cameraShape = CameraShape::squircle;
    double shrinkFactor = 0.66;
    double easeDuration = 0.22;
    bool operator==(const Appearance&) const = default;
  };
  const Appearance& appearance() const { return appearance_; }
  void setAppearance(const Appearance& value);
  void setPipCenterNormalized(QPointF value);

  MediaPlayer& cameraPlayer() const { return *cameraPlayer_; }
  double overlayScale() const { return overlayScale_; }
  bool overlayTimerRunning() const;
  bool playbackTimerRunning() const;
  bool hasCameraSync() const { return cameraTimeObserver_.has_value(); }

  std::optional<QUuid> selectedZoomKeyframeId() const { return selectedZoomKeyframeId_; }
  void setSelectedZoomKeyframeId(std::optional<QUuid> value);
  std::optional<QUuid> selectedZoomSegmentId() const { return selectedZoomSegmentId_; }
  void setSelectedZoomSegmentId(std::optional<QUuid> value);
  bool enableZoomPreview() const { return enableZoomPreview_; }
  void setEnableZoomPreview(bool value);
  QSizeF videoNaturalSize() const { return videoNaturalSize_; }
  GradientPreset selectedGradientPreset() const { return selectedGradientPreset_; }
  void setSelectedGradientPreset(GradientPreset value);
  bool isPlaying() const { return isPlaying_; }
  void setIsPlaying(bool value);
  double currentTime() const { return currentTime_; }

  // ---- window and loading ----
  // The window accessor's open callback: widens the window, hands it to the model, loads.
  void configureTrimmerWindow(QWidget* window);
  void startVideoLoad();
  void loadCameraRecording();
  void startOverlayTimer();
  void handleVideoLoadResult(std::optional<PlatformError> error);
  void updatePlaybackState();
  void loadVideoNaturalSize();

  // ---- camera tie ----
  void setupCameraSync();
  void syncCameraToMainPlayer(double time);
  void mirrorMainPlayerRate(double rate);
  double overlayScale(double t) const;
  void updateOverlayScale();
  void cameraInclusionChanged();
  void removeCameraSync();
  // Releases the camera tie and both clocks, and cleans the model up; runs when the window closes.
  void tearDownTrimmer();

  // ---- preview ----
  double previewAspectRatio() const;
  AffineTransform previewZoomTransform(double t, QSizeF size) const;
  // The index of the model's zoom segments that every frame's zoom and bubble size look up; made
  // again after the segments change.
  const ZoomSegmentIndex& zoomSegmentIndex() const;
  void setZoomKeyframeCenter(double x, double y);
  void zoomKeyframeCenterDrag(QPointF location, QSizeF area);

  // ---- header ----
  // Closes the window through its close box, so an edited window asks first.
  void closeTrimmerWindow();
  // Whether the cuts, zooms or look differ from what was loaded or last exported successfully.
  bool hasUnsavedEdits() const;
  // Whether a close would ask the person first (unsaved edits, an export under way).
  bool asksBeforeClosing() const;
  // Asked before the window closes: true closes at once; false means the prompt (window-modal, not
  // blocking) is open and closes the window only if the edits are discarded, or while an export
  // runs, only if the export is stopped.
  bool windowShouldClose();
  QMessageBox* discardPrompt() const { return discardPrompt_; }
  static void revealInFinder(const std::filesystem::path& url);

  TrimmerPlayerArea& playerArea() const { return *playerArea_; }
  QMessageBox* alert() const { return alert_; }
  // Where the timeline (which the timeline slot holds), the transport and edit controls, the zoom
  // editors and the appearance panels go.
  QWidget* timelineSlot() const { return timelineSlot_; }
  TrimmerTimelineView& timeline() const { return *timeline_; }
  QWidget* transportCard() const { return transportCard_; }
  QWidget* zoomEditorSlot() const { return zoomEditorSlot_; }
  QWidget* appearanceStrip() const { return appearanceStrip_; }
  QCheckBox* darkModeSwitch() const { return darkModeSwitch_; }
  TrimmerActions& actions() const { return *actions_; }
  AspectBar& aspectControls() const { return *aspectControls_; }
  TransportControls& transportControls() const { return *transportControls_; }
  ZoomEditorHost& zoomEditors() const { return *zoomEditors_; }
  AppearancePanel& appearancePanel() const { return *appearancePanel_; }

 signals:
  // After any change of the view state (the model announces its own).
  void stateChanged();

 private:
  void buildLayout();
  void applyColourScheme();
  void refresh();
  void showAlert(const QString& title, const QString& message, bool withReveal);
  // What closing would throw away, compared by value.
  struct EditState {
    std::vector<VideoSegment> segments;
    ZoomSegmentList zoomSegments;  // shared with the model's, not copied
    std::vector<ZoomKeyframe> zoomKeyframes;
    CursorOverlaySettings cursor;
    bool backgroundEnabled = false;
    std::string background;  // the background settings' JSON form
    Appearance appearance;
    OutputAspectRatio aspect = OutputAspectRatio::original;
    bool verticalStack = false;
    bool includeCamera = false;
    bool operator==(const EditState&) const = default;
  };
  EditState editState() const;

  std::filesystem::path videoURL_;
  std::unique_ptr<VideoTrimmerViewModel> viewModel_;
  bool showError_ = false;
  std::string errorMessage_;
  bool showExportSuccess_ = false;
  std::optional<std::filesystem::path> exportedURL_;
  bool forceDarkMode_ = false;
  OutputAspectRatio selectedAspect_ = OutputAspectRatio::original;
  bool verticalStack_ = false;
  bool includeCameraInExport_ = false;
  Appearance appearance_;
  std::unique_ptr<MediaPlayer> cameraPlayer_;
  std::optional<int> cameraTimeObserver_;
  double observedRate_ = 0;
  double overlayScale_ = 1.0;
  mutable std::optional<ZoomSegmentIndex> zoomSegmentIndex_;
  QTimer* overlayTimer_ = nullptr;
  QTimer* playbackTimer_ = nullptr;
  std::optional<QUuid> selectedZoomKeyframeId_;
  std::optional<QUuid> selectedZoomSegmentId_;
  bool enableZoomPreview_ = true;
  QSizeF videoNaturalSize_{16, 9};
  GradientPreset selectedGradientPreset_ = GradientPreset::purple;
  bool isPlaying_ = false;
  double currentTime_ = 0;
  bool tornDown_ = false;
  bool loadFailed_ = false;
  bool noVideoTrack_ = false;
  bool cameraLayerUnreadable_ = false;
  QStringList notices_;
  QLabel* noticeBanner_ = nullptr;

  WindowAccessor* windowAccessor_ = nullptr;
  QLabel* titleLabel_ = nullptr;
  QCheckBox* darkModeSwitch_ = nullptr;
  SymbolButton* closeButton_ = nullptr;
  TrimmerPlayerArea* playerArea_ = nullptr;
  QWidget* aspectBar_ = nullptr;
  QWidget* timelineSlot_ = nullptr;
  TrimmerTimelineView* timeline_ = nullptr;
  QWidget* transportCard_ = nullptr;
  QWidget* zoomEditorSlot_ = nullptr;
  QWidget* appearanceStrip_ = nullptr;
  GradientPresetPicker* gradientPicker_ = nullptr;
  QPointer<QMessageBox> alert_;
  std::unique_ptr<TrimmerActions> actions_;
  AspectBar* aspectControls_ = nullptr;
  TransportControls* transportControls_ = nullptr;
  ZoomEditorHost* zoomEditors_ = nullptr;
  AppearancePanel* appearancePanel_ = nullptr;
  EditState savedState_;  // as loaded, then as last exported
  std::optional<EditState> exportingState_;
  bool metadataSeen_ = false;
  bool discardConfirmed_ = false;
  QPointer<QMessageBox> discardPrompt_;
};

}  // namespace tk
