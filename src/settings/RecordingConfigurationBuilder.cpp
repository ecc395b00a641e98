#include "settings/RecordingConfigurationBuilder.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/RecordingError.h"
#include "settings/SettingsKeys.h"

namespace tk {

namespace {

std::optional<std::string_view> view(const std::string& text) {
  return std::string_view(text);
}

// Numbers pass through as stored (the coordinator judges them); only what an int cannot hold is cut.
int toInt(long long stored) {
  return static_cast<int>(
      std::clamp<long long>(stored, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The stored frame rate; a text that is no number is said to be one, rather than recorded at a
// rate nobody chose.
int frameRateSetting(const SettingsStore& store) {
  if (const std::optional<QString> text = store.stringValue(settings::frameRate.key)) {
    bool isNumber = false;
    const double value = text->trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(value)) {
      throw RecordingError::invalidConfiguration("The frame rate setting \"" + text->toStdString() +
                                                 "\" is not a number");
    }
  }
  return toInt(settings::frameRate.read(store));
}

}  // namespace

std::filesystem::path RecordingConfigurationBuilder::outputDirectory(const SettingsStore& store) {
  const QString stored = settings::outputDirectory.read(store);
  if (!stored.isEmpty()) return std::filesystem::path(stored.toStdString());
  const std::filesystem::path folder = defaultOutputDirectory();
  if (folder.filename() == "Recordings") QDir().mkpath(QString::fromStdString(folder.string()));
  return folder;
}

std::filesystem::path RecordingConfigurationBuilder::defaultOutputDirectory() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (documents.isEmpty()) return std::filesystem::path(QDir::tempPath().toStdString());
  return std::filesystem::path(QDir(documents).filePath(QStringLiteral("Recordings")).toStdString());
}

VideoEncoder RecordingConfigurationBuilder::encoderFromStoredValue(const QString& stored) {
  return stored == QLatin1String("h264") ? VideoEncoder::h264 : VideoEncoder::h265;
}

RecordingMode RecordingConfigurationBuilder::windowSelectionMode(std::vector<CaptureWindowRef> windows) {
  if (windows.size() == 1) return RecordingMode::window(std::move(windows.front()));
  return RecordingMode::windows(std::move(windows));
}

RecordingConfiguration RecordingConfigurationBuilder::build(RecordingMode mode, const SettingsStore& store) {
  using namespace settings;
  RecordingConfiguration configuration;
  configuration.outputDirectory = outputDirectory(store);
  configuration.studioConfig.reset();
  configuration.mode = std::move(mode);
  configuration.resolution = resolutionModeFromStoredValue(resolution.read(store));
  configuration.videoQuality = videoQualityFromStoredValue(videoQuality.read(store));
  configuration.backgroundColor =
      backgroundTypeFromStoredValue(view(backgroundColor.read(store).toStdString()));
  configuration.frameRate = frameRateSetting(store);
  configuration.encoder = encoderFromStoredValue(encoder.read(store));
  configuration.outputFormat = outputFormatFromStoredValue(view(outputFormat.read(store).toStdString()));
  configuration.showCursor = showCursor.read(store);
  configuration.highlightCursor = highlightCursor.read(store);
  configuration.recordSystemAudio = recordSystemAudio.read(store);
  configuration.recordMicrophone = recordMicrophone.read(store);
  configuration.recordCamera = recordCamera.read(store);
  configuration.enableAEC = enableAEC.read(store);
  configuration.preventSleep = preventSleep.read(store);
  if (configuration.recordMicrophone)
    configuration.microphoneDevice = microphoneDevice.read(store).toStdString();
  if (configuration.recordCamera) configuration.cameraDevice = cameraDevice.read(store).toStdString();
  configuration.separateAudioTracks = false;
  configuration.countdown = toInt(countdown.read(store));
  configuration.autoStopMinutes = toInt(autoStopMinutes.read(store));
  configuration.loadStudioConfiguration(store);
  return configuration;
}

}  // namespace tk
