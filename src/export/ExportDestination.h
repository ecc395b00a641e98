#pragma once

#include <QDateTime>
#include <filesystem>
#include <memory>
#include <string>

namespace tk {

// Names of exported movies beside their source: "<name> (<kind> <date>).<extension>" (for a layer of
// a recording package, beside the package and named after its folder), the date
// written "y-MM-dd HH.mm.ss" in local time. Two exports in the same second must not meet on one
// name, so a name already on disk or held by a running export of this process gets " 2", " 3", ...
// before its extension. Any thread.
namespace ExportDestination {

// The name an export of `source` would take, before any de-duplication.
std::filesystem::path plainURL(const std::filesystem::path& source, const std::string& kind,
                               const std::string& extension, const QDateTime& now);

// A held name: free on disk and held by no other export of this process while the token lives.
struct Reservation {
  std::filesystem::path url;
  std::shared_ptr<void> token;
};
Reservation reserve(const std::filesystem::path& source, const std::string& kind,
                    const std::string& extension, const QDateTime& now = QDateTime::currentDateTime());

}  // namespace ExportDestination
}  // namespace tk
