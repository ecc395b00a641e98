#include "settings/RecordingConfigurationBuilder.h"

#include <QDir>
#include <QStandardPaths>
#include "settings/SettingsKeys.h"

namespace tk {

namespace {

std::optional<std::string_view> view(const std::string& text) {
  return std::string_view(text);
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
  // Each read gives a value the settings window offers (see SettingsKeys.h), so none is refused.
  configuration.frameRate = static_cast<int>(frameRate.read(store));
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
  configuration.countdown = static_cast<int>(countdown.read(store));
  configuration.autoStopMinutes = static_cast<int>(autoStopMinutes.read(store));
  configuration.loadStudioConfiguration(store);
  return configuration;
}

}  // namespace tk
