#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/RecordingMode.h"
#include "model/RecordingOptions.h"
#include "model/StudioRecordingConfiguration.h"

namespace tk {

class SettingsStore;

// What one recording is. A plain value, copied by the coordinator when it prepares; lives only in
// memory. The output folder is a local path.
struct RecordingConfiguration {
  RecordingMode mode;
  ResolutionMode resolution = ResolutionMode::normal;
  int frameRate = 60;
  VideoQuality videoQuality = VideoQuality::high;
  VideoEncoder encoder = VideoEncoder::h265;
  OutputFormat outputFormat = OutputFormat::mov;
  bool showCursor = false;       // the capture stream draws the system cursor
  bool highlightCursor = false;  // the live cursor overlay is shown
  bool recordSystemAudio = false;
  bool recordMicrophone = false;
  std::optional<std::string> microphoneDevice;  // an id or "default"; none without microphone
  bool enableAEC = false;
  bool separateAudioTracks = false;  // audio-only: system audio and microphone in separate files
  bool recordCamera = false;
  std::optional<std::string> cameraDevice;  // an id or "default"; none without camera
  BackgroundType backgroundColor = BackgroundType::wallpaper;
  int countdown = 0;         // seconds; below 1 means none
  int autoStopMinutes = 0;   // below 1 means no automatic stop
  bool preventSleep = true;  // kept and copied; nothing acts on it yet
  std::filesystem::path outputDirectory;
  std::optional<StudioRecordingConfiguration> studioConfig;  // none when no studio switch is on

  // Replaces studioConfig from the standard settings store and prints what was loaded. Called once
  // by each configuration builder, after every other field is set. Never fails.
  void loadStudioConfiguration();
  void loadStudioConfiguration(const SettingsStore& store);
};

}  // namespace tk
