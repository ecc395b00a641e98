#include "capture/AppInfo.h"

#include <nlohmann/json.hpp>

#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

QByteArray encodeAppInfoList(const std::vector<AppInfo>& apps) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& app : apps) list.push_back({{"bundleID", app.bundleID}, {"name", app.name}});
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
    apps.push_back({entry["bundleID"].get<std::string>(), entry["name"].get<std::string>()});
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
