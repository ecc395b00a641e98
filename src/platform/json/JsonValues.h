#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QUuid>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tk {

// The text forms of the JSON documents' value kinds that are not plain JSON.

// Canonical 36-character form, upper case, without braces.
std::string uuidText(const QUuid& uuid);
// Accepts exactly 8-4-4-4-12 hexadecimal digits in either case; braces or anything else: none.
std::optional<QUuid> uuidFromText(std::string_view text);

// Dates are seconds since 2001-01-01 00:00:00 UTC, with fraction.
double secondsSinceReferenceDate(std::chrono::system_clock::time_point date);
std::chrono::system_clock::time_point dateFromSecondsSinceReferenceDate(double seconds);

// URLs are absolute file-scheme URL texts with a percent-escaped path; a relative path is taken
// against the working folder.
std::string fileUrlText(const std::filesystem::path& path);
// The local path of a file URL text; none when the text is no valid file URL.
std::optional<std::filesystem::path> pathFromFileUrl(std::string_view text);

// A single-precision number as the JSON number that prints it shortest (0.8f is 0.8, not
// 0.800000011920929).
double jsonNumberOfFloat(float value);

}  // namespace tk
