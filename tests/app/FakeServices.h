#pragma once

#include <QCoroTask>
#include <QCoroTimer>
#include <QTimer>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "model/RecordingError.h"
#include "platform/qt/Async.h"
#include "recording/RecordingServices.h"

namespace tk::test {

// The coordinator as the main window sees it: records each call, fails where told to.
class FakeRecordingControl : public RecordingControl {
 public:
  std::vector<std::string> calls;
  std::optional<RecordingMode> preparedMode;
  std::optional<RecordingConfiguration> preparedConfiguration;
  bool failPrepare = false;
  Activity current = Activity::idle;

  QCoro::Task<void> prepareRecording(RecordingMode mode, RecordingConfiguration configuration) override {
    calls.push_back("prepare");
    if (failPrepare) throw RecordingError::outputDirectoryNotWritable();
    preparedMode = std::move(mode);
    preparedConfiguration = std::move(configuration);
    current = Activity::starting;
    co_return;
  }
  QCoro::Task<void> startRecording() override {
    calls.push_back("start");
    current = Activity::recording;
    co_return;
  }
  QCoro::Task<void> stopRecording() override {
    calls.push_back("stop");
    current = Activity::finishing;
    // The movie is finished a moment later, as the real one does it.
    co_await sleepBriefly();
    calls.push_back("finished");
    current = Activity::idle;
  }
  QCoro::Task<void> cancelStart() override {
    calls.push_back("cancel");
    current = Activity::idle;
    co_return;
  }
  Activity activity() const override { return current; }

 private:
  static QCoro::Task<void> sleepBriefly() { co_await sleepFor(std::chrono::milliseconds(20)); }
};

class FakeDevices : public CaptureDeviceSource {
 public:
  std::vector<CaptureDevice> microphoneList;
  std::vector<CaptureDevice> cameraList;
  bool microphoneAccess = true;
  bool cameraAccess = true;

  std::vector<CaptureDevice> microphones() override {
    std::lock_guard lock(mutex_);
    return microphoneList;
  }
  std::vector<CaptureDevice> cameras() override {
    std::lock_guard lock(mutex_);
    return cameraList;
  }
  QCoro::Task<bool> requestMicrophoneAccess() override { co_return microphoneAccess; }
  QCoro::Task<bool> requestCameraAccess() override { co_return cameraAccess; }

 private:
  std::mutex mutex_;
};

class FakeContent : public ShareableContentSource {
 public:
  std::vector<CaptureDisplayRef> displayList;
  std::vector<CaptureWindowRef> windowList;
  std::vector<CaptureApplicationRef> applicationList;
  bool fail = false;
  // While set, the displays are given only when answer() is called.
  bool answerLater = false;
  FakeContent() { gate_.setSingleShot(true); }
  void answer() { gate_.start(0); }

  QCoro::Task<std::vector<CaptureDisplayRef>> displays() override {
    if (answerLater) {
      // Held on a timer that answer() fires at once.
      if (!gate_.isActive()) gate_.start(std::chrono::hours(1));
      co_await gate_;
    }
    if (fail) throw PlatformError("X11", 1, "The display refused the request");
    // A copy: this compiler may move from a member named in co_return.
    std::vector<CaptureDisplayRef> copy = displayList;
    co_return copy;
  }
  QCoro::Task<ShareableContent> content() override {
    std::vector<CaptureDisplayRef> displays = co_await this->displays();
    co_return ShareableContent{std::move(displays), applicationList, windowList};
  }

 private:
  QTimer gate_;
};

inline CaptureDevice device(std::string id, std::string name) {
  CaptureDevice value;
  value.uniqueID = std::move(id);
  value.localizedName = std::move(name);
  return value;
}

}  // namespace tk::test
