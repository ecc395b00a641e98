#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/CallGate.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/ShareableContent.h"
#include "platform/qt/SerialQueue.h"
#include "platform/v4l2/VideoCaptureSource.h"

namespace tk {

class MediaWriter;

// Runs the camera for a recording and, in separate-layer recording, writes its frames into the
// camera layer through the camera's own MediaWriter, whose session starts at the screen layer's
// first frame time so both files share one origin. Frames before that time is known are dropped;
// frames while paused are dropped and the pause is taken out of the camera layer's clock.
//
// Threads: setupCamera, startCapture, stopCapture, cleanupCamera, configureForSeparateLayerRecording,
// pauseCapture and resumeCapture run on the main thread. The source starts and stops on the
// engine's "CameraSession" queue; frames arrive on the source's thread. The synced start time is
// set from the screen's capture thread. Destroying the engine stops the source and joins its
// threads before anything is freed.
class CameraCaptureEngine {
 public:
  using SourceFactory = std::function<std::unique_ptr<VideoCaptureSource>(const CaptureDevice&)>;
  using FrameHandler = std::function<void(const SampleBuffer&)>;
  // Shows the permission alert (message, informative text) on the main thread.
  using AlertPresenter = std::function<void(const std::string& message, const std::string& informative)>;

  // The V4L2 camera by default; tests give a synthetic source.
  explicit CameraCaptureEngine(SourceFactory factory = {});
  ~CameraCaptureEngine();
  CameraCaptureEngine(const CameraCaptureEngine&) = delete;
  CameraCaptureEngine& operator=(const CameraCaptureEngine&) = delete;

  // Opens the device. Throws RecordingError::permissionDenied(camera) when the user lacks the
  // rights to it (after posting the alert), else the platform's error when it cannot be opened.
  void setupCamera(const CaptureDevice& device);
  // Start or stop the source on the session queue; return at once. From the moment stopCapture (or
  // cleanupCamera, or a setup that replaces the camera) is called, nothing the stopped source hands
  // over reaches the engine, its writer or its handler: a frame inside is waited for.
  void startCapture();
  void stopCapture();
  void cleanupCamera();

  void configureForSeparateLayerRecording(std::shared_ptr<MediaWriter> writer);
  // Called for each frame on the source's thread; true when the frame reached the camera writer.
  bool appendCameraFrame(const SampleBuffer& sample);

  // From the screen's capture thread: the screen layer's first presentation time.
  void setSyncedSessionStartTime(std::optional<MediaTime> time);
  std::optional<MediaTime> syncedSessionStartTime() const;

  // Frames grabbed within a pause are dropped, by the time they were grabbed (the pause begins at
  // `at` on the capture clock, now when not given), whenever they arrive; resuming takes the pause
  // out of the camera layer's clock, the same span the coordinator takes out of the screen layer's
  // (measured here when not given).
  void pauseCapture(std::optional<MediaTime> at = std::nullopt);
  void resumeCapture(std::optional<MediaTime> pausedDuration = std::nullopt);

  void setFrameHandler(FrameHandler handler);
  bool isSeparateLayerRecording() const { return isSeparateLayerRecording_.load(); }
  bool isCapturing() const { return isCapturing_.load(); }
  const std::optional<CaptureDevice>& currentDevice() const { return currentDevice_; }
  // The frame size of the opened camera; none before setupCamera.
  std::optional<std::pair<int, int>> activeFormatSize() const;
  int64_t cameraFrameCount() const { return cameraFrameCount_.load(); }

  // The video-capture devices, built-in and external, in node order.
  static std::vector<CaptureDevice> availableCameraDevices();
  // The first built-in camera, else the first camera.
  static std::optional<CaptureDevice> defaultCameraDevice();
  // The camera a configured name stands for: the default one for an absent name or "default",
  // else the one whose id or, exactly, whose name it is; none when no such camera is attached.
  static std::optional<CaptureDevice> findCameraDevice(const std::optional<std::string>& name);
  static std::optional<CaptureDevice> findCameraDevice(const std::optional<std::string>& name,
                                                       const std::vector<CaptureDevice>& devices);
  // Replaces how the permission alert is shown (tests record it instead).
  static void setAlertPresenter(AlertPresenter presenter);

  static const char* const kPermissionMessage;
  static const char* const kPermissionInformative;

 private:
  void handleCameraFrame(const SampleBuffer& sample);
  // The frame as the layer takes it: nothing when grabbed within the latest pause, moved by what the
  // resume took out when grabbed before it but handed over after.
  std::optional<SampleBuffer> outsidePause(const SampleBuffer& sample) const;
  void sourceEnded(const std::string& reason);
  std::shared_ptr<MediaWriter> writer() const;

  SourceFactory factory_;
  std::optional<CaptureDevice> currentDevice_;
  std::shared_ptr<VideoCaptureSource> source_;  // touched on the session queue after setup

  mutable std::mutex mutex_;  // guards the writer, the handler, the synced time and sessionStarted
  std::shared_ptr<MediaWriter> cameraWriter_;
  FrameHandler frameHandler_;
  std::optional<MediaTime> syncedSessionStartTime_;
  bool sessionStarted_ = false;

  std::atomic<bool> isSeparateLayerRecording_{false};
  std::atomic<bool> isCapturing_{false};
  std::atomic<bool> isPaused_{false};
  // The latest pause on the capture clock, under mutex_: its end is 0 while it lasts; `shift` is what
  // the resume took out of the layer's clock.
  struct Pause {
    int64_t startNs = 0;
    int64_t endNs = 0;
    int64_t shiftNs = 0;
  };
  std::optional<Pause> pause_;
  std::atomic<int64_t> cameraFrameCount_{0};
  // What the running source's frames and end reach the engine through: closed on the main thread
  // as its stop begins, and opened anew by the next start.
  using Gate = CallGate<CameraCaptureEngine>;
  std::shared_ptr<Gate> sourceGate_ = std::make_shared<Gate>(this);
  // Cleared at destruction so main-thread steps posted earlier do nothing.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  SerialQueue sessionQueue_{"CameraSession"};
};

}  // namespace tk
