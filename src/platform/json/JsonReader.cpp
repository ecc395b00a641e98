#include "platform/json/JsonReader.h"

#include <cmath>
#include <limits>

namespace tk {

namespace {

JsonError readingError(std::string problem, std::string path = {}) {
  return JsonError(JsonError::Operation::reading, std::move(problem), std::move(path));
}

const char* typeName(const Json& value) {
  if (value.is_boolean()) return "a boolean";
  if (value.is_number()) return "a number";
  if (value.is_string()) return "a string";
  if (value.is_array()) return "an array";
  if (value.is_object()) return "an object";
  return "null";
}

// Two numbers of an array, as a point or a size is written.
std::pair<double, double> numberPair(const Json& value, const std::string& key) {
  if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number()) {
    throw readingError("expected an array of two numbers", key);
  }
  return {value[0].get<double>(), value[1].get<double>()};
}

}  // namespace

JsonReader::JsonReader(const Json& value) : object_(value) {
  if (!value.is_object()) throw readingError(std::string("expected an object, found ") + typeName(value));
}

bool JsonReader::has(const char* key) const {
  const auto found = object_.find(key);
  return found != object_.end() && !found->is_null();
}

const Json& JsonReader::required(const char* key) const {
  const auto found = object_.find(key);
  if (found == object_.end()) throw readingError("the required key is missing", key);
  return *found;
}

JsonError JsonReader::wrongType(const std::string& key, const char* expected) const {
  const auto found = object_.find(key);
  const char* actual = found == object_.end() ? "nothing" : typeName(*found);
  return readingError(std::string("expected ") + expected + ", found " + actual, key);
}

double JsonReader::number(const char* key) const {
  const Json& value = required(key);
  if (!value.is_number()) throw wrongType(key, "a number");
  return value.get<double>();
}

float JsonReader::singleNumber(const char* key) const {
  const double value = number(key);
  if (std::fabs(value) > std::numeric_limits<float>::max()) {
    throw readingError("the number does not fit in single precision", key);
  }
  return static_cast<float>(value);
}

int JsonReader::integer(const char* key) const {
  const Json& value = required(key);
  constexpr auto low = std::numeric_limits<int>::min();
  constexpr auto high = std::numeric_limits<int>::max();
  if (value.is_number_unsigned()) {
    if (value.get<uint64_t>() <= static_cast<uint64_t>(high)) return static_cast<int>(value.get<uint64_t>());
  } else if (value.is_number_integer()) {
    const auto n = value.get<int64_t>();
    if (n >= low && n <= high) return static_cast<int>(n);
  } else if (value.is_number_float()) {
    // A whole number written with a fraction part (30.0) is still that integer.
    const double n = value.get<double>();
    if (std::trunc(n) == n && n >= low && n <= high) return static_cast<int>(n);
  } else {
    throw wrongType(key, "an integer");
  }
  throw readingError("the number is not an integer in range", key);
}

bool JsonReader::boolean(const char* key) const {
  const Json& value = required(key);
  if (!value.is_boolean()) throw wrongType(key, "a boolean");
  return value.get<bool>();
}

std::string JsonReader::string(const char* key) const {
  const Json& value = required(key);
  if (!value.is_string()) throw wrongType(key, "a string");
  return value.get<std::string>();
}

QUuid JsonReader::uuid(const char* key) const {
  const std::string text = string(key);
  if (auto uuid = uuidFromText(text)) return *uuid;
  throw readingError("\"" + text + "\" is not a UUID", key);
}

QPointF JsonReader::point(const char* key) const {
  const auto [x, y] = numberPair(required(key), key);
  return {x, y};
}

QSizeF JsonReader::size(const char* key) const {
  const auto [width, height] = numberPair(required(key), key);
  return {width, height};
}

QRectF JsonReader::rect(const char* key) const {
  const Json& value = required(key);
  if (!value.is_array() || value.size() != 2) throw readingError("expected [[x, y], [width, height]]", key);
  const auto [x, y] = numberPair(value[0], key);
  const auto [width, height] = numberPair(value[1], key);
  return {x, y, width, height};
}

std::filesystem::path JsonReader::url(const char* key) const {
  const std::string text = string(key);
  if (auto path = pathFromFileUrl(text)) return *path;
  throw readingError("\"" + text + "\" is not a file URL", key);
}

std::chrono::system_clock::time_point JsonReader::date(const char* key) const {
  const double seconds = number(key);
  // Beyond a few thousand years the time point would overflow.
  if (!(std::fabs(seconds) < 1e11)) throw readingError("the date is out of range", key);
  return dateFromSecondsSinceReferenceDate(seconds);
}

}  // namespace tk
