#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/CameraCaptureEngine.h"
#include "capture/iOSDeviceCaptureEngine.h"
#include "model/RecordingConfiguration.h"
#include "model/RecordingMode.h"
#include "model/RecordingState.h"
#include "platform/media/MonotonicClock.h"
#include "platform/x11/StreamConfiguration.h"
#include "recording/MetadataSaver.h"

namespace tk {

class AudioCaptureEngine;
class AudioOnlyRecorder;
class LayerRecordingManager;
struct ContentFilter;
struct GoneWindow;
class CursorOverlayController;
class MediaWriter;
class MetadataRecorder;
struct PackageConfiguration;
class RecordingContext;
class ScreenCaptureEngine;
class SerialQueue;
class ZoomRenderer;
struct WriterConfiguration;
struct FilePlaceChange;
enum class ClickType;

// The one recording controller: prepares, counts down, starts, pauses, resumes and stops a
// recording, finishes its movie or package with the metadata beside it, and hands the result on.
// It owns every object of one recording; each preparation first stops and releases whatever the
// previous recording left, so no two recordings ever share an engine, writer or file.
//
// Main thread only, published properties included. Samples never touch its fields: the capture
// handlers and the frame pump hold the recording's RecordingContext instead.
class RecordingCoordinator : public QObject, public iOSDeviceRecordingDelegate {
  Q_OBJECT
 public:
  using Date = std::chrono::system_clock::time_point;
  // Opens a finished recording: the movie (or package) and, for the editor, the movie inside.
  using ResultOpener = std::function<void(const std::filesystem::path& result,
                                          const std::filesystem::path& editorMovie, bool openInEditor)>;

  explicit RecordingCoordinator(QObject* parent = nullptr);
  ~RecordingCoordinator() override;

  // Published.
  const RecordingState& recordingState() const { return recordingState_; }
  double recordingDuration() const { return recordingDuration_; }
  bool isPaused() const { return isPaused_; }
  int countdownValue() const { return countdownValue_; }

  // Idle only. Checks the configuration, the disk and the output folder, then builds the engines
  // and the writer: state ready. On failure everything built is torn down, the state is idle again
  // and the error is thrown.
  QCoro::Task<void> prepareRecording(RecordingMode mode, RecordingConfiguration configuration);
  // Ready only; refused while a countdown runs. Counts down, then records. A start given up
  // meanwhile (cancelStart) returns without recording.
  QCoro::Task<void> startRecording();
  // Gives up a take that has not begun to record: a preparation under way is let finish, a
  // countdown ends at once, and the prepared writers go with their files, so that nothing is left
  // on disk. Returns once the state is idle; does nothing once the take records.
  QCoro::Task<void> cancelStart();
  void pauseRecording();
  void resumeRecording();
  // Recording or paused only. Finishes the movie or package and saves the metadata; the state is
  // completed with the result, then idle 0.1 s later. On failure: failed, then idle, and thrown.
  QCoro::Task<void> stopRecording();

  // Fed by the cursor overlay (global coordinates, origin bottom left, y up).
  void handleClick(QPointF globalPoint, ClickType type);
  void handleCursorMove(QPointF globalPoint);

  // Where cameras come from: the attached video devices unless replaced (tests give synthetic ones).
  struct CameraSupply {
    std::function<std::vector<CaptureDevice>()> devices;
    CameraCaptureEngine::SourceFactory factory;
  };
  void setCameraSupply(CameraSupply supply) { cameraSupply_ = std::move(supply); }
  // Replaces the wall clock that dates the published states (tests make it jump). Durations and
  // pauses are measured on the monotonic clock that stamps the samples, never on this one.
  void setWallClock(std::function<Date()> clock) { wallClock_ = std::move(clock); }
  // Given to the movie's writer of each take prepared after (MediaWriter::setEncodeGate): tests hold
  // the encoder with it.
  void setEncodeGate(std::function<void()> gate) { encodeGate_ = std::move(gate); }

  // How the automatic stop waits: the clock its deadline is kept on and the longest single wait of
  // its timer, whose interval is an int of milliseconds; a longer wait runs in several. Tests put in
  // a clock that jumps and short waits.
  struct AutoStopTiming {
    SecondsClock clock = monotonicSecondsClock();
    std::chrono::milliseconds longestWait{std::numeric_limits<int>::max()};
  };
  void setAutoStopTiming(AutoStopTiming timing) { autoStopTiming_ = std::move(timing); }
  // How long until the running take stops by itself; none when it will not.
  std::optional<std::chrono::milliseconds> autoStopDueIn() const;

  // Replaces the hand-off (tests keep finished movies from opening in other programs).
  void setResultOpener(ResultOpener opener) { resultOpener_ = std::move(opener); }

  // What the current take (or the last one, until the next prepare) lost on the way while it went
  // on: the take itself, its picture, its sound, its metadata, or only its folder. The gravest come
  // first, and among equals the earliest. Each is told once, on the panel, and again when the take
  // is saved.
  std::vector<std::string> takeProblems() const;

  // The error of the last recording that failed (prepare, start, stop or a stream failure).
  const std::optional<RecordingError>& lastError() const { return lastError_; }

  // Finishes a running recording at once, blocking, for a process that is about to end (the X
  // server is gone and the process exits): the sound captured up to the call, or up to a stop that
  // is still waiting for it, is waited for as at a stop (at most kSoundDrainLimit), the files are
  // closed with what they hold and the metadata saved. Nothing is opened. Safe to call in any state.
  void finishBeforeExit();

  // The recording's objects, for the shell and for tests; null when absent.
  ScreenCaptureEngine* screenEngine() const { return screenEngine_.get(); }
  MediaWriter* mediaWriter() const;
  LayerRecordingManager* layerRecordingManager() const { return layerRecordingManager_.get(); }
  AudioOnlyRecorder* audioOnlyRecorder() const { return audioOnlyRecorder_.get(); }
  CameraCaptureEngine* cameraEngine() const { return cameraEngine_.get(); }
  MetadataRecorder* metadataRecorder() const { return metadataRecorder_.get(); }
  ZoomRenderer* zoomRenderer() const { return zoomRenderer_.get(); }
  CursorOverlayController& cursorOverlayController() const { return *cursorOverlayController_; }
  const std::optional<RecordingConfiguration>& configuration() const { return configuration_; }
  bool shouldUseWindowPump() const { return shouldUseWindowPump_; }
  int pumpFrameRate() const { return pumpFrameRate_; }
  const std::shared_ptr<RecordingContext>& context() const { return context_; }
  // The captured rectangle in global coordinates, when the screen engine knows it.
  std::optional<QRectF> captureRect() const;

  // An attached device's engine. Nothing here makes one or records with it; whoever does hands it
  // over here, and the coordinator becomes its recording delegate.
  const std::shared_ptr<iOSDeviceCaptureEngine>& iOSDeviceEngine() const { return iOSDeviceEngine_; }
  void setIOSDeviceEngine(std::shared_ptr<iOSDeviceCaptureEngine> engine);
  // How the device's recording ended. Either way its engine is stopped, forgets its device and is
  // released. Completed with the file returns to idle 0.1 s later, like a screen recording; a
  // failure (a device error unless it is a RecordingError) is published, then idle at once.
  void iOSDeviceRecordingDidComplete(const std::filesystem::path& url) override;
  void iOSDeviceRecordingDidFail(std::exception_ptr error) override;

  // Editor windows the coordinator keeps. A window leaves the list when it accepts its close.
  const std::vector<QPointer<QWidget>>& studioEditorWindows() const { return studioEditorWindows_; }
  void keepStudioEditorWindow(QWidget* window);
  void windowWillClose(QWidget* window);

  // Exposed for the shell and tests.
  std::filesystem::path makeOutputURL() const;
  WriterConfiguration makeWriterConfiguration(const RecordingConfiguration& configuration) const;

 signals:
  void recordingStateChanged();
  void recordingDurationChanged();
  void isPausedChanged();
  void countdownValueChanged();
  // A recording that had started ended in failure (a stop that failed, a stream or a file that gave
  // out). `saved` is what was kept (the movie, package or audio file), empty when nothing was.
  void recordingFailed(const tk::RecordingError& error, const std::filesystem::path& saved);
  // The take goes on but has lost something (see takeProblems()), in words.
  void recordingProblem(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The recorded time (pauses left out) at `atNs` on the monotonic clock, now by default.
  double recordedSeconds(std::optional<int64_t> atNs = std::nullopt) const;
  void setState(RecordingState state);
  void setDuration(double seconds);
  void setPausedFlag(bool paused);
  void setCountdownValue(int value);

  QCoro::Task<void> prepareScreen(const RecordingMode& mode, const RecordingConfiguration& configuration);
  QCoro::Task<void> prepareAudioOnly(const RecordingConfiguration& configuration);
  // Starts the configured microphone on audioEngine_; throws when it cannot be recorded.
  void startChosenMicrophone(const RecordingConfiguration& configuration);
  QCoro::Task<void> checkPermissions(const RecordingConfiguration& configuration);
  void createMetadataRecorder(const RecordingConfiguration& configuration);
  void printStudioReport(const RecordingConfiguration& configuration) const;
  StreamConfiguration makeStreamConfiguration(const ContentFilter& filter,
                                              const RecordingConfiguration& configuration,
                                              bool capturesAudio) const;
  void prepareSingleMovie(const RecordingConfiguration& configuration);
  void preparePackage(const RecordingConfiguration& configuration);
  std::optional<WriterConfiguration> prepareCameraLayer(const RecordingConfiguration& configuration,
                                                        const std::filesystem::path& cameraFile);
  QCoro::Task<std::filesystem::path> finishAudioOnly();
  QCoro::Task<std::filesystem::path> finishPackage();
  // What the package's manifest says of the recording so far; none before capture is configured.
  std::optional<PackageConfiguration> packageConfiguration() const;
  std::filesystem::path metadataLocation(const std::filesystem::path& result) const;
  // Where the metadata of the recording being made goes: beside the movie under a name that no
  // other file has, or inside the package. None before the writers exist.
  std::optional<std::filesystem::path> freeMetadataLocation() const;
  void makeContext();
  void installCaptureHandlers(bool systemAudio);

  // Returns early, without throwing, once the start is given up.
  QCoro::Task<void> performCountdown(int seconds);
  // What a start does once cancelStart gave it up: drops the prepared take and returns to idle.
  QCoro::Task<void> dropPreparedTake();
  void startDurationTimer();
  void startAutoStopTimer(int minutes);
  // Waits until the deadline, or the longest wait the timer allows.
  void armAutoStopTimer();
  void startLiveHandlers(const RecordingConfiguration& configuration);
  void stopTimersAndPump();
  void stopCursorHandling();
  QCoro::Task<void> stopEngines();
  // At a stop: no frame from `end` on is written, and every sound stream hands over what it
  // captured before `end` (waiting at most kSoundDrainLimit).
  QCoro::Task<void> drainSound(MediaTime end);
  // Blocking, for a process about to end: waits until the sound asked for came, or `deadline`.
  void waitForSoundBlocking(std::chrono::steady_clock::time_point deadline);
  void askForSoundUntil(MediaTime end);
  bool soundDrained() const;
  static constexpr std::chrono::milliseconds kSoundDrainLimit{3000};
  // While a stop waits for the sound: when it gives up.
  std::optional<std::chrono::steady_clock::time_point> soundDrainDeadline_;
  QCoro::Task<std::filesystem::path> finishWriters();
  void saveMetadata(const std::filesystem::path& result);
  // The recording's clock and duration back to zero, unpaused; resetTiming forgets the
  // configuration too.
  void resetClock();
  void resetTiming();
  // Completed goes back to idle shortly, unless another recording has begun meanwhile.
  void returnToIdleAfterCompletion();
  void releaseDeviceEngine();
  void hideShell();

  // Stops and releases every object of the previous recording.
  QCoro::Task<void> releaseRecording();
  // Drops every object of the last recording; its engines are stopped.
  void dropRecordingObjects();
  // After a failure: stops everything, keeps what was recorded (finishing a writer that has
  // frames), hides the status item and panel, publishes failed and returns to idle.
  QCoro::Task<std::optional<std::filesystem::path>> tearDown(bool keepRecorded);
  // Publishes failed and returns to idle; with `tellUser` the failure is announced (recordingFailed).
  void failAndReturnToIdle(std::exception_ptr failure, std::optional<std::filesystem::path> saved = {},
                           bool tellUser = false);
  // A recording cut short after it started (a stream or a file that gave out): keeps what was
  // recorded, saves the metadata, tells the user and returns to idle.
  void endWithFailure(RecordingError error);
  void onStreamError();
  void installWriteFailureHandler(MediaWriter& writer);
  // The sources of a screen recording's sound may end by themselves (the sound server went away,
  // the microphone's source was removed) while the picture goes on: the person is told when.
  void watchSoundSources();
  // So may the windows a window recording picked (closed, minimised): the person is told which
  // and when; a window that was the whole picture ends the take.
  void watchPickedWindows();
  // A handler for any thread that runs `step` on the main thread, unless the recording it was made
  // for is gone by then.
  template <typename Value>
  std::function<void(const Value&)> onMainThreadForThisTake(void (RecordingCoordinator::*step)(const Value&));
  // A single movie moved with its folder goes on where it went, its metadata beside it; one whose
  // folder was removed is put back, or where none can be made there, goes on in the folder above.
  // An audio-only file goes the same way; a package (its screen layer's watch tells) moves whole
  // with its folder, is put back, or goes on whole in a package folder of its own. The person is
  // told each time.
  void followMoviePlace(MediaWriter& writer);
  void noteMoviePlace(const FilePlaceChange& change);
  // Points the metadata saves where the take went (moved or carried elsewhere).
  void followMetadata(const FilePlaceChange& change);
  void noteSoundLost(const std::string& reason);
  void noteWindowGone(const GoneWindow& window);
  void noteMetadataSaveFailed(const std::string& reason);
  // What a problem costs the take, from nothing (it only went elsewhere) to the take itself.
  enum class TakeLoss { nothing, metadata, sound, picture, take };
  // Keeps the problem for the saved notice and shows it on the panel, once; the panel shows the
  // gravest. `awayWindow`: the picked window the problem tells as off the screen.
  void noteTakeProblem(TakeLoss loss, const std::string& text, uint32_t awayWindow = 0);
  // The recorded time so far, as the panel shows it.
  double recordedSoFar() const;
  void captureDurationAtStop();
  // Whether a wait inside start left the recording it started current.
  bool isCurrentStart(uint64_t generation) const;

  void hideSystemCursorIfNeeded();
  void showSystemCursorIfHidden();

  // Published.
  RecordingState recordingState_;
  double recordingDuration_ = 0;
  bool isPaused_ = false;
  int countdownValue_ = 0;

  std::optional<RecordingMode> mode_;
  std::optional<RecordingConfiguration> configuration_;
  std::optional<Date> startTime_;
  // On the monotonic clock that stamps the samples: the start, the paused total, the current pause.
  int64_t startNs_ = 0;
  int64_t pausedNs_ = 0;
  int64_t pauseStartNs_ = 0;
  QTimer durationTimer_;
  QTimer autoStopTimer_;
  AutoStopTiming autoStopTiming_;
  double autoStopDeadline_ = 0;  // seconds on autoStopTiming_.clock
  QTimer cursorSamplingTimer_;
  bool countdownActive_ = false;
  bool startGivenUp_ = false;
  // The countdown's tick, which cancelStart fires at once.
  QPointer<QTimer> countdownTick_;
  uint64_t recordingGeneration_ = 0;

  std::unique_ptr<ScreenCaptureEngine> screenEngine_;
  std::unique_ptr<AudioCaptureEngine> audioEngine_;
  std::shared_ptr<CameraCaptureEngine> cameraEngine_;
  std::shared_ptr<iOSDeviceCaptureEngine> iOSDeviceEngine_;
  std::shared_ptr<AudioOnlyRecorder> audioOnlyRecorder_;
  std::unique_ptr<LayerRecordingManager> layerRecordingManager_;
  std::shared_ptr<MediaWriter> mediaWriter_;
  std::shared_ptr<ZoomRenderer> zoomRenderer_;
  std::shared_ptr<MetadataRecorder> metadataRecorder_;
  MetadataSaver metadataSaver_;
  std::shared_ptr<RecordingContext> context_;
  bool shouldUseWindowPump_ = false;
  int pumpFrameRate_ = 60;
  std::shared_ptr<SerialQueue> pumpQueue_;
  std::unique_ptr<CursorOverlayController> cursorOverlayController_;
  bool isCursorHidden_ = false;
  int cursorMoveCount_ = 0;
  std::vector<QPointer<QWidget>> studioEditorWindows_;

  ResultOpener resultOpener_;
  CameraSupply cameraSupply_;
  std::function<Date()> wallClock_ = [] { return std::chrono::system_clock::now(); };
  std::function<void()> encodeGate_;
  std::optional<RecordingError> lastError_;
  // Set once the writers were asked to finish: they are never finished or cancelled again.
  bool writersFinished_ = false;
  struct TakeProblem {
    TakeLoss loss;
    std::string text;
    uint32_t awayWindow = 0;
  };
  std::vector<TakeProblem> takeProblems_;  // the gravest first
  bool metadataProblemTold_ = false;
  // What a failed finish still left on disk.
  std::optional<std::filesystem::path> partialResult_;
};

}  // namespace tk
