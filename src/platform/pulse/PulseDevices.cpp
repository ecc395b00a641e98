#include "platform/pulse/PulseDevices.h"

#include "platform/media/Error.h"
#include "platform/pulse/PulseConnection.h"

namespace tk {

namespace {

constexpr std::chrono::milliseconds kQueryTimeout{3000};

CaptureDevice deviceFrom(const PulseConnection::SourceInfo& source) {
  CaptureDevice device;
  device.uniqueID = source.name;
  device.localizedName = source.description;
  device.modelID = source.bus;
  device.isExternal = source.bus == "usb" || source.bus == "bluetooth";
  return device;
}

std::vector<CaptureDevice> inputsOf(PulseConnection& connection) {
  std::vector<CaptureDevice> devices;
  for (const auto& source : connection.sources())
    if (!source.isMonitor) devices.push_back(deviceFrom(source));
  return devices;
}

}  // namespace

std::vector<CaptureDevice> PulseDevices::inputSources() {
  try {
    PulseConnection connection(kQueryTimeout);
    return inputsOf(connection);
  } catch (const Error&) {
    return {};
  }
}

std::optional<CaptureDevice> PulseDevices::defaultInputSource() {
  try {
    PulseConnection connection(kQueryTimeout);
    const std::string name = connection.serverInfo().defaultSourceName;
    if (name.empty()) return std::nullopt;
    const auto source = connection.source(name);
    if (source.isMonitor) return std::nullopt;
    return deviceFrom(source);
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::optional<AudioFormat> PulseDevices::sourceFormat(const std::string& uniqueID) {
  try {
    PulseConnection connection(kQueryTimeout);
    const auto source = connection.source(uniqueID);
    return AudioFormat{source.sampleRate, source.channels, true};
  } catch (const Error&) {
    return std::nullopt;
  }
}

bool PulseDevices::isServerReachable() {
  try {
    PulseConnection connection(kQueryTimeout);
    return true;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace tk
