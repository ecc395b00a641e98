#pragma once

#include <QCoroTask>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "model/RecordingPackage.h"
#include "platform/media/Error.h"
#include "writing/MediaWriter.h"
#include "writing/PackageFolder.h"

namespace tk {

// The members of a recording package.
enum class RecordingLayer { screen, camera, audio, metadata };
std::string caseName(RecordingLayer layer);

class LayerRecordingError : public Error {
 public:
  enum class Kind {
    packageNotFound,
    missingFile,
    writerInitializationFailed,
    packageNotCreated,
    alreadyRecording,
    notRecording
  };

  static LayerRecordingError packageNotFound(std::filesystem::path path);
  static LayerRecordingError missingFile(RecordingLayer layer);
  static LayerRecordingError writerInitializationFailed(RecordingLayer layer, std::string underlying);
  static LayerRecordingError packageNotCreated() { return LayerRecordingError(Kind::packageNotCreated); }
  static LayerRecordingError alreadyRecording() { return LayerRecordingError(Kind::alreadyRecording); }
  static LayerRecordingError notRecording() { return LayerRecordingError(Kind::notRecording); }

  Kind kind() const { return kind_; }
  std::string localizedDescription() const override;

 private:
  explicit LayerRecordingError(Kind kind) : kind_(kind) {}
  Kind kind_;
  RecordingLayer layer_ = RecordingLayer::screen;
  std::string detail_;
};

// Writes a recording package: a folder "Recording-<date>" holding the screen layer ".screen.mov",
// the camera layer ".camera.mov", the metadata and the manifest ".package.json". A package whose
// folder cannot be made again while its layers are written goes on whole in a package folder made
// in its place (PackageFolder); the manifest, and whoever saves the metadata, follow it there.
//
// Threads: every function is called on the main thread; finalizeLayerRecording resumes there. The
// writers it hands out receive samples on the capture threads (MediaWriter serialises itself); the
// coordinator stops capture before it finalizes or cancels.
class LayerRecordingManager {
 public:
  LayerRecordingManager() = default;
  ~LayerRecordingManager();
  LayerRecordingManager(const LayerRecordingManager&) = delete;
  LayerRecordingManager& operator=(const LayerRecordingManager&) = delete;

  // Creates the package folder in `directory` under a name no other package has (a second package
  // in the same second gets "Recording-<date> 2"). Throws PlatformError.
  RecordingPackage createPackage(const std::filesystem::path& directory);
  // Throws LayerRecordingError, MediaWriterError or AlphaRecordingError.
  void startLayerRecording(const WriterConfiguration& screenConfiguration,
                           const std::optional<WriterConfiguration>& cameraConfiguration);
  // While recording: writes the manifest when the screen layer holds its first data, and again when
  // another layer gets its first, naming only the layers with data, so that a package whose process
  // is killed keeps a manifest beside its playable layers. Does nothing otherwise (called on every
  // tick of the recording); a manifest that cannot be written is logged and the recording goes on.
  void saveManifestWhileRecording(const PackageConfiguration& configuration);
  // Finishes each writer once and writes the manifest again. Throws LayerRecordingError, the screen
  // writer's MediaWriterError, or the manifest's error; the camera layer is finished and the package
  // kept even when the screen layer fails. Called once per package.
  QCoro::Task<RecordingPackage> finalizeLayerRecording(PackageConfiguration configuration);
  // Points the package (its manifest, its metadata location) at the folder its layers went on in,
  // when they had to leave its own. Each manifest save, the finish and the cancel do it too.
  void followPackageFolder();
  // Discards the writers and deletes the package folder, unless a layer was already finished: a
  // finished recording is never deleted.
  void cancelLayerRecording();

  const std::optional<RecordingPackage>& recordingPackage() const { return recordingPackage_; }
  // Shared with the camera engine, which appends camera frames from its own thread.
  const std::shared_ptr<MediaWriter>& screenWriter() const { return screenWriter_; }
  const std::shared_ptr<MediaWriter>& cameraWriter() const { return cameraWriter_; }
  bool isRecording() const { return isRecording_; }

  // "12.3 MB": kilobytes, megabytes or gigabytes (1000-based).
  static std::string fileSizeText(uint64_t bytes);

 private:
  std::optional<RecordingPackage> recordingPackage_;
  std::shared_ptr<PackageFolder> folder_;  // shared with the layers' writers
  std::shared_ptr<MediaWriter> screenWriter_;
  std::shared_ptr<MediaWriter> cameraWriter_;
  bool isRecording_ = false;
  bool layerFinished_ = false;  // some layer of this package is a finished file
  int manifestLayers_ = 0;      // how many layers the manifest written while recording names
};

}  // namespace tk
