#pragma once

#include <filesystem>
#include <string>

#include "platform/json/JsonReader.h"
#include "platform/json/JsonWriter.h"

namespace tk {

// The record "info.json" of an audio package (a folder holding system audio and microphone as two
// files). The defaults are what the audio-only recorder writes.
struct AudioPackageInfo {
  static constexpr const char* fileName = "info.json";

  std::string format = "m4a";  // container of the two files
  std::string encoder = "aac";
  bool exportMP3 = false;
  float sysVol = 1.0f;  // volume of the system-audio track
  float micVol = 1.0f;  // volume of the microphone track

  // Writes "info.json" into the folder: compact JSON, one plain write. Throws JsonError (a volume
  // that is not finite, before writing) or PlatformError.
  void write(const std::filesystem::path& packageFolder) const;
};

Json toJson(const AudioPackageInfo& info);
// All five fields are required; throws JsonError.
AudioPackageInfo audioPackageInfoFromJson(const Json& document);

}  // namespace tk
