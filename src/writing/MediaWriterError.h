#pragma once

#include <optional>
#include <string>

#include "platform/media/Error.h"
#include "writing/AlphaVideoCodec.h"

namespace tk {

class MediaWriterError : public Error {
 public:
  enum class Kind {
    writerInitializationFailed,
    cannotAddInput,
    invalidState,
    writingFailed,
    alphaCodecNotSupported,
    writerNotConfigured,
    notWriting,
    outputURLMissing,
  };

  // `underlying` is the wrapped failure's own description (FFmpeg's text), when there is one.
  static MediaWriterError writerInitializationFailed(std::optional<std::string> underlying = std::nullopt);
  static MediaWriterError cannotAddInput(std::string type,
                                         std::optional<std::string> underlying = std::nullopt);
  static MediaWriterError invalidState(std::string statusName);
  static MediaWriterError writingFailed(std::optional<std::string> underlying = std::nullopt);
  static MediaWriterError alphaCodecNotSupported(AlphaVideoCodec codec);
  static MediaWriterError writerNotConfigured() { return MediaWriterError(Kind::writerNotConfigured); }
  static MediaWriterError notWriting() { return MediaWriterError(Kind::notWriting); }
  static MediaWriterError outputURLMissing() { return MediaWriterError(Kind::outputURLMissing); }

  Kind kind() const { return kind_; }
  const std::optional<std::string>& underlying() const { return underlying_; }

  std::string localizedDescription() const override;
  // For cannotAddInput: why the input could not be added (the library's text).
  std::optional<std::string> failureReason() const override;

 private:
  explicit MediaWriterError(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::string detail_;  // the input type, the status name
  AlphaVideoCodec codec_ = AlphaVideoCodec::hevcWithAlpha;
  std::optional<std::string> underlying_;
};

}  // namespace tk
