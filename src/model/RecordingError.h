#pragma once

#include <concepts>
#include <exception>
#include <string>

#include "platform/media/Error.h"

namespace tk {

// The privacy permission a permissionDenied error is about.
enum class PermissionType { screenRecording, microphone, camera };

// "Screen Recording", "Microphone", "Camera": the name the error texts insert.
std::string displayName(PermissionType type);

// The error of a recording that reaches the user. Thrown as a C++ exception; stored in the failed
// recording state. Every case has a description, a failure reason and a recovery suggestion.
class RecordingError : public Error {
 public:
  enum class Kind {
    permissionDenied,
    fileWriteError,
    invalidConfiguration,
    unknown,
    captureDeviceUnavailable,
    encoderInitializationFailed,
    streamInterrupted,
    insufficientDiskSpace,
    outputDirectoryNotWritable,
  };

  static RecordingError permissionDenied(PermissionType type);
  // `underlying` is the failure being wrapped; call from a catch block with
  // std::current_exception(), or pass a concrete error value.
  static RecordingError fileWriteError(std::exception_ptr underlying);
  static RecordingError invalidConfiguration(std::string reason);
  static RecordingError unknown(std::exception_ptr underlying);
  static RecordingError captureDeviceUnavailable() { return RecordingError(Kind::captureDeviceUnavailable); }
  static RecordingError encoderInitializationFailed() {
    return RecordingError(Kind::encoderInitializationFailed);
  }
  static RecordingError streamInterrupted() { return RecordingError(Kind::streamInterrupted); }
  static RecordingError insufficientDiskSpace() { return RecordingError(Kind::insufficientDiskSpace); }
  static RecordingError outputDirectoryNotWritable() {
    return RecordingError(Kind::outputDirectoryNotWritable);
  }
  template <std::derived_from<std::exception> E>
  static RecordingError fileWriteError(const E& underlying) {
    return fileWriteError(std::make_exception_ptr(underlying));
  }
  template <std::derived_from<std::exception> E>
  static RecordingError unknown(const E& underlying) {
    return unknown(std::make_exception_ptr(underlying));
  }

  Kind kind() const { return kind_; }
  // Meaningful for permissionDenied only.
  PermissionType permissionType() const { return permission_; }
  // Meaningful for invalidConfiguration only.
  const std::string& reason() const { return reason_; }
  // The wrapped failure of fileWriteError and unknown (null otherwise); rethrow it to inspect it.
  std::exception_ptr underlying() const { return underlying_; }

  // The description, looked up in the application's translations with the English text as key.
  std::string errorDescription() const;
  std::string localizedDescription() const override { return errorDescription(); }
  std::optional<std::string> failureReason() const override;
  std::optional<std::string> recoverySuggestion() const override;

 private:
  explicit RecordingError(Kind kind) : kind_(kind) {}

  Kind kind_;
  PermissionType permission_ = PermissionType::screenRecording;
  std::string reason_;
  std::exception_ptr underlying_;
  std::string underlyingDescription_;  // taken once, when wrapped
};

// The user-facing description of any exception: a tk::Error's localizedDescription, else what().
std::string describeException(std::exception_ptr error);

}  // namespace tk
