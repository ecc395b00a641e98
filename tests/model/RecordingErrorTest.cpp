#include <gtest/gtest.h>

#include <stdexcept>
#include <type_traits>

#include "model/MetadataRecorder.h"
#include "model/RecordingError.h"
#include "platform/json/JsonError.h"

using namespace tk;

namespace {

struct Texts {
  std::string description, reason, suggestion;
};

Texts textsOf(const RecordingError& error) {
  return {error.localizedDescription(), error.failureReason().value_or("<none>"),
          error.recoverySuggestion().value_or("<none>")};
}

// An error from below whose own description is empty.
class SilentError : public Error {
 public:
  std::string localizedDescription() const override { return {}; }
};

// Callers that report any failure catch the common base.
static_assert(std::is_base_of_v<Error, RecordingError>);

}  // namespace

TEST(RecordingErrorTest, GoldenTexts) {
  const std::vector<std::pair<RecordingError, Texts>> golden = {
      {RecordingError::permissionDenied(PermissionType::screenRecording),
       {"Permission denied for Screen Recording. Please grant access in the desktop settings.",
        "Missing Screen Recording permission",
        "Open the desktop settings > Privacy > Screen Recording and grant permission to tavelkombrix."}},
      {RecordingError::permissionDenied(PermissionType::microphone),
       {"Permission denied for Microphone. Please grant access in the desktop settings.",
        "Missing Microphone permission",
        "Open the desktop settings > Privacy > Microphone and grant permission to tavelkombrix."}},
      {RecordingError::permissionDenied(PermissionType::camera),
       {"Permission denied for Camera. Please grant access in the desktop settings.",
        "Missing Camera permission",
        "Open the desktop settings > Privacy > Camera and grant permission to tavelkombrix."}},
      {RecordingError::fileWriteError(
           PlatformError("POSIX", 28, "Cannot write /x.mov: No space left on device")),
       {"Failed to write recording file: Cannot write /x.mov: No space left on device", "File write failed",
        "Check that you have write permissions to the output directory and sufficient disk space."}},
      {RecordingError::invalidConfiguration("Frame rate 7 is not supported"),
       {"Invalid recording configuration: Frame rate 7 is not supported", "Invalid configuration",
        "Review your recording settings and ensure all required fields are properly configured."}},
      {RecordingError::unknown(std::runtime_error("boom")),
       {"An unknown error occurred: boom", "Unknown error",
        "Try restarting the application or your computer."}},
      {RecordingError::captureDeviceUnavailable(),
       {"The selected capture device is unavailable. Please select a different device.", "Device unavailable",
        "Try selecting a different capture device or reconnecting the device."}},
      {RecordingError::encoderInitializationFailed(),
       {"Failed to initialize video encoder. The selected resolution may not be supported.",
        "Encoder initialization failed",
        "Try using a different encoder (H.265 instead of H.264) or lower resolution."}},
      {RecordingError::streamInterrupted(),
       {"Recording stream was interrupted. The recording has been stopped.", "Stream interrupted",
        "The partial recording has been saved. Try starting a new recording."}},
      {RecordingError::insufficientDiskSpace(),
       {"Insufficient disk space to continue recording. Please free up space and try again.",
        "Insufficient disk space", "Free up at least 1GB of disk space before starting a new recording."}},
      {RecordingError::outputDirectoryNotWritable(),
       {"Cannot write to the selected output directory. Please choose a different location.",
        "Output directory not writable", "Select a different output directory in Settings."}},
  };
  for (const auto& [error, expected] : golden) {
    const Texts actual = textsOf(error);
    EXPECT_EQ(actual.description, expected.description);
    EXPECT_EQ(actual.reason, expected.reason);
    EXPECT_EQ(actual.suggestion, expected.suggestion);
    EXPECT_STREQ(error.what(), expected.description.c_str());
  }

  const std::vector<std::pair<MetadataRecorderError::Kind, std::string>> recorder = {
      {MetadataRecorderError::Kind::recordingStillActive,
       "Cannot save metadata while recording is still active"},
      {MetadataRecorderError::Kind::recordingNotStarted, "Recording has not been started"},
      {MetadataRecorderError::Kind::invalidMetadata, "Metadata is invalid or corrupted"},
  };
  for (const auto& [kind, text] : recorder) {
    const MetadataRecorderError error(kind);
    EXPECT_EQ(error.localizedDescription(), text);
    EXPECT_FALSE(error.failureReason().has_value());
    EXPECT_FALSE(error.recoverySuggestion().has_value());
  }
}

TEST(RecordingErrorTest, PayloadsAreInsertedAsTheyAre) {
  EXPECT_EQ(RecordingError::invalidConfiguration("").localizedDescription(),
            "Invalid recording configuration: ");
  EXPECT_EQ(RecordingError::fileWriteError(SilentError()).localizedDescription(),
            "Failed to write recording file: ");
  EXPECT_EQ(RecordingError::unknown(
                JsonError(JsonError::Operation::encoding, "the number is not finite", "duration"))
                .localizedDescription(),
            "An unknown error occurred: Cannot encode JSON at duration: the number is not finite");
  // Caught as whatever it is, kept as the underlying error.
  try {
    throw std::out_of_range("index 9");
  } catch (...) {
    const RecordingError error = RecordingError::fileWriteError(std::current_exception());
    EXPECT_EQ(error.kind(), RecordingError::Kind::fileWriteError);
    EXPECT_EQ(error.localizedDescription(), "Failed to write recording file: index 9");
    EXPECT_THROW(std::rethrow_exception(error.underlying()), std::out_of_range);
  }
}
