#include "writing/LayerRecordingManager.h"

#include <QDateTime>
#include <cstdio>

#include "model/TimeText.h"
#include "platform/qt/Diagnostics.h"
#include "writing/OutputNaming.h"

namespace tk {

std::string caseName(RecordingLayer layer) {
  switch (layer) {
    case RecordingLayer::screen:
      return "screen";
    case RecordingLayer::camera:
      return "camera";
    case RecordingLayer::audio:
      return "audio";
    case RecordingLayer::metadata:
      return "metadata";
  }
  return "screen";
}

LayerRecordingError LayerRecordingError::packageNotFound(std::filesystem::path path) {
  LayerRecordingError error(Kind::packageNotFound);
  error.detail_ = path.string();
  return error;
}

LayerRecordingError LayerRecordingError::missingFile(RecordingLayer layer) {
  LayerRecordingError error(Kind::missingFile);
  error.layer_ = layer;
  return error;
}

LayerRecordingError LayerRecordingError::writerInitializationFailed(RecordingLayer layer,
                                                                    std::string underlying) {
  LayerRecordingError error(Kind::writerInitializationFailed);
  error.layer_ = layer;
  error.detail_ = std::move(underlying);
  return error;
}

std::string LayerRecordingError::localizedDescription() const {
  switch (kind_) {
    case Kind::packageNotFound:
      return "Recording package not found at: " + detail_;
    case Kind::missingFile:
      return "Missing " + caseName(layer_) + " file in recording package";
    case Kind::writerInitializationFailed:
      return "Failed to initialize " + caseName(layer_) + " writer: " + detail_;
    case Kind::packageNotCreated:
      return "Recording package has not been created";
    case Kind::alreadyRecording:
      return "Layer recording is already in progress";
    case Kind::notRecording:
      return "Layer recording is not active";
  }
  return {};
}

LayerRecordingManager::~LayerRecordingManager() = default;

std::string LayerRecordingManager::fileSizeText(uint64_t bytes) {
  char text[32];
  const double value = static_cast<double>(bytes);
  if (value >= 1e9)
    std::snprintf(text, sizeof text, "%.2f GB", value / 1e9);
  else if (value >= 1e6)
    std::snprintf(text, sizeof text, "%.1f MB", value / 1e6);
  else
    std::snprintf(text, sizeof text, "%.0f KB", std::max(1.0, value / 1e3));
  return text;
}

RecordingPackage LayerRecordingManager::createPackage(const std::filesystem::path& directory) {
  const std::string date = QDateTime::currentDateTime().toString("yyyy-MM-dd-HH-mm-ss").toStdString();
  const std::filesystem::path folder = createUniqueFolder(directory, "Recording-" + date);
  recordingPackage_ = RecordingPackage::create(folder, std::chrono::system_clock::now());
  folder_ = std::make_shared<PackageFolder>(folder);
  layerFinished_ = false;
  manifestLayers_ = 0;
  Diagnostics::line("📦 Created recording package at: " + folder.string());
  return *recordingPackage_;
}

void LayerRecordingManager::startLayerRecording(
    const WriterConfiguration& screenConfiguration,
    const std::optional<WriterConfiguration>& cameraConfiguration) {
  if (!recordingPackage_) throw LayerRecordingError::packageNotCreated();
  if (isRecording_) throw LayerRecordingError::alreadyRecording();
  Diagnostics::line("🎬 Starting layer recording...");
  screenWriter_ = std::make_shared<MediaWriter>();
  screenWriter_->setPackageFolder(folder_);
  screenWriter_->configure(screenConfiguration);
  screenWriter_->startWriting();
  Diagnostics::line("✅ Screen writer initialized");
  if (cameraConfiguration) {
    cameraWriter_ = std::make_shared<MediaWriter>();
    cameraWriter_->setPackageFolder(folder_);
    cameraWriter_->configure(*cameraConfiguration);
    cameraWriter_->startWriting();
    Diagnostics::line("✅ Camera writer initialized");
  }
  isRecording_ = true;
  Diagnostics::line("✅ Layer recording started");
}

void LayerRecordingManager::followPackageFolder() {
  if (!recordingPackage_ || !folder_) return;
  const std::filesystem::path now = folder_->current();
  if (now == recordingPackage_->packageURL) return;
  recordingPackage_ = recordingPackage_->movedTo(now);
  // A manifest that moved with the folder names where the package was: it is written again.
  manifestLayers_ = 0;
  Diagnostics::line("📦 Recording package followed to: " + now.string());
}

void LayerRecordingManager::saveManifestWhileRecording(const PackageConfiguration& configuration) {
  if (!recordingPackage_ || !isRecording_) return;
  followPackageFolder();
  // A layer's header goes out with its first fragment: an empty file is not a movie yet.
  auto hasData = [](const std::optional<std::filesystem::path>& file) {
    std::error_code error;
    const auto bytes = file ? std::filesystem::file_size(*file, error) : 0;
    return !error && bytes > 0;
  };
  if (!hasData(recordingPackage_->screenVideoURL)) return;
  RecordingPackage package = recordingPackage_->finalized(configuration);
  if (!hasData(package.cameraVideoURL)) package.cameraVideoURL.reset();
  if (!hasData(package.audioURL)) package.audioURL.reset();
  const int layers = 1 + package.cameraVideoURL.has_value() + package.audioURL.has_value();
  // Written again where it went missing: the folder was made again, or the package went elsewhere.
  std::error_code ignored;
  const bool written =
      std::filesystem::exists(package.packageURL / RecordingPackage::manifestFileName, ignored);
  if (layers <= manifestLayers_ && (written || !std::filesystem::is_directory(package.packageURL, ignored)))
    return;
  manifestLayers_ = layers;
  try {
    package.writeManifest();
    Diagnostics::line(std::string("✅ Package manifest saved while recording: screen") +
                      (package.cameraVideoURL ? ", camera" : "") + (package.audioURL ? ", audio" : ""));
  } catch (const Error& failure) {
    // The next layer to get its data tries again; the finish writes it in any case.
    Diagnostics::line("⚠️ Failed to save the package manifest while recording: " +
                      failure.localizedDescription());
  }
}

QCoro::Task<RecordingPackage> LayerRecordingManager::finalizeLayerRecording(
    PackageConfiguration configuration) {
  if (!recordingPackage_) throw LayerRecordingError::packageNotCreated();
  if (!isRecording_) throw LayerRecordingError::notRecording();
  Diagnostics::line("🏁 Finalizing layer recording...");

  // Each layer is finished once, whatever happened to the other: a screen layer that fails never
  // costs the camera layer, and the package keeps whatever reached its files.
  std::exception_ptr screenFailure;
  if (screenWriter_) {
    try {
      const std::filesystem::path screen = co_await screenWriter_->finishWriting();
      Diagnostics::line("✅ Screen layer finalized: " + screen.filename().string());
    } catch (...) {
      screenFailure = std::current_exception();
    }
    layerFinished_ = true;
  }
  if (cameraWriter_) {
    if (cameraWriter_->isWriting()) {
      try {
        const std::filesystem::path camera = co_await cameraWriter_->finishWriting();
        layerFinished_ = true;
        Diagnostics::line("✅ Camera layer finalized: " + camera.filename().string());
      } catch (const Error& error) {
        layerFinished_ = true;
        Diagnostics::line("⚠️ Camera layer finalization failed: " + error.localizedDescription());
      }
    } else {
      Diagnostics::line("⚠️ Camera writer session was never started - no frames were captured");
      cameraWriter_->cancelWriting();
    }
  }
  isRecording_ = false;
  // The finish checks each layer's place once more: the last may have been the one to move it.
  followPackageFolder();
  if (screenFailure) std::rethrow_exception(screenFailure);
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(recordingPackage_->screenVideoURL, ignored))
    throw LayerRecordingError::missingFile(RecordingLayer::screen);

  const RecordingPackage final = recordingPackage_->finalized(configuration);
  final.writeManifest();
  Diagnostics::line("✅ Package manifest saved");

  auto size = [](const std::optional<std::filesystem::path>& path) -> std::optional<uint64_t> {
    std::error_code error;
    if (!path) return std::nullopt;
    const auto bytes = std::filesystem::file_size(*path, error);
    if (error) return std::nullopt;
    return bytes;
  };
  const auto screenSize = size(final.screenVideoURL);
  const auto cameraSize = size(recordingPackage_->cameraVideoURL);
  Diagnostics::line("📦 Package finalized:");
  Diagnostics::line("   Screen: " + (screenSize ? fileSizeText(*screenSize) : std::string("unknown")));
  if (cameraSize) Diagnostics::line("   Camera: " + fileSizeText(*cameraSize));
  Diagnostics::line("   Duration: " + minutesAndSeconds(configuration.duration));

  screenWriter_.reset();
  cameraWriter_.reset();
  isRecording_ = false;
  recordingPackage_ = final;
  co_return final;
}

void LayerRecordingManager::cancelLayerRecording() {
  if (screenWriter_) screenWriter_->cancelWriting();
  if (cameraWriter_) cameraWriter_->cancelWriting();
  screenWriter_.reset();
  cameraWriter_.reset();
  isRecording_ = false;
  // What goes is the package's folder where it is now, never a file that took its old name.
  followPackageFolder();
  if (recordingPackage_) {
    // A package with a finished layer is a recording the user has; only an unfinished one goes.
    std::error_code ignored;
    if (!layerFinished_ && std::filesystem::is_directory(
                               std::filesystem::symlink_status(recordingPackage_->packageURL, ignored)))
      std::filesystem::remove_all(recordingPackage_->packageURL, ignored);
    Diagnostics::line("🗑️ Cancelled and cleaned up recording package");
  }
  recordingPackage_.reset();
  folder_.reset();
}

}  // namespace tk
