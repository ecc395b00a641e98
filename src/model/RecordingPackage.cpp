#include "model/RecordingPackage.h"

namespace tk {

RecordingPackage RecordingPackage::create(const std::filesystem::path& packageFolder,
                                          std::chrono::system_clock::time_point createdAt) {
  RecordingPackage package;
  package.packageURL = packageFolder;
  package.screenVideoURL = packageFolder / ".screen.mov";
  package.cameraVideoURL = packageFolder / ".camera.mov";
  package.audioURL = packageFolder / ".audio.m4a";
  package.metadataURL = packageFolder / ".metadata.json";
  package.createdAt = createdAt;
  return package;
}

RecordingPackage RecordingPackage::finalized(const PackageConfiguration& configuration) const {
  RecordingPackage package = *this;
  package.configuration = configuration;
  std::error_code ignored;
  for (auto* location : {&package.cameraVideoURL, &package.audioURL}) {
    if (*location && !std::filesystem::is_regular_file(**location, ignored)) location->reset();
  }
  return package;
}

RecordingPackage RecordingPackage::movedTo(const std::filesystem::path& folder) const {
  RecordingPackage package = *this;
  package.packageURL = folder;
  for (auto* location : {&package.screenVideoURL, &package.metadataURL})
    *location = folder / location->filename();
  for (auto* location : {&package.cameraVideoURL, &package.audioURL}) {
    if (*location) *location = folder / (*location)->filename();
  }
  return package;
}

void RecordingPackage::writeManifest() const {
  const std::string bytes = encodeJson(toJson(*this), JsonStyle::pretty);
  writeFileBytes(packageURL / manifestFileName, bytes);
}

void encode(JsonWriter& out, const PackageConfiguration& value) {
  out.boolean("hasAlphaChannel", value.hasAlphaChannel)
      .boolean("hasSeparateLayers", value.hasSeparateLayers)
      .size("resolution", value.resolution)
      .integer("frameRate", value.frameRate)
      .number("duration", value.duration);
  if (value.contentOrigin) out.point("contentOrigin", *value.contentOrigin);
}

PackageConfiguration decodePackageConfiguration(const JsonReader& in) {
  PackageConfiguration configuration;
  configuration.hasAlphaChannel = in.boolean("hasAlphaChannel");
  configuration.hasSeparateLayers = in.boolean("hasSeparateLayers");
  configuration.resolution = in.size("resolution");
  configuration.frameRate = in.integer("frameRate");
  configuration.duration = in.number("duration");
  if (in.has("contentOrigin")) configuration.contentOrigin = in.point("contentOrigin");
  return configuration;
}

Json toJson(const RecordingPackage& package) {
  JsonWriter out;
  out.string("version", RecordingPackage::version)
      .url("packageURL", package.packageURL)
      .url("screenVideoURL", package.screenVideoURL)
      .url("metadataURL", package.metadataURL)
      .date("createdAt", package.createdAt)
      .object("configuration", [&](JsonWriter& item) { encode(item, package.configuration); });
  if (package.audioURL) out.url("audioURL", *package.audioURL);
  if (package.cameraVideoURL) out.url("cameraVideoURL", *package.cameraVideoURL);
  return out.take();
}

RecordingPackage recordingPackageFromJson(const Json& document) {
  const JsonReader in(document);
  RecordingPackage package;
  package.packageURL = in.url("packageURL");
  package.screenVideoURL = in.url("screenVideoURL");
  if (in.has("cameraVideoURL")) package.cameraVideoURL = in.url("cameraVideoURL");
  if (in.has("audioURL")) package.audioURL = in.url("audioURL");
  package.metadataURL = in.url("metadataURL");
  package.createdAt = in.date("createdAt");
  package.configuration = in.object("configuration", decodePackageConfiguration);
  return package;
}

}  // namespace tk
