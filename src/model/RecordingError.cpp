#include "model/RecordingError.h"

#include <QCoreApplication>

namespace tk {

std::string displayName(PermissionType type) {
  switch (type) {
    case PermissionType::screenRecording:
      return "Screen Recording";
    case PermissionType::microphone:
      return "Microphone";
    case PermissionType::camera:
      return "Camera";
  }
  return "Screen Recording";
}

std::string describeException(std::exception_ptr error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const Error& e) {
    return e.localizedDescription();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return {};
}

RecordingError RecordingError::permissionDenied(PermissionType type) {
  RecordingError error(Kind::permissionDenied);
  error.permission_ = type;
  return error;
}

RecordingError RecordingError::fileWriteError(std::exception_ptr underlying) {
  RecordingError error(Kind::fileWriteError);
  error.underlying_ = underlying;
  error.underlyingDescription_ = describeException(underlying);
  return error;
}

RecordingError RecordingError::invalidConfiguration(std::string reason) {
  RecordingError error(Kind::invalidConfiguration);
  error.reason_ = std::move(reason);
  return error;
}

RecordingError RecordingError::unknown(std::exception_ptr underlying) {
  RecordingError error(Kind::unknown);
  error.underlying_ = underlying;
  error.underlyingDescription_ = describeException(underlying);
  return error;
}

namespace {
// The English text is the translation key; the comment tells translators what the text is.
std::string translated(const std::string& english, const char* comment) {
  return QCoreApplication::translate("RecordingError", english.c_str(), comment).toStdString();
}
}  // namespace

std::string RecordingError::errorDescription() const {
  switch (kind_) {
    case Kind::permissionDenied:
      return translated("Permission denied for " + displayName(permission_) +
                            ". Please grant access in the desktop settings.",
                        "Permission denied error");
    case Kind::fileWriteError:
      return translated("Failed to write recording file: " + underlyingDescription_, "File write error");
    case Kind::invalidConfiguration:
      return translated("Invalid recording configuration: " + reason_, "Invalid configuration error");
    case Kind::unknown:
      return translated("An unknown error occurred: " + underlyingDescription_, "Unknown error");
    case Kind::captureDeviceUnavailable:
      return translated("The selected capture device is unavailable. Please select a different device.",
                        "Device unavailable error");
    case Kind::encoderInitializationFailed:
      return translated("Failed to initialize video encoder. The selected resolution may not be supported.",
                        "Encoder initialization error");
    case Kind::streamInterrupted:
      return translated("Recording stream was interrupted. The recording has been stopped.",
                        "Stream interrupted error");
    case Kind::insufficientDiskSpace:
      return translated("Insufficient disk space to continue recording. Please free up space and try again.",
                        "Insufficient disk space error");
    case Kind::outputDirectoryNotWritable:
      return translated("Cannot write to the selected output directory. Please choose a different location.",
                        "Output directory not writable error");
  }
  return {};
}

std::optional<std::string> RecordingError::failureReason() const {
  switch (kind_) {
    case Kind::permissionDenied:
      return "Missing " + displayName(permission_) + " permission";
    case Kind::fileWriteError:
      return "File write failed";
    case Kind::invalidConfiguration:
      return "Invalid configuration";
    case Kind::unknown:
      return "Unknown error";
    case Kind::captureDeviceUnavailable:
      return "Device unavailable";
    case Kind::encoderInitializationFailed:
      return "Encoder initialization failed";
    case Kind::streamInterrupted:
      return "Stream interrupted";
    case Kind::insufficientDiskSpace:
      return "Insufficient disk space";
    case Kind::outputDirectoryNotWritable:
      return "Output directory not writable";
  }
  return {};
}

std::optional<std::string> RecordingError::recoverySuggestion() const {
  switch (kind_) {
    case Kind::permissionDenied:
      return "Open the desktop settings > Privacy > " + displayName(permission_) +
             " and grant permission to tavelkombrix.";
    case Kind::fileWriteError:
      return "Check that you have write permissions to the output directory and sufficient disk space.";
    case Kind::invalidConfiguration:
      return "Review your recording settings and ensure all required fields are properly configured.";
    case Kind::unknown:
      return "Try restarting the application or your computer.";
    case Kind::captureDeviceUnavailable:
      return "Try selecting a different capture device or reconnecting the device.";
    case Kind::encoderInitializationFailed:
      return "Try using a different encoder (H.265 instead of H.264) or lower resolution.";
    case Kind::streamInterrupted:
      return "The partial recording has been saved. Try starting a new recording.";
    case Kind::insufficientDiskSpace:
      return "Free up at least 1GB of disk space before starting a new recording.";
    case Kind::outputDirectoryNotWritable:
      return "Select a different output directory in Settings.";
  }
  return {};
}

}  // namespace tk
