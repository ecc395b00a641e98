#pragma once

#include <QSizeF>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/BackgroundSettings.h"
#include "model/MetadataEvents.h"
#include "model/ZoomSegmentList.h"

namespace tk {

// What happened during one recording, saved as a JSON document beside the movie (or inside its
// package): click-to-zoom events and their keyframes, zoom segments, camera keyframes, clicks, the
// sampled cursor path and optionally the editor's background.
struct RecordingMetadata {
  static constexpr const char* version = "1.0";  // written always; never read back

  double duration = 0;  // seconds
  QSizeF resolution;    // size of the recorded video
  int frameRate = 0;
  std::vector<ZoomEvent> zoomEvents;
  std::vector<ZoomKeyframe> zoomKeyframes;
  ZoomSegmentList zoomSegments;
  std::vector<CameraKeyframe> cameraPositions;
  std::vector<CursorClick> cursorClicks;
  std::vector<CursorPosition> cursorPositions;
  std::optional<BackgroundSettings> backgroundSettings;
};

// The document: one object with the record's field names as keys (backgroundSettings left out when
// absent). Throws JsonError when a number is not finite.
Json toJson(const RecordingMetadata& metadata);
// Reads a whole document or throws JsonError: every list and number is required, unknown keys are
// ignored, "version" is not read.
RecordingMetadata recordingMetadataFromJson(const Json& document);

// The document as its file holds it: pretty-printed, keys sorted.
std::string encodeRecordingMetadata(const RecordingMetadata& metadata);
// Reads a metadata file; throws JsonError for a bad document, PlatformError when unreadable.
RecordingMetadata readRecordingMetadata(const std::filesystem::path& file);

}  // namespace tk
