#pragma once

#include <filesystem>

#include "model/RecordingConfiguration.h"
#include "model/RecordingMode.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

// Turns the user's settings into the configuration of one recording, just before it is prepared.
// Every view that starts a recording (the main window, the area panel, the window picker) builds
// through here, so they agree; only the capture mode differs. Never fails. Main thread.
class RecordingConfigurationBuilder {
 public:
  static RecordingConfiguration build(RecordingMode mode,
                                      const SettingsStore& store = SettingsStore::standard());

  // The window picker's mode: one window alone, else all of them in their order.
  static RecordingMode windowSelectionMode(std::vector<CaptureWindowRef> windows);

  // The stored folder when one is set; else "Recordings" in the user's documents (created when
  // missing; a failure to create it is left to the coordinator's check); else the temporary folder.
  static std::filesystem::path outputDirectory(const SettingsStore& store);
  // The folder used when none is set ("Recordings" in the user's documents, else the temporary
  // folder); created by `outputDirectory`, not here.
  static std::filesystem::path defaultOutputDirectory();

  // "h264" gives H.264, anything else H.265: the same reading the encoder picker shows.
  static VideoEncoder encoderFromStoredValue(const QString& stored);
};

}  // namespace tk
