#include "writing/MediaWriterError.h"

namespace tk {

MediaWriterError MediaWriterError::writerInitializationFailed(std::optional<std::string> underlying) {
  MediaWriterError error(Kind::writerInitializationFailed);
  error.underlying_ = std::move(underlying);
  return error;
}

MediaWriterError MediaWriterError::cannotAddInput(std::string type, std::optional<std::string> underlying) {
  MediaWriterError error(Kind::cannotAddInput);
  error.detail_ = std::move(type);
  error.underlying_ = std::move(underlying);
  return error;
}

MediaWriterError MediaWriterError::invalidState(std::string statusName) {
  MediaWriterError error(Kind::invalidState);
  error.detail_ = std::move(statusName);
  return error;
}

MediaWriterError MediaWriterError::writingFailed(std::optional<std::string> underlying) {
  MediaWriterError error(Kind::writingFailed);
  error.underlying_ = std::move(underlying);
  return error;
}

MediaWriterError MediaWriterError::alphaCodecNotSupported(AlphaVideoCodec codec) {
  MediaWriterError error(Kind::alphaCodecNotSupported);
  error.codec_ = codec;
  return error;
}

std::string MediaWriterError::localizedDescription() const {
  switch (kind_) {
    case Kind::writerInitializationFailed:
      return underlying_ ? "Failed to initialize media writer: " + *underlying_
                         : "Failed to initialize media writer";
    case Kind::cannotAddInput:
      return "Cannot add " + detail_ + " input to asset writer";
    case Kind::invalidState:
      return "Invalid writer state: " + detail_;
    case Kind::writingFailed:
      return underlying_ ? "Writing failed: " + *underlying_ : "Writing failed";
    case Kind::alphaCodecNotSupported:
      return "Alpha codec '" + displayName(codec_) + "' is not supported on this system";
    case Kind::writerNotConfigured:
      return "Media writer is not configured";
    case Kind::notWriting:
      return "Writer is not currently writing";
    case Kind::outputURLMissing:
      return "Output URL is missing";
  }
  return {};
}

std::optional<std::string> MediaWriterError::failureReason() const {
  if (kind_ == Kind::cannotAddInput) return underlying_;
  return std::nullopt;
}

}  // namespace tk
