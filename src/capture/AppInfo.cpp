#include "capture/AppInfo.h"

#include <QString>
#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

bool AppInfo::matches(const std::string& windowClass) const {
  if (windowClass.empty()) return false;
  const QString wanted = QString::fromStdString(windowClass);
  const auto same = [&wanted](const std::string& id) {
    return !id.empty() && QString::fromStdString(id).compare(wanted, Qt::CaseInsensitive) == 0;
  };
  return same(bundleID) || std::any_of(windowClasses.begin(), windowClasses.end(), same);
}

QByteArray encodeAppInfoList(const std::vector<AppInfo>& apps) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& app : apps) {
    nlohmann::json object = {{"bundleID", app.bundleID}, {"name", app.name}};
    if (!app.windowClasses.empty()) object["windowClasses"] = app.windowClasses;
    list.push_back(std::move(object));
  }
  const std::string text = list.dump();
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<std::vector<AppInfo>> decodeAppInfoList(const QByteArray& data, std::string* problem) {
  auto fail = [&](std::string why) -> std::optional<std::vector<AppInfo>> {
    if (problem) *problem = std::move(why);
    return std::nullopt;
  };
  const nlohmann::json list = nlohmann::json::parse(data.begin(), data.end(), nullptr, false);
  if (list.is_discarded()) return fail("not valid JSON");
  if (!list.is_array()) return fail("not a JSON array");
  std::vector<AppInfo> apps;
  for (const auto& entry : list) {
    if (!entry.is_object() || !entry.contains("bundleID") || !entry.contains("name") ||
        !entry["bundleID"].is_string() || !entry["name"].is_string()) {
      return fail("an entry lacks the text fields \"bundleID\" and \"name\"");
    }
    AppInfo app{entry["bundleID"].get<std::string>(), entry["name"].get<std::string>()};
    // Other classes are a help for matching; a list that is not texts is passed over.
    if (const auto classes = entry.find("windowClasses"); classes != entry.end() && classes->is_array()) {
      for (const auto& windowClass : *classes) {
        if (windowClass.is_string()) app.windowClasses.push_back(windowClass.get<std::string>());
      }
    }
    apps.push_back(std::move(app));
  }
  return apps;
}

std::vector<AppInfo> loadHiddenApps(const SettingsStore& store) {
  const auto data = store.dataValue(kHiddenAppsKey);
  if (!data) return {};
  std::string problem;
  if (auto apps = decodeAppInfoList(*data, &problem)) return *apps;
  Diagnostics::line("⚠️ Could not read the hidden applications (" + problem +
                    "); no application is hidden");
  return {};
}

}  // namespace tk
