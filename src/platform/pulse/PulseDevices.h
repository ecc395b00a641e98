#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/media/SampleBuffer.h"
#include "platform/media/ShareableContent.h"

namespace tk {

// What the sound server offers to record from. Each call opens a short connection of its own and
// blocks until the server answers (at most a few seconds): call it off the main thread where that
// matters. A server that cannot be reached gives an empty answer, never an exception.
class PulseDevices {
 public:
  // The input sources: microphones and line inputs. Monitors of outputs are left out: they carry
  // what plays, not what a microphone hears. `uniqueID` is the source's server name,
  // `localizedName` its description, `isExternal` true for a source on USB or Bluetooth.
  static std::vector<CaptureDevice> inputSources();
  // The server's default source when it is an input source.
  static std::optional<CaptureDevice> defaultInputSource();
  // The format a source records at (float samples at its own rate and channel count); none when
  // the server or the source cannot be reached.
  static std::optional<AudioFormat> sourceFormat(const std::string& uniqueID);
  // Microphone access here is access to the sound server: granted when it answers.
  static bool isServerReachable();
};

}  // namespace tk
