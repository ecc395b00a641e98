#include "platform/json/JsonError.h"

namespace tk {

JsonError JsonError::inside(const std::string& parent) const {
  std::string path = parent;
  if (!path_.empty()) path += (path_.front() == '[' ? "" : ".") + path_;
  return JsonError(operation_, problem_, std::move(path));
}

std::string JsonError::localizedDescription() const {
  std::string text =
      operation_ == Operation::reading ? "Cannot read the JSON document" : "Cannot encode JSON";
  if (!path_.empty()) text += " at " + path_;
  return text + ": " + problem_;
}

}  // namespace tk
