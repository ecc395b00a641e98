#include "export/ExportError.h"

namespace tk {

std::string ExportError::localizedDescription() const {
  return "The operation couldn’t be completed. (tavelkombrix.ExportError error " + std::to_string(code()) +
         ".)";
}

std::optional<std::string> ExportError::failureReason() const {
  if (!underlying_) return std::nullopt;
  return underlying_->localizedDescription();
}

}  // namespace tk
