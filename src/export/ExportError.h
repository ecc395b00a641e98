#pragma once

#include <memory>
#include <optional>

#include "platform/ffmpeg/AssetExportSession.h"
#include "platform/media/Error.h"

namespace tk {

// The advanced export's failures. Each kind says what went wrong in words; an export that failed
// underneath includes that failure's description, which is also its reason.
class ExportError : public Error {
 public:
  enum class Kind { exportFailed, invalidAssets, compositionFailed, cancelled };

  explicit ExportError(Kind kind, std::shared_ptr<const Error> underlying = nullptr)
      : kind_(kind), underlying_(std::move(underlying)) {}

  Kind kind() const { return kind_; }
  int code() const { return static_cast<int>(kind_); }
  // The export session's own error, for exportFailed; may be absent.
  const std::shared_ptr<const Error>& underlying() const { return underlying_; }

  std::string localizedDescription() const override;
  std::optional<std::string> failureReason() const override;

 private:
  Kind kind_;
  std::shared_ptr<const Error> underlying_;
};

// The note of an export that ended with its source: where the picture stopped, against the length
// the movie claims. None when the session read the whole movie.
std::optional<std::string> shortSourceNote(const AssetExportSession& session, double claimedSeconds);

}  // namespace tk
