#include "export/ExportError.h"

namespace tk {

std::string ExportError::localizedDescription() const {
  switch (kind_) {
    case Kind::exportFailed:
      // The reason underneath is what the person can act on (a full disk, a folder that refuses us).
      return underlying_ ? "The export failed: " + underlying_->localizedDescription()
                         : std::string("The export failed.");
    case Kind::invalidAssets:
      return "The movie has no picture that can be exported.";
    case Kind::compositionFailed:
      return "The export could not be prepared.";
    case Kind::cancelled:
      return "The export was cancelled.";
  }
  return "The export failed.";
}

std::optional<std::string> ExportError::failureReason() const {
  if (!underlying_) return std::nullopt;
  return underlying_->localizedDescription();
}

}  // namespace tk
