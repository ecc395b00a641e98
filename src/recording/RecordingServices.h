#pragma once

#include <QCoroTask>
#include <functional>
#include <vector>

#include "model/RecordingConfiguration.h"
#include "model/RecordingMode.h"
#include "platform/media/ShareableContent.h"
#include "platform/x11/X11ShareableContent.h"

namespace tk {

// What the main window needs of the rest of the system, as narrow interfaces: the application
// gives it the real recording coordinator, device lists and desktop content; tests give fakes.

// The recording coordinator, as the main window drives it. Main thread only; the tasks resume on
// the main thread and throw the recording's error.
class RecordingControl {
 public:
  enum class Activity { idle, starting, recording, finishing };

  virtual ~RecordingControl() = default;
  virtual QCoro::Task<void> prepareRecording(RecordingMode mode, RecordingConfiguration configuration) = 0;
  virtual QCoro::Task<void> startRecording() = 0;
  virtual QCoro::Task<void> stopRecording() = 0;
  // Gives up a take that is still starting (its countdown included); nothing is recorded.
  virtual QCoro::Task<void> cancelStart() = 0;
  virtual Activity activity() const = 0;
};

// Microphones (sound-server input sources) and cameras. The lists block while the system is
// asked, so they are called on a worker thread; the access checks resume on the main thread.
class CaptureDeviceSource {
 public:
  virtual ~CaptureDeviceSource() = default;
  virtual std::vector<CaptureDevice> microphones() = 0;
  virtual std::vector<CaptureDevice> cameras() = 0;
  // Whether this user may record sound or use a camera at all.
  virtual QCoro::Task<bool> requestMicrophoneAccess() = 0;
  virtual QCoro::Task<bool> requestCameraAccess() = 0;
};

// What the desktop offers to record, in the capture layer's order: the displays alone, or the
// displays with the windows and applications (desktop windows included, on-screen windows only).
// Throws when the desktop cannot be asked.
class ShareableContentSource {
 public:
  virtual ~ShareableContentSource() = default;
  virtual QCoro::Task<std::vector<CaptureDisplayRef>> displays() = 0;
  virtual QCoro::Task<ShareableContent> content() = 0;
};

// Everything the main window is given. Without a picker hook its mode is unavailable.
struct ModeSelectionServices {
  RecordingControl* recording = nullptr;
  CaptureDeviceSource* devices = nullptr;
  ShareableContentSource* content = nullptr;
  std::function<void()> openSettings;
  std::function<void()> openMicrophoneSettings;  // the desktop's sound settings
  std::function<void()> openWindowSelector;
  std::function<void(CaptureDisplayRef)> openAreaSelector;
  std::function<void()> quit;
};

}  // namespace tk
