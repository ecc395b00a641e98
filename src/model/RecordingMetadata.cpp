#include "model/RecordingMetadata.h"

namespace tk {

namespace {
// Hands each list element to its encode overload.
constexpr auto encodeItem = [](JsonWriter& out, const auto& value) { encode(out, value); };
}  // namespace

Json toJson(const RecordingMetadata& metadata) {
  JsonWriter out;
  out.string("version", RecordingMetadata::version)
      .number("duration", metadata.duration)
      .size("resolution", metadata.resolution)
      .integer("frameRate", metadata.frameRate)
      .list("zoomEvents", metadata.zoomEvents, encodeItem)
      .list("zoomKeyframes", metadata.zoomKeyframes, encodeItem)
      .list("zoomSegments", metadata.zoomSegments, encodeItem)
      .list("cameraPositions", metadata.cameraPositions, encodeItem)
      .list("cursorClicks", metadata.cursorClicks, encodeItem)
      .list("cursorPositions", metadata.cursorPositions, encodeItem);
  if (metadata.backgroundSettings) {
    out.object("backgroundSettings", [&](JsonWriter& item) { encode(item, *metadata.backgroundSettings); });
  }
  return out.take();
}

RecordingMetadata recordingMetadataFromJson(const Json& document) {
  const JsonReader in(document);
  RecordingMetadata metadata;
  metadata.duration = in.number("duration");
  metadata.resolution = in.size("resolution");
  metadata.frameRate = in.integer("frameRate");
  metadata.zoomEvents = in.list("zoomEvents", decodeZoomEvent);
  metadata.zoomKeyframes = in.list("zoomKeyframes", decodeZoomKeyframe);
  metadata.zoomSegments = in.list("zoomSegments", decodeZoomSegment);
  metadata.cameraPositions = in.list("cameraPositions", decodeCameraKeyframe);
  metadata.cursorClicks = in.list("cursorClicks", decodeCursorClick);
  metadata.cursorPositions = in.list("cursorPositions", decodeCursorPosition);
  metadata.backgroundSettings = in.optionalObject("backgroundSettings", decodeBackgroundSettings);
  return metadata;
}

std::string encodeRecordingMetadata(const RecordingMetadata& metadata) {
  return encodeJson(toJson(metadata), JsonStyle::pretty);
}

RecordingMetadata readRecordingMetadata(const std::filesystem::path& file) {
  return recordingMetadataFromJson(readJsonFile(file));
}

}  // namespace tk
