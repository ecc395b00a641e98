#include "model/RecordingMetadata.h"

namespace tk {

namespace {

// Hands each list element to its encode overload.
constexpr auto encodeItem = [](JsonWriter& out, const auto& value) { encode(out, value); };

// The document's members in key order, as the saved file lists them; `Out` is a JsonWriter or a
// PrettyJsonStream.
template <typename Out>
void writeDocument(Out& out, const RecordingMetadata& metadata) {
  if (metadata.backgroundSettings) {
    out.object("backgroundSettings", [&](JsonWriter& item) { encode(item, *metadata.backgroundSettings); });
  }
  out.list("cameraPositions", metadata.cameraPositions, encodeItem)
      .list("cursorClicks", metadata.cursorClicks, encodeItem)
      .list("cursorPositions", metadata.cursorPositions, encodeItem)
      .number("duration", metadata.duration)
      .integer("frameRate", metadata.frameRate)
      .size("resolution", metadata.resolution)
      .string("version", RecordingMetadata::version)
      .list("zoomEvents", metadata.zoomEvents, encodeItem)
      .list("zoomKeyframes", metadata.zoomKeyframes, encodeItem)
      .list("zoomSegments", metadata.zoomSegments.items(), encodeItem);
}

}  // namespace

Json toJson(const RecordingMetadata& metadata) {
  JsonWriter out;
  writeDocument(out, metadata);
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
  // Streamed: the cursor path of a long recording holds millions of samples.
  PrettyJsonStream out;
  writeDocument(out, metadata);
  return out.finish();
}

RecordingMetadata readRecordingMetadata(const std::filesystem::path& file) {
  return recordingMetadataFromJson(readJsonFile(file));
}

}  // namespace tk
