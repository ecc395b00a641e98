#include "app/AudioDeviceManager.h"

#include <QPointer>
#include <algorithm>

#include "recording/RecordingServices.h"
#include "platform/qt/Async.h"
#include "platform/qt/Diagnostics.h"
#include "platform/qt/TestHold.h"

namespace tk {

AudioDeviceManager::AudioDeviceManager(CaptureDeviceSource* source, QObject* parent)
    : QObject(parent), source_(source) {}

bool AudioDeviceManager::isOutputMonitor(const CaptureDevice& device) {
  constexpr std::string_view suffix = ".monitor";
  const std::string& id = device.uniqueID;
  return id.size() >= suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0;
}

QCoro::Task<void> AudioDeviceManager::refreshDevices() {
  if (!source_) co_return;
  QPointer<AudioDeviceManager> self(this);
  CaptureDeviceSource* source = source_;
  std::vector<CaptureDevice> devices;
  try {
    devices = co_await onWorker([source] {
      TestHold::at("device-list");
      return source->microphones();
    });
  } catch (const std::exception& error) {
    Diagnostics::line(std::string("❌ Failed to list microphones: ") + error.what());
  }
  if (!self) co_return;
  std::erase_if(devices, isOutputMonitor);
  availableDevices_ = std::move(devices);
  emit availableDevicesChanged();
}

}  // namespace tk
