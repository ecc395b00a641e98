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

  template <StringEnum E>
  JsonWriter& enumeration(const char* key, E value) {
    return string(key, rawValue(value));
  }

  // A nested record, written by `write(JsonWriter&)`.
  template <typename Write>
  JsonWriter& object(const char* key, Write write) {
    object_[key] = record(key, write);
    return *this;
  }

  // A list of records in list order, each written by `write(JsonWriter&, const T&)`; an empty list
  // is written as [].
  template <typename T, typename Write>
  JsonWriter& list(const char* key, const std::vector<T>& items, Write write) {
    Json array = Json::array();
    for (std::size_t i = 0; i < items.size(); ++i) {
      array.push_back(record(elementPlace(key, i), [&](JsonWriter& item) { write(item, items[i]); }));
    }
    object_[key] = std::move(array);
    return *this;
  }

  // One record written by `write(JsonWriter&)`; an encoding error names `place` as its parent.
  template <typename Write>
  static Json record(const std::string& place, Write write) {
    try {
      JsonWriter writer;
      write(writer);
      return writer.take();
    } catch (const JsonError& error) {
      throw error.inside(place);
    }
  }
  static std::string elementPlace(const char* key, std::size_t index) {
    return std::string(key) + "[" + std::to_string(index) + "]";
  }

  Json take() { return std::move(object_); }

 private:
  Json object_;
};

// The pretty text of one JSON object written member by member, so that a document with very long
// lists never exists as a whole tree: only one list element at a time does. It offers the members
// of JsonWriter that the documents' roots use, so one function can fill either. Members must come
// in key order; the text is the same as encodeJson(..., JsonStyle::pretty) of the same object.
class PrettyJsonStream {
 public:
  PrettyJsonStream& number(const char* key, double value) {
    return single(key, JsonWriter().number(key, value));
  }
  PrettyJsonStream& integer(const char* key, long long value) {
    return single(key, JsonWriter().integer(key, value));
  }
  PrettyJsonStream& string(const char* key, std::string_view value) {
    return single(key, JsonWriter().string(key, value));
  }
  PrettyJsonStream& size(const char* key, const QSizeF& value) {
    return single(key, JsonWriter().size(key, value));
  }

  template <typename Write>
  PrettyJsonStream& object(const char* key, Write write) {
    beginMember(key);
    appendIndented(JsonWriter::record(key, write), 1);
    return *this;
  }

  template <typename T, typename Write>
  PrettyJsonStream& list(const char* key, const std::vector<T>& items, Write write) {
    beginMember(key);
    if (items.empty()) {
      text_ += "[]";
      return *this;
    }
    text_ += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
      text_ += i == 0 ? "\n    " : ",\n    ";
      appendIndented(JsonWriter::record(JsonWriter::elementPlace(key, i),
                                        [&](JsonWriter& item) { write(item, items[i]); }),
                     2);
    }
    text_ += "\n  ]";
    return *this;
  }

  // The whole text; the stream is empty afterwards.
  std::string finish();

 private:
  PrettyJsonStream& single(const char* key, JsonWriter& writer);
  void beginMember(const char* key);
  void appendIndented(const Json& value, int level);

  std::string text_;
  bool empty_ = true;
};

// The text of a JSON document. Pretty: indented, one member per line. Keys of every object are
// sorted by name in both forms.
enum class JsonStyle { pretty, compact };
std::string encodeJson(const Json& document, JsonStyle style);

// Replaces the file with one holding `bytes`, whole or not at all: written to a hidden file beside
// it (".<name>.<pid>-<n>.tmp"), pushed to the disk and renamed over it. Throws tk::PlatformError
// (domain "POSIX", the errno) naming the file; the old file is then left as it was.
void writeFileBytes(const std::filesystem::path& file, std::string_view bytes);
// The parsed document of a file; throws JsonError when it is no JSON, PlatformError when unreadable.
Json readJsonFile(const std::filesystem::path& file);

}  // namespace tk
