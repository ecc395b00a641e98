#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/SampleBuffer.h"
#include "platform/media/ShareableContent.h"
#include "platform/v4l2/VideoCaptureSource.h"

namespace tk {

class V4l2HotplugWatcher;

// The size ceiling of an attached-device preview or recording.
enum class iOSRecordingQuality { low, medium, high };

struct RecordingQualityPreset {
  int maxWidth;
  int maxHeight;
};
// low: up to 640x480; medium: up to 1280x720; high: up to 1920x1080.
RecordingQualityPreset presetFor(iOSRecordingQuality quality);

// Told, on the main thread, how a device recording ended. The coordinator is the only one. A
// delegate that is also a QObject is never called once it is gone, even for a finish on its way.
class iOSDeviceRecordingDelegate {
 public:
  virtual ~iOSDeviceRecordingDelegate() = default;
  virtual void iOSDeviceRecordingDidComplete(const std::filesystem::path& url) = 0;
  virtual void iOSDeviceRecordingDidFail(std::exception_ptr error) = 0;
};

// Attached capture devices: external V4L2 capture devices (USB grabbers and cameras on removable
// ports; a built-in camera is not one). It keeps the list of those attached, follows plug-ins and
// unplugs, reports each connect and disconnect, and previews one device at a chosen quality.
// Nothing here mirrors a phone's screen, and nothing starts a movie recording of a device; the
// recording flag, the finish callbacks and stopDeviceRecording are there for such a recording.
//
// Threads: everything on the main thread; preview frames arrive on the device's own thread. The
// hot-plug watcher's thread only posts to the main thread. Destroying the engine stops the preview
// and the watcher and joins their threads first.
class iOSDeviceCaptureEngine : public QObject {
  Q_OBJECT

 public:
  using SourceFactory =
      std::function<std::unique_ptr<VideoCaptureSource>(const CaptureDevice&, iOSRecordingQuality)>;
  using DeviceLister = std::function<std::vector<CaptureDevice>()>;
  using FrameHandler = std::function<void(const SampleBuffer&)>;

  // By default V4L2 devices, watched in /dev; an empty `watchedFolder` watches nothing.
  explicit iOSDeviceCaptureEngine(SourceFactory factory = {}, DeviceLister lister = {},
                                  const std::string& watchedFolder = "/dev", QObject* parent = nullptr);
  ~iOSDeviceCaptureEngine() override;

  const std::vector<CaptureDevice>& availableDevices() const { return availableDevices_; }
  bool isRecording() const { return isRecording_.load(); }
  bool isPreviewActive() const { return isPreviewActive_; }
  const std::optional<CaptureDevice>& currentDevice() const { return currentDevice_; }
  void setCurrentDevice(std::optional<CaptureDevice> device) { currentDevice_ = std::move(device); }

  // Settings of a device recording; kept for one, read by nothing here.
  iOSRecordingQuality quality = iOSRecordingQuality::high;
  bool muteAudio = false;
  std::optional<std::filesystem::path> outputURL;
  bool useH265 = false;

  // Not owned. A delegate that is not a QObject must outlive the engine or be cleared.
  void setRecordingDelegate(iOSDeviceRecordingDelegate* delegate) { recordingDelegate_ = delegate; }
  iOSDeviceRecordingDelegate* recordingDelegate() const { return recordingDelegate_; }
  // Called on the device's thread with every preview frame.
  void setPreviewFrameHandler(FrameHandler handler);

  // Rebuilds the list and reports what came and went since the last time.
  void refreshDevices();
  // Does nothing while a preview runs. Throws the platform's error when the device cannot stream.
  void startDevicePreview(const CaptureDevice& device, iOSRecordingQuality quality);
  void stopDevicePreview();
  void stopDeviceRecording();
  // How a device recording's file output reports, from any thread. The start is only noted; the
  // finish clears the flag and tells the delegate on the main thread: the error when there is one,
  // else the file.
  void recordingStarted(const std::filesystem::path& url);
  void recordingFinished(const std::filesystem::path& url, std::exception_ptr error);

 signals:
  void availableDevicesChanged();
  void deviceConnected(const QString& uniqueID);
  void deviceDisconnected(const QString& uniqueID);
  void previewActiveChanged(bool active);

 private:
  void handleDeviceDisconnected(const CaptureDevice& device);
  void deliverPreviewFrame(const SampleBuffer& sample);

  SourceFactory factory_;
  DeviceLister lister_;
  std::vector<CaptureDevice> availableDevices_;
  std::optional<CaptureDevice> currentDevice_;
  std::atomic<bool> isRecording_{false};
  bool isPreviewActive_ = false;
  iOSDeviceRecordingDelegate* recordingDelegate_ = nullptr;
  std::shared_ptr<VideoCaptureSource> previewSource_;
  std::shared_ptr<FrameHandler> previewFrameHandler_ = std::make_shared<FrameHandler>();
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  std::unique_ptr<V4l2HotplugWatcher> watcher_;
};

}  // namespace tk
