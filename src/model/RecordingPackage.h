#pragma once

#include <QPointF>
#include <QSizeF>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

namespace tk {

// What a recording package holds, as its manifest says.
struct PackageConfiguration {
  bool hasAlphaChannel = false;
  bool hasSeparateLayers = true;
  QSizeF resolution;
  int frameRate = 0;
  double duration = 0;  // seconds
  // Origin of the captured rectangle in the bottom-left global space; none when unknown.
  std::optional<QPointF> contentOrigin;
};

// The manifest ".package.json" of a recording package: a folder holding the screen layer, the camera
// layer, the audio, the metadata document and the manifest. Locations are local paths; the manifest
// holds them as file URLs.
struct RecordingPackage {
  static constexpr const char* version = "1.0";  // written always; never read back
  static constexpr const char* manifestFileName = ".package.json";

  std::filesystem::path packageURL;
  std::filesystem::path screenVideoURL;
  std::optional<std::filesystem::path> cameraVideoURL;
  std::optional<std::filesystem::path> audioURL;
  std::filesystem::path metadataURL;
  std::chrono::system_clock::time_point createdAt;
  PackageConfiguration configuration;

  // The manifest of a package folder just created: the locations ".screen.mov", ".camera.mov",
  // ".audio.m4a" and ".metadata.json" inside it and a provisional configuration (separate layers,
  // nothing else known yet).
  static RecordingPackage create(const std::filesystem::path& packageFolder,
                                 std::chrono::system_clock::time_point createdAt);

  // The manifest to write when the package is finished: the given configuration, and no camera or
  // audio location unless a file was written there (a reader must never be sent to a file that
  // does not exist).
  RecordingPackage finalized(const PackageConfiguration& configuration) const;

  // The same package in the folder `folder`: every location keeps its name.
  RecordingPackage movedTo(const std::filesystem::path& folder) const;

  // Writes the manifest into the package folder (pretty-printed, keys sorted), whole or not at all:
  // a temporary file renamed over the old one (writeFileBytes).
  // Throws JsonError before writing anything when a number is not finite, PlatformError when the
  // file cannot be written.
  void writeManifest() const;
};

Json toJson(const RecordingPackage& package);
// Throws JsonError; "version" is not read, cameraVideoURL, audioURL and contentOrigin may be missing
// or null.
RecordingPackage recordingPackageFromJson(const Json& document);

void encode(JsonWriter& out, const PackageConfiguration& value);
PackageConfiguration decodePackageConfiguration(const JsonReader& in);

}  // namespace tk
