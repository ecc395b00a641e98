#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/json/EnumTable.h"
#include "platform/json/JsonError.h"
#include "platform/json/JsonValues.h"

namespace tk {

using Json = nlohmann::json;

// Builds one JSON object of a record by the documents' conventions: keys are field names,
// enumerations their raw strings, UUIDs upper case, points [x, y], sizes [w, h], rectangles
// [[x, y], [w, h]], dates seconds since 2001, URLs file-URL texts. An absent optional is simply
// not written. A number that is not finite throws JsonError before anything is produced, since
// JSON has no form for it.
class JsonWriter {
 public:
  JsonWriter() : object_(Json::object()) {}

  JsonWriter& number(const char* key, double value);
  JsonWriter& integer(const char* key, long long value);
  JsonWriter& boolean(const char* key, bool value);
  JsonWriter& string(const char* key, std::string_view value);
  JsonWriter& uuid(const char* key, const QUuid& value);
  JsonWriter& point(const char* key, const QPointF& value);
  JsonWriter& size(const char* key, const QSizeF& value);
  JsonWriter& rect(const char* key, const QRectF& value);
  JsonWriter& url(const char* key, const std::filesystem::path& value);
  JsonWriter& date(const char* key, std::chrono::system_clock::time_point value);

  template <TabledEnum E>
    requires std::is_same_v<RawValueType<E>, std::string_view>
  JsonWriter& enumeration(const char* key, E value) {
    return string(key, rawValue(value));
  }

  // A nested record, written by `write(JsonWriter&)`.
  template <typename Write>
  JsonWriter& object(const char* key, Write write) {
    object_[key] = nested(key, [&] {
      JsonWriter child;
      write(child);
      return child.take();
    });
    return *this;
  }

  // A list of records in list order, each written by `write(JsonWriter&, const T&)`; an empty list
  // is written as [].
  template <typename T, typename Write>
  JsonWriter& list(const char* key, const std::vector<T>& items, Write write) {
    Json array = Json::array();
    for (std::size_t i = 0; i < items.size(); ++i) {
      array.push_back(nested(std::string(key) + "[" + std::to_string(i) + "]", [&] {
        JsonWriter child;
        write(child, items[i]);
        return child.take();
      }));
    }
    object_[key] = std::move(array);
    return *this;
  }

  Json take() { return std::move(object_); }

 private:
  template <typename Body>
  static Json nested(const std::string& place, Body body) {
    try {
      return body();
    } catch (const JsonError& error) {
      throw error.inside(place);
    }
  }

  Json object_;
};

// The text of a JSON document. Pretty: indented, one member per line. Keys of every object are
// sorted by name in both forms.
enum class JsonStyle { pretty, compact };
std::string encodeJson(const Json& document, JsonStyle style);

// Replaces the file's content with `bytes` in one plain write. Throws tk::PlatformError (domain
// "POSIX", the errno) naming the file.
void writeFileBytes(const std::filesystem::path& file, std::string_view bytes);
// The parsed document of a file; throws JsonError when it is no JSON, PlatformError when unreadable.
Json readJsonFile(const std::filesystem::path& file);

}  // namespace tk
