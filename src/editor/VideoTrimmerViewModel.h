#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editor/ExportResult.h"
#include "editor/ExportSession.h"
#include "editor/OutputAspectRatio.h"
#include "editor/VideoSegment.h"
#include "model/BackgroundSettings.h"
#include "model/CameraShape.h"
#include "model/CursorOverlaySettings.h"
#include "model/MetadataEvents.h"
#include "model/RecordingMetadata.h"
#include "platform/ffmpeg/MediaAsset.h"
#include "platform/media/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/player/MediaPlayer.h"
#include "platform/player/PlayerView.h"

class QTimer;

namespace tk {

// The model behind one editor window: the movie and its player, the recording's metadata with its
// zoom keyframes and zoom segments, the cut segments, the waveform, the appearance an export uses
// and the export state. Published fields are Qt properties announcing every change.
//
// Main thread only: every function, every signal. Asynchronous work (the player's loading, the
// waveform, reading the metadata) reports back on the main thread and is dropped once the model is
// gone, so none of it can outlive the model.
class VideoTrimmerViewModel : public QObject {
  Q_OBJECT
  Q_PROPERTY(tk::PlayerView* playerView READ playerView CONSTANT)
  Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
  Q_PROPERTY(bool isTrimming READ isTrimming WRITE setIsTrimming NOTIFY isTrimmingChanged)
  Q_PROPERTY(bool isExporting READ isExporting WRITE setIsExporting NOTIFY isExportingChanged)
  Q_PROPERTY(double exportProgress READ exportProgress WRITE setExportProgress NOTIFY exportProgressChanged)
  Q_PROPERTY(std::vector<tk::VideoSegment> segments READ segments NOTIFY segmentsChanged)
  Q_PROPERTY(bool isCutMode READ isCutMode WRITE setIsCutMode NOTIFY isCutModeChanged)
  Q_PROPERTY(std::optional<QUuid> selectedSegmentId READ selectedSegmentId WRITE setSelectedSegmentId NOTIFY
                 selectedSegmentIdChanged)
  Q_PROPERTY(std::vector<float> waveformSamples READ waveformSamples NOTIFY waveformSamplesChanged)
  Q_PROPERTY(bool isGeneratingWaveform READ isGeneratingWaveform NOTIFY isGeneratingWaveformChanged)
  Q_PROPERTY(std::optional<tk::RecordingMetadata> metadata READ metadata NOTIFY metadataChanged)
  Q_PROPERTY(std::vector<tk::ZoomKeyframe> zoomKeyframes READ zoomKeyframes WRITE setZoomKeyframes NOTIFY
                 zoomKeyframesChanged)
  Q_PROPERTY(std::vector<tk::ZoomSegment> zoomSegments READ zoomSegments WRITE setZoomSegments NOTIFY
                 zoomSegmentsChanged)
  Q_PROPERTY(std::optional<std::filesystem::path> cameraURL READ cameraURL WRITE setCameraURL NOTIFY
                 cameraURLChanged)
  Q_PROPERTY(double currentTime READ currentTime NOTIFY currentTimeChanged)
  Q_PROPERTY(tk::CursorOverlaySettings cursorOverlaySettings READ cursorOverlaySettings WRITE
                 setCursorOverlaySettings NOTIFY cursorOverlaySettingsChanged)
  Q_PROPERTY(tk::BackgroundSettings backgroundSettings READ backgroundSettings WRITE setBackgroundSettings
                 NOTIFY backgroundSettingsChanged)
  Q_PROPERTY(bool backgroundEnabled READ backgroundEnabled WRITE setBackgroundEnabled NOTIFY
                 backgroundEnabledChanged)

 public:
  // Success (no error) or the reason loading failed; called at most once per loadVideo.
  using LoadCompletion = std::function<void(std::optional<PlatformError> error)>;

  explicit VideoTrimmerViewModel(QObject* parent = nullptr);
  ~VideoTrimmerViewModel() override;

  // ---- published fields ----
  PlayerView* playerView() const { return playerView_; }
  bool isLoading() const { return isLoading_; }
  bool isTrimming() const { return isTrimming_; }
  void setIsTrimming(bool value);
  bool isExporting() const { return isExporting_; }
  void setIsExporting(bool value);
  double exportProgress() const { return exportProgress_; }
  void setExportProgress(double value);
  const std::vector<VideoSegment>& segments() const { return segments_; }
  bool isCutMode() const { return isCutMode_; }
  void setIsCutMode(bool value);
  std::optional<QUuid> selectedSegmentId() const { return selectedSegmentId_; }
  void setSelectedSegmentId(std::optional<QUuid> value);
  const std::vector<float>& waveformSamples() const { return waveformSamples_; }
  bool isGeneratingWaveform() const { return isGeneratingWaveform_; }
  const std::optional<RecordingMetadata>& metadata() const { return metadata_; }
  // Why the metadata beside the movie could not be read, for the window to tell the person; set
  // once (metadataProblemChanged), none while the metadata read well or there is none.
  const std::optional<std::string>& metadataProblem() const { return metadataProblem_; }
  const std::vector<ZoomKeyframe>& zoomKeyframes() const { return zoomKeyframes_; }
  // The window's delete actions change the lists directly, then sync them to the metadata.
  void setZoomKeyframes(std::vector<ZoomKeyframe> value);
  // Shared with the metadata and whoever copies it (the window, an export); a change makes a new list.
  const ZoomSegmentList& zoomSegments() const { return zoomSegments_; }
  void setZoomSegments(ZoomSegmentList value);
  const std::optional<std::filesystem::path>& cameraURL() const { return cameraURL_; }
  void setCameraURL(std::optional<std::filesystem::path> value);
  double currentTime() const { return currentTime_; }
  const CursorOverlaySettings& cursorOverlaySettings() const { return cursorOverlaySettings_; }
  void setCursorOverlaySettings(CursorOverlaySettings value);
  const BackgroundSettings& backgroundSettings() const { return backgroundSettings_; }
  void setBackgroundSettings(BackgroundSettings value);
  bool backgroundEnabled() const { return backgroundEnabled_; }
  void setBackgroundEnabled(bool value);

  // ---- plain fields ----
  // The loaded movie (once ready) and its location.
  const std::optional<MediaAsset>& asset() const { return asset_; }
  const std::optional<std::filesystem::path>& fileURL() const { return fileURL_; }
  // The player the view shows; null after cleanup.
  MediaPlayer* player() const;
  MediaTime videoDuration() const { return videoDuration_; }
  // The export that cancelExport stops, set by the exporters while one runs.
  void setExportSession(std::shared_ptr<ExportSession> session) { exportSession_ = std::move(session); }
  const std::shared_ptr<ExportSession>& exportSession() const { return exportSession_; }
  // The merged export's progress timer; the model owns it from here on.
  void setExportTimer(QTimer* timer);
  QTimer* exportTimer() const { return exportTimer_; }
  QWidget* window() const { return window_; }
  void setWindow(QWidget* window) { window_ = window; }

  // ---- loading and playback ----
  virtual void loadVideo(const std::filesystem::path& url, LoadCompletion completion);
  // First-ready handling; does nothing unless loading and the item is ready.
  virtual void handleVideoReady();
  virtual void setupTimeObserver();
  virtual void seek(double seconds);

  // ---- metadata and zoom editing ----
  // Finds the metadata beside the movie, reads it on a worker and publishes it converted.
  virtual void loadRecordingMetadata();
  virtual RecordingMetadata convertLegacyZoomToSegments(RecordingMetadata metadata);
  virtual void updateZoomKeyframe(const ZoomKeyframe& keyframe);
  virtual void syncZoomKeyframesToMetadata();
  virtual void syncZoomSegmentsToMetadata();
  // Adds a segment that lies inside the movie once its length is known: one asked for too near the
  // end starts earlier, so that it keeps its least length. Returns the new segment's id.
  virtual QUuid addZoomSegment(double startTime, double length, double zoomLevel);
  virtual void updateZoomSegment(const ZoomSegment& segment);
  virtual void moveZoomSegment(const QUuid& id, double newStart);
  virtual void updateZoomSegmentStart(const QUuid& id, double time);
  virtual void updateZoomSegmentEnd(const QUuid& id, double time);

  // ---- segments, export state, teardown ----
  virtual void addCutAtCurrentTime();
  virtual void toggleSegmentDeletion(const QUuid& id);
  virtual void cancelExport();
  // Detaches the player and releases the movie; published lists keep their contents.
  virtual void cleanup();

  // ---- exports: defined in src/export (tk_export); whatever calls them links that library ----
  // The whole movie with the editor's look, "<name> (Edited <date>).mp4" beside it. Returns at once;
  // `completion` runs once on the main thread. The export is registered for cancelExport.
  void exportAdvancedVideo(CameraExportSettings cameraSettings, double videoPadding, double videoCornerRadius,
                           OutputAspectRatio outputAspectRatio, bool verticalStack,
                           double screenShadowOpacity, double screenShadowRadius, double cameraShadowOpacity,
                           double cameraShadowRadius, ExportCompletion completion);
  // The kept `segments` joined, "<name> (Merged <date>).<ext>" beside the source, with progress in
  // exportProgress. The caller has set isExporting and exportProgress 0. Returns at once;
  // `completion` runs once on the main thread. The export is registered for cancelExport.
  void exportMergedVideo(MediaAsset asset, std::vector<VideoSegment> segments, std::filesystem::path fileURL,
                         ZoomSegmentList zoomSegments, CursorOverlaySettings cursorOverlaySettings,
                         std::optional<RecordingMetadata> metadata, bool backgroundEnabled,
                         BackgroundSettings backgroundSettings, double videoPadding, double videoCornerRadius,
                         double screenShadowOpacity, double screenShadowRadius, double cameraShadowOpacity,
                         double cameraShadowRadius, ExportCompletion completion);

 signals:
  void isLoadingChanged();
  void isTrimmingChanged();
  void isExportingChanged();
  void exportProgressChanged();
  void segmentsChanged();
  void isCutModeChanged();
  void selectedSegmentIdChanged();
  void waveformSamplesChanged();
  void isGeneratingWaveformChanged();
  void metadataChanged();
  void metadataProblemChanged();
  void zoomKeyframesChanged();
  void zoomSegmentsChanged();
  void cameraURLChanged();
  void currentTimeChanged();
  void cursorOverlaySettingsChanged();
  void backgroundSettingsChanged();
  void backgroundEnabledChanged();

 private:
  void onStatusChanged(MediaPlayer::Status status);
  void publishMetadata(RecordingMetadata metadata);
  // The current item's duration in seconds, 0 without a ready item.
  double itemSeconds() const;
  void setSegments(std::vector<VideoSegment> value);
  void sortZoomSegments();
  // The segment with `id` in the model's own list (made its own now if shared); null if none has it.
  ZoomSegment* editableZoomSegment(const QUuid& id);

  QPointer<PlayerView> playerView_;
  std::unique_ptr<MediaPlayer> player_;
  bool isLoading_ = true;
  bool isTrimming_ = false;
  bool isExporting_ = false;
  double exportProgress_ = 0;
  std::vector<VideoSegment> segments_;
  bool isCutMode_ = false;
  std::optional<QUuid> selectedSegmentId_;
  std::vector<float> waveformSamples_;
  bool isGeneratingWaveform_ = false;
  std::optional<RecordingMetadata> metadata_;
  std::optional<std::string> metadataProblem_;
  std::vector<ZoomKeyframe> zoomKeyframes_;
  ZoomSegmentList zoomSegments_;
  std::optional<std::filesystem::path> cameraURL_;
  double currentTime_ = 0;
  CursorOverlaySettings cursorOverlaySettings_ = CursorOverlaySettings::defaultSettings();
  BackgroundSettings backgroundSettings_;
  bool backgroundEnabled_ = false;

  std::optional<MediaAsset> asset_;
  std::optional<std::filesystem::path> fileURL_;
  std::shared_ptr<ExportSession> exportSession_;
  QTimer* exportTimer_ = nullptr;
  bool isObservingPlayerItem_ = false;
  QMetaObject::Connection statusObserver_;
  QMetaObject::Connection timeJumpedObserver_;
  std::optional<int> timeObserver_;
  MediaTime videoDuration_ = MediaTime::zero();
  QPointer<QWidget> window_;
  LoadCompletion loadCompletion_;
};

}  // namespace tk
