#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "model/RecordingConfiguration.h"

namespace tk {

// The checks a recording passes before anything is built, and the names and texts it is given.
// Plain functions of their arguments; any thread.
class RecordingPreflight {
 public:
  static constexpr uint64_t kMinimumFreeBytes = 1'073'741'824;  // 1 GiB

  // Throws RecordingError::invalidConfiguration naming the first broken rule.
  static void validateConfiguration(const RecordingConfiguration& configuration);

  // Bytes available to us on the folder's file system; the nearest existing parent answers for a
  // folder not created yet. None when it cannot be read.
  static std::optional<uint64_t> availableCapacity(const std::filesystem::path& folder);
  // Throws invalidConfiguration("Cannot determine available disk space") or insufficientDiskSpace.
  static void checkDiskSpace(const std::filesystem::path& folder);

  // An existing writable folder passes; something else at the path, or a folder we cannot write
  // into, throws outputDirectoryNotWritable; a missing folder is created with its parents, and
  // when that fails throws fileWriteError.
  static void checkOutputDirectory(const std::filesystem::path& folder);

  // "Recording at y-MM-dd HH.mm.ss.mov" (or "Audio Recording at ..." for audio only) in the
  // output folder, for the given local time.
  static std::filesystem::path outputURL(const RecordingConfiguration& configuration,
                                         std::chrono::system_clock::time_point now);

  // Minutes and seconds, zero-padded, minutes unbounded: 65.3 s gives "01:05", 75 min "75:00".
  static std::string durationText(double seconds);
};

}  // namespace tk
