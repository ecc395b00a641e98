#include "platform/json/JsonValues.h"

#include <QFile>
#include <QUrl>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tk {

std::string uuidText(const QUuid& uuid) {
  return uuid.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::optional<QUuid> uuidFromText(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  }
  return QUuid::fromString(QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())));
}

namespace {
// 2001-01-01 00:00:00 UTC in seconds since 1970.
constexpr double kReferenceDateUnixSeconds = 978307200.0;
}  // namespace

double secondsSinceReferenceDate(std::chrono::system_clock::time_point date) {
  const std::chrono::duration<double> sinceUnix = date.time_since_epoch();
  return sinceUnix.count() - kReferenceDateUnixSeconds;
}

std::chrono::system_clock::time_point dateFromSecondsSinceReferenceDate(double seconds) {
  const std::chrono::duration<double> sinceUnix(seconds + kReferenceDateUnixSeconds);
  return std::chrono::system_clock::time_point(
      std::chrono::round<std::chrono::system_clock::duration>(sinceUnix));
}

std::string fileUrlText(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::path absolute = path.is_absolute() ? path : std::filesystem::absolute(path, ignored);
  const QUrl url = QUrl::fromLocalFile(QFile::decodeName(absolute.c_str()));
  return url.toString(QUrl::FullyEncoded).toStdString();
}

std::optional<std::filesystem::path> pathFromFileUrl(std::string_view text) {
  const QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::StrictMode);
  if (!url.isValid() || !url.isLocalFile()) return std::nullopt;
  return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

double jsonNumberOfFloat(float value) {
  if (!std::isfinite(value)) return value;
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
  *result.ptr = '\0';
  return std::strtod(buffer, nullptr);
}

}  // namespace tk
