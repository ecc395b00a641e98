#pragma once

#include <QByteArray>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tk {

class SettingsStore;

// An application the user chose to keep out of screen recordings. Stored as a JSON array of
// {"bundleID": ..., "name": ...} objects under the settings key "hiddenApps". On X11 the bundle id
// is the application's WM_CLASS class. One application may show itself under more than one class
// (a Flatpak launch, a wrapper script): the others are kept in "windowClasses", an array of texts
// present only when there are any.
struct AppInfo {
  std::string bundleID;
  std::string name;
  std::vector<std::string> windowClasses;

  // The same application: the same id and name.
  bool operator==(const AppInfo& other) const { return bundleID == other.bundleID && name == other.name; }
  // Whether windows of the WM_CLASS class `windowClass` belong to it (case does not count:
  // "firefox" runs windows of class "Firefox").
  bool matches(const std::string& windowClass) const;
};

inline constexpr const char* kHiddenAppsKey = "hiddenApps";

// The JSON form of a list, as the hidden-applications list stores it.
QByteArray encodeAppInfoList(const std::vector<AppInfo>& apps);
// Nothing when the data is not a JSON array of such objects; `problem` then says why.
std::optional<std::vector<AppInfo>> decodeAppInfoList(const QByteArray& data, std::string* problem = nullptr);

// The stored hidden applications: empty when none are stored, and empty with a warning line when
// the stored value cannot be read.
std::vector<AppInfo> loadHiddenApps(const SettingsStore& store);

}  // namespace tk

template <>
struct std::hash<tk::AppInfo> {
  size_t operator()(const tk::AppInfo& app) const noexcept {
    const size_t first = std::hash<std::string>{}(app.bundleID);
    return first ^ (std::hash<std::string>{}(app.name) + 0x9e3779b97f4a7c15ull + (first << 6) + (first >> 2));
  }
};
