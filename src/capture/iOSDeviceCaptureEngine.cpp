#include "capture/iOSDeviceCaptureEngine.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/media/Error.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/MainThread.h"
#include "platform/v4l2/V4l2Camera.h"
#include "platform/v4l2/V4l2Devices.h"
#include "platform/v4l2/V4l2HotplugWatcher.h"

namespace tk {

namespace {

std::mutex handlerMutex;

bool sameDevice(const CaptureDevice& a, const CaptureDevice& b) {
  return a.uniqueID == b.uniqueID;
}

bool contains(const std::vector<CaptureDevice>& devices, const CaptureDevice& device) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const CaptureDevice& d) { return sameDevice(d, device); });
}

}  // namespace

RecordingQualityPreset presetFor(iOSRecordingQuality quality) {
  switch (quality) {
    case iOSRecordingQuality::low:
      return {640, 480};
    case iOSRecordingQuality::medium:
      return {1280, 720};
    case iOSRecordingQuality::high:
      break;
  }
  return {1920, 1080};
}

iOSDeviceCaptureEngine::iOSDeviceCaptureEngine(SourceFactory factory, DeviceLister lister,
                                               const std::string& watchedFolder, QObject* parent)
    : QObject(parent), factory_(std::move(factory)), lister_(std::move(lister)) {
  if (!factory_) {
    factory_ = [](const CaptureDevice& device,
                  iOSRecordingQuality quality) -> std::unique_ptr<VideoCaptureSource> {
      const auto preset = presetFor(quality);
      return std::make_unique<V4l2Camera>(device, preset.maxWidth, preset.maxHeight);
    };
  }
  if (!lister_) lister_ = [] { return V4l2Devices::list(); };
  refreshDevices();
  if (!watchedFolder.empty()) {
    try {
      auto alive = alive_;
      watcher_ = std::make_unique<V4l2HotplugWatcher>(
          [this, alive] {
            postToMainThread([this, alive] {
              if (alive->load()) refreshDevices();
            });
          },
          watchedFolder);
    } catch (const Error& error) {
      Diagnostics::line("⚠️ Attached devices will not be followed: " + error.localizedDescription());
    }
  }
}

iOSDeviceCaptureEngine::~iOSDeviceCaptureEngine() {
  alive_->store(false);
  watcher_.reset();
  stopDevicePreview();
}

void iOSDeviceCaptureEngine::setPreviewFrameHandler(FrameHandler handler) {
  std::lock_guard lock(handlerMutex);
  *previewFrameHandler_ = std::move(handler);
}

void iOSDeviceCaptureEngine::refreshDevices() {
  std::vector<CaptureDevice> external;
  for (auto& device : lister_())
    if (device.isExternal) external.push_back(std::move(device));
  const std::vector<CaptureDevice> previous = std::move(availableDevices_);
  availableDevices_ = std::move(external);
  for (const auto& device : previous)
    if (!contains(availableDevices_, device)) handleDeviceDisconnected(device);
  emit availableDevicesChanged();
  for (const auto& device : availableDevices_)
    if (!contains(previous, device)) emit deviceConnected(QString::fromStdString(device.uniqueID));
}

void iOSDeviceCaptureEngine::handleDeviceDisconnected(const CaptureDevice& device) {
  if (currentDevice_ && sameDevice(*currentDevice_, device)) {
    stopDeviceRecording();
    // A preview of a device that is gone would wait on a dead node.
    stopDevicePreview();
  }
  emit deviceDisconnected(QString::fromStdString(device.uniqueID));
}

void iOSDeviceCaptureEngine::startDevicePreview(const CaptureDevice& device,
                                                iOSRecordingQuality previewQuality) {
  if (isPreviewActive_) return;
  std::shared_ptr<VideoCaptureSource> source = factory_(device, previewQuality);
  if (!source)
    throw PlatformError("V4L2", ENODEV, "Opening the device " + device.devicePath + ": no such device");
  auto handler = previewFrameHandler_;
  auto alive = alive_;
  source->start(
      [handler](const SampleBuffer& sample) {
        FrameHandler call;
        {
          std::lock_guard lock(handlerMutex);
          call = *handler;
        }
        if (call) call(sample);
      },
      [this, alive](const std::string& reason) {
        Diagnostics::line("⚠️ Device preview stopped: " + reason);
        postToMainThread([this, alive] {
          if (alive->load()) stopDevicePreview();
        });
      },
      {});
  previewSource_ = std::move(source);
  currentDevice_ = device;
  isPreviewActive_ = true;
  emit previewActiveChanged(true);
}

void iOSDeviceCaptureEngine::stopDevicePreview() {
  const bool wasActive = isPreviewActive_;
  if (previewSource_) previewSource_->stop();
  previewSource_.reset();
  isPreviewActive_ = false;
  if (wasActive) emit previewActiveChanged(false);
}

void iOSDeviceCaptureEngine::stopDeviceRecording() {
  if (!isRecording_) return;
  // A device recording would stop its file output here; its finish reaches recordingFinished.
  isRecording_ = false;
}

void iOSDeviceCaptureEngine::recordingStarted(const std::filesystem::path&) {
  if (recordingDelegate_) Diagnostics::line("iOS device recording started");
}

void iOSDeviceCaptureEngine::recordingFinished(const std::filesystem::path& url, std::exception_ptr error) {
  isRecording_ = false;
  iOSDeviceRecordingDelegate* delegate = recordingDelegate_;
  if (!delegate) return;
  auto tell = [delegate, url, error] {
    if (error)
      delegate->iOSDeviceRecordingDidFail(error);
    else
      delegate->iOSDeviceRecordingDidComplete(url);
  };
  // The coordinator may be gone by the time the main thread gets to it: a call queued on the
  // delegate's own object is dropped with it.
  if (auto* object = dynamic_cast<QObject*>(delegate))
    QMetaObject::invokeMethod(object, tell, Qt::QueuedConnection);
  else
    postToMainThread(std::move(tell));
}

}  // namespace tk
