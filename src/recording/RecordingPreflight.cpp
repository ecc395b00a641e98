#include "recording/RecordingPreflight.h"

#include <unistd.h>

#include <QDateTime>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/RecordingError.h"
#include "platform/media/Error.h"

namespace tk {

namespace fs = std::filesystem;

void RecordingPreflight::validateConfiguration(const RecordingConfiguration& configuration) {
  if (std::find(kRecordingFrameRates.begin(), kRecordingFrameRates.end(), configuration.frameRate) ==
      kRecordingFrameRates.end()) {
    throw RecordingError::invalidConfiguration("Invalid frame rate: " +
                                               std::to_string(configuration.frameRate));
  }
  // Only local paths reach here; an empty or relative one is the nearest thing to a non-file URL.
  if (configuration.outputDirectory.empty() || !configuration.outputDirectory.is_absolute()) {
    throw RecordingError::invalidConfiguration("Output directory must be a file URL");
  }
  if (configuration.recordMicrophone && !configuration.microphoneDevice) {
    throw RecordingError::invalidConfiguration("Microphone device not specified");
  }
  // Echo cancellation is a property of the microphone's sound: without the microphone it asks nothing.
  if (configuration.recordMicrophone && configuration.enableAEC &&
      configuration.microphoneDevice != std::optional<std::string>("default")) {
    throw RecordingError::invalidConfiguration("AEC only works with default microphone");
  }
}

std::optional<uint64_t> RecordingPreflight::availableCapacity(const fs::path& folder) {
  std::error_code error;
  fs::path probe = folder;
  while (!probe.empty() && !fs::exists(probe, error)) {
    if (probe == probe.parent_path()) return std::nullopt;
    probe = probe.parent_path();
  }
  if (probe.empty()) return std::nullopt;
  fs::space_info space = fs::space(probe, error);
  if (error || space.available == static_cast<uintmax_t>(-1)) return std::nullopt;
  return space.available;
}

void RecordingPreflight::checkDiskSpace(const fs::path& folder) {
  auto available = availableCapacity(folder);
  if (!available) throw RecordingError::invalidConfiguration("Cannot determine available disk space");
  if (*available < kMinimumFreeBytes) throw RecordingError::insufficientDiskSpace();
}

void RecordingPreflight::checkOutputDirectory(const fs::path& folder) {
  std::error_code error;
  auto status = fs::status(folder, error);
  if (fs::exists(status)) {
    if (!fs::is_directory(status) || ::access(folder.c_str(), W_OK | X_OK) != 0) {
      throw RecordingError::outputDirectoryNotWritable();
    }
    return;
  }
  if (!fs::create_directories(folder, error) && error) {
    throw RecordingError::fileWriteError(PlatformError(
        "POSIX", error.value(), "Cannot create the folder " + folder.string() + ": " + error.message()));
  }
}

fs::path RecordingPreflight::outputURL(const RecordingConfiguration& configuration,
                                       std::chrono::system_clock::time_point now) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  QString date = QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-dd HH.mm.ss");
  bool audioOnly = configuration.mode.kind() == RecordingMode::Kind::systemAudio;
  std::string name = std::string(audioOnly ? "Audio Recording at " : "Recording at ") + date.toStdString() +
                     "." + (configuration.outputFormat == OutputFormat::mp4 ? "mp4" : "mov");
  return configuration.outputDirectory / name;
}

std::string RecordingPreflight::durationText(double seconds) {
  long long whole = std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(seconds) : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace tk
