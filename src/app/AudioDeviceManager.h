#pragma once

#include <QCoroTask>
#include <QObject>
#include <vector>

#include "platform/media/ShareableContent.h"

namespace tk {

class CaptureDeviceSource;

// The microphones the main window's menu offers. Main thread only; the list is asked for on a
// worker, since the sound server may take a moment to answer.
class AudioDeviceManager : public QObject {
  Q_OBJECT
 public:
  explicit AudioDeviceManager(CaptureDeviceSource* source, QObject* parent = nullptr);

  const std::vector<CaptureDevice>& availableDevices() const { return availableDevices_; }

  // Replaces the list with the source's microphones, in its order, leaving out the monitors of
  // outputs (they record what plays, not a microphone).
  QCoro::Task<void> refreshDevices();

  // Whether a sound-server source is the monitor of an output.
  static bool isOutputMonitor(const CaptureDevice& device);

 signals:
  void availableDevicesChanged();

 private:
  CaptureDeviceSource* source_;
  std::vector<CaptureDevice> availableDevices_;
};

}  // namespace tk
