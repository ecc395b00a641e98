#pragma once

#include <memory>

#include "recording/RecordingServices.h"

namespace tk {

class RecordingCoordinator;

// The real services behind the main window: the recording coordinator, the sound server's inputs
// and the cameras, and the desktop's displays. One per application, on the main thread.
class PlatformServices {
 public:
  PlatformServices();
  ~PlatformServices();

  ModeSelectionServices modeSelectionServices();
  RecordingCoordinator& coordinator();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tk
