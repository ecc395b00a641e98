#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/json/EnumTable.h"
#include "platform/json/JsonError.h"
#include "platform/json/JsonValues.h"

namespace tk {

using Json = nlohmann::json;

// Strict reading of one JSON object into a record: a missing key, a value of the wrong JSON type
// (a bool is never a number), an enumeration value outside its table or a malformed UUID throws
// JsonError naming the place, and the whole document fails. Keys that are no field names are never
// looked at. Optional fields read as absent when the key is missing or null.
class JsonReader {
 public:
  // Throws when `value` is not a JSON object.
  explicit JsonReader(const Json& value);

  bool has(const char* key) const;  // present and not null

  double number(const char* key) const;
  float singleNumber(const char* key) const;  // a number within single precision's range
  int integer(const char* key) const;
  bool boolean(const char* key) const;
  std::string string(const char* key) const;
  QUuid uuid(const char* key) const;
  QPointF point(const char* key) const;  // [x, y]
  QSizeF size(const char* key) const;    // [width, height]
  QRectF rect(const char* key) const;    // [[x, y], [width, height]]
  std::filesystem::path url(const char* key) const;
  std::chrono::system_clock::time_point date(const char* key) const;

  template <StringEnum E>
  E enumeration(const char* key) const {
    const std::string text = string(key);
    if (auto value = fromRawValue<E>(text)) return *value;
    throw JsonError(JsonError::Operation::reading, "\"" + text + "\" is not a known value", key);
  }

  // A nested record, read by `read(const JsonReader&)`.
  template <typename Read>
  auto object(const char* key, Read read) const {
    return nested(key, [&] { return read(JsonReader(required(key))); });
  }
  template <typename Read>
  auto optionalObject(const char* key, Read read) const -> std::optional<decltype(read(*this))> {
    if (!has(key)) return std::nullopt;
    return object(key, read);
  }

  // A list of records, in document order, each read by `read(const JsonReader&)`.
  template <typename Read>
  auto list(const char* key, Read read) const -> std::vector<decltype(read(*this))> {
    const Json& array = required(key);
    if (!array.is_array()) throw wrongType(key, "an array");
    std::vector<decltype(read(*this))> result;
    result.reserve(array.size());
    for (std::size_t i = 0; i < array.size(); ++i) {
      const std::string place = std::string(key) + "[" + std::to_string(i) + "]";
      result.push_back(nested(place, [&] { return read(JsonReader(array[i])); }));
    }
    return result;
  }

 private:
  const Json& required(const char* key) const;
  JsonError wrongType(const std::string& key, const char* expected) const;

  template <typename Body>
  static auto nested(const std::string& place, Body body) {
    try {
      return body();
    } catch (const JsonError& error) {
      throw error.inside(place);
    }
  }

  const Json& object_;
};

}  // namespace tk
