#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/Error.h"

namespace tk {

// How an export ended: the written movie, or why there is none. Exactly one of the two is set. A
// movie written with a reservation (the source ended early) carries a note for the person.
struct ExportResult {
  std::optional<std::filesystem::path> url;
  std::shared_ptr<const Error> error;
  std::optional<std::string> note;

  static ExportResult success(std::filesystem::path url, std::optional<std::string> note = std::nullopt) {
    return {std::move(url), nullptr, std::move(note)};
  }
  static ExportResult failure(std::shared_ptr<const Error> error) {
    return {std::nullopt, std::move(error), std::nullopt};
  }
  bool succeeded() const { return url.has_value() && !error; }
};

// Called exactly once per export.
using ExportCompletion = std::function<void(ExportResult)>;

}  // namespace tk
