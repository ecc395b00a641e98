#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/media/Error.h"

namespace tk {

// How an export ended: the written movie, or why there is none. Exactly one of the two is set.
struct ExportResult {
  std::optional<std::filesystem::path> url;
  std::shared_ptr<const Error> error;

  static ExportResult success(std::filesystem::path url) { return {std::move(url), nullptr}; }
  static ExportResult failure(std::shared_ptr<const Error> error) { return {std::nullopt, std::move(error)}; }
  bool succeeded() const { return url.has_value() && !error; }
};

// Called exactly once per export.
using ExportCompletion = std::function<void(ExportResult)>;

}  // namespace tk
