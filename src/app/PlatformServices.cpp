#include "app/PlatformServices.h"

#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>

#include "app/CoordinatorRecordingControl.h"
#include "app/FloatingRecordingPanelController.h"
#include "app/RecordingFailureAlert.h"
#include "app/SavedRecordingNotice.h"
#include "app/ShutdownController.h"
#include "app/StatusBarController.h"
#include "editor_ui/VideoTrimmerManager.h"
#include "platform/pulse/PulseDevices.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "platform/v4l2/V4l2Devices.h"
#include "platform/x11/X11ShareableContent.h"
#include "recording/RecordingCoordinator.h"
#include "selection/AreaSelectorView.h"
#include "selection/WindowSelectorView.h"

namespace tk {

namespace {

class PlatformDevices : public CaptureDeviceSource {
 public:
  std::vector<CaptureDevice> microphones() override { return PulseDevices::inputSources(); }
  std::vector<CaptureDevice> cameras() override { return V4l2Devices::list(); }
  QCoro::Task<bool> requestMicrophoneAccess() override {
    co_return co_await onWorker([] { return PulseDevices::isServerReachable(); });
  }
  // Access to a camera here is the right to open its device node; with no camera at all there is
  // nothing to refuse.
  QCoro::Task<bool> requestCameraAccess() override {
    co_return co_await onWorker([] {
      const std::vector<CaptureDevice> cameras = V4l2Devices::list();
      if (cameras.empty()) return true;
      for (const CaptureDevice& camera : cameras) {
        if (::access(camera.devicePath.c_str(), R_OK | W_OK) == 0) return true;
      }
      return false;
    });
  }
};

class PlatformContent : public ShareableContentSource {
 public:
  QCoro::Task<std::vector<CaptureDisplayRef>> displays() override {
    ShareableContent snapshot = co_await content();
    co_return std::move(snapshot.displays);
  }
  QCoro::Task<ShareableContent> content() override {
    ShareableContentOptions options;
    options.excludeDesktopWindows = false;
    options.onScreenWindowsOnly = true;
    // The error crosses the thread as it is, so the alert shows the X server's own words.
    auto [content, failure] =
        co_await onWorker([options]() -> std::pair<ShareableContent, std::exception_ptr> {
          try {
            return {loadShareableContent(options), nullptr};
          } catch (...) {
            return {{}, std::current_exception()};
          }
        });
    if (failure) std::rethrow_exception(failure);
    co_return content;
  }
};

// The desktop's sound settings: the first of the known settings programs that is installed.
void openSoundSettings() {
  const std::pair<const char*, QStringList> candidates[] = {
      {"gnome-control-center", {"sound"}},
      {"systemsettings", {"kcm_pulseaudio"}},
      {"pavucontrol", {}},
  };
  for (const auto& [program, arguments] : candidates) {
    const QString path = QStandardPaths::findExecutable(QString::fromUtf8(program));
    if (!path.isEmpty() && QProcess::startDetached(path, arguments)) return;
  }
  Diagnostics::line("⚠ No sound settings program found");
}

}  // namespace

struct PlatformServices::Impl {
  // The one coordinator of the whole run.
  RecordingCoordinator coordinator;
  CoordinatorRecordingControl recording{coordinator};
  PlatformDevices devices;
  PlatformContent content;
  RecordingFailureAlert failureAlert{coordinator};
  SavedRecordingNotice savedNotice;
  ShutdownController shutdown{coordinator};
};

PlatformServices::PlatformServices() : impl_(std::make_unique<Impl>()) {
  // The status item, the floating panel and the editor put themselves where the coordinator finds
  // them when first used; use them now, so the first recording already shows them.
  StatusBarController::shared();
  FloatingRecordingPanelController::shared();
  VideoTrimmerManager::shared();
}
PlatformServices::~PlatformServices() = default;

RecordingCoordinator& PlatformServices::coordinator() {
  return impl_->coordinator;
}

ModeSelectionServices PlatformServices::modeSelectionServices() {
  ModeSelectionServices services;
  services.recording = &impl_->recording;
  services.devices = &impl_->devices;
  services.content = &impl_->content;
  services.openMicrophoneSettings = openSoundSettings;
  const SelectionServices pickers{&impl_->recording, &impl_->content};
  services.openWindowSelector = [pickers] { WindowSelectorView::open(pickers); };
  services.openAreaSelector = [pickers](CaptureDisplayRef display) {
    AreaSelectorView::open(std::move(display), pickers);
  };
  return services;
}

}  // namespace tk
