#pragma once

#include <string>

#include "platform/media/Error.h"

namespace tk {

// A JSON document that cannot be read as the record asked for, or a record that cannot be encoded.
// One error for the whole document; `path` says where (e.g. "cursorClicks[3].clickType").
class JsonError : public Error {
 public:
  enum class Operation { reading, encoding };

  JsonError(Operation operation, std::string problem, std::string path = {})
      : operation_(operation), problem_(std::move(problem)), path_(std::move(path)) {}

  Operation operation() const { return operation_; }
  const std::string& problem() const { return problem_; }
  const std::string& path() const { return path_; }

  // The same error one level further out: `parent` ("zoomEvents[2]") goes in front of the path.
  JsonError inside(const std::string& parent) const;

  std::string localizedDescription() const override;

 private:
  Operation operation_;
  std::string problem_;
  std::string path_;
};

}  // namespace tk
