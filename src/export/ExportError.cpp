#include "export/ExportError.h"

#include <cstdio>

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

std::optional<std::string> shortSourceNote(const AssetExportSession& session, double claimedSeconds) {
  const auto end = session.sourceEndedAt();
  if (!end) return std::nullopt;
  char text[200];
  std::snprintf(text, sizeof text,
                "The movie's picture ends at %.1f s, although the movie says it lasts %.1f s; the export "
                "holds what the movie has, up to %.1f s.",
                end->seconds(), claimedSeconds, end->seconds());
  return std::string(text);
}

}  // namespace tk
