#include "platform/json/JsonWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tk {

namespace {

JsonError encodingError(std::string problem, std::string path) {
  return JsonError(JsonError::Operation::encoding, std::move(problem), std::move(path));
}

Json finite(double value, const char* key) {
  if (!std::isfinite(value)) throw encodingError("the number is not finite", key);
  return value;
}

Json pair(double a, double b, const char* key) {
  return Json::array({finite(a, key), finite(b, key)});
}

PlatformError fileError(const char* operation, const std::filesystem::path& file, int code) {
  return PlatformError("POSIX", code,
                       std::string(operation) + " " + file.string() + ": " + std::strerror(code));
}

}  // namespace

JsonWriter& JsonWriter::number(const char* key, double value) {
  object_[key] = finite(value, key);
  return *this;
}

JsonWriter& JsonWriter::integer(const char* key, long long value) {
  object_[key] = value;
  return *this;
}

JsonWriter& JsonWriter::boolean(const char* key, bool value) {
  object_[key] = value;
  return *this;
}

JsonWriter& JsonWriter::string(const char* key, std::string_view value) {
  object_[key] = std::string(value);
  return *this;
}

JsonWriter& JsonWriter::uuid(const char* key, const QUuid& value) {
  return string(key, uuidText(value));
}

JsonWriter& JsonWriter::point(const char* key, const QPointF& value) {
  object_[key] = pair(value.x(), value.y(), key);
  return *this;
}

JsonWriter& JsonWriter::size(const char* key, const QSizeF& value) {
  object_[key] = pair(value.width(), value.height(), key);
  return *this;
}

JsonWriter& JsonWriter::rect(const char* key, const QRectF& value) {
  object_[key] = Json::array({pair(value.x(), value.y(), key), pair(value.width(), value.height(), key)});
  return *this;
}

JsonWriter& JsonWriter::url(const char* key, const std::filesystem::path& value) {
  return string(key, fileUrlText(value));
}

JsonWriter& JsonWriter::date(const char* key, std::chrono::system_clock::time_point value) {
  return number(key, secondsSinceReferenceDate(value));
}

std::string encodeJson(const Json& document, JsonStyle style) {
  try {
    // Strings that are not UTF-8 are written with replacement characters rather than failing.
    return document.dump(style == JsonStyle::pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace);
  } catch (const nlohmann::json::exception& error) {
    throw encodingError(error.what(), {});
  }
}

PrettyJsonStream& PrettyJsonStream::single(const char* key, JsonWriter& writer) {
  const Json member = writer.take();
  beginMember(key);
  appendIndented(member.at(key), 1);
  return *this;
}

void PrettyJsonStream::beginMember(const char* key) {
  text_ += empty_ ? "{\n  " : ",\n  ";
  empty_ = false;
  text_ += Json(key).dump();
  text_ += ": ";
}

void PrettyJsonStream::appendIndented(const Json& value, int level) {
  const std::string dumped = encodeJson(value, JsonStyle::pretty);
  const std::string indent(static_cast<std::size_t>(level) * 2, ' ');
  for (char c : dumped) {
    text_ += c;
    if (c == '\n') text_ += indent;
  }
}

std::string PrettyJsonStream::finish() {
  std::string text = empty_ ? "{}" : std::move(text_) + "\n}";
  text_.clear();
  empty_ = true;
  return text;
}

void writeFileBytes(const std::filesystem::path& file, std::string_view bytes) {
  // Written beside the file under a hidden name, pushed to the disk, then renamed over it: the file
  // is always either its old content or the whole new one, never empty or cut short, even when the
  // disk fills or the process dies halfway.
  std::string base = file.filename().string();
  base.insert(base.begin(), '.');
  base += '.';
  std::filesystem::path temporary;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%d-%u.tmp", static_cast<int>(::getpid()), attempt);
    temporary = file.parent_path() / (base + suffix);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) throw fileError("Cannot write", file, errno);
  }
  auto fail = [&](int code) {
    ::close(fd);
    ::unlink(temporary.c_str());
    throw fileError("Cannot write", file, code);
  };
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fdatasync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    throw fileError("Cannot write", file, code);
  }
  if (::rename(temporary.c_str(), file.c_str()) != 0) {
    const int code = errno;
    ::unlink(temporary.c_str());
    throw fileError("Cannot write", file, code);
  }
}

Json readJsonFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw fileError("Cannot read", file, errno ? errno : ENOENT);
  std::stringstream bytes;
  bytes << in.rdbuf();
  try {
    return Json::parse(bytes.str());
  } catch (const nlohmann::json::exception& error) {
    throw JsonError(JsonError::Operation::reading, error.what());
  }
}

}  // namespace tk
